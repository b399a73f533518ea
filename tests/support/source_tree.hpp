#pragma once
// Files of the source tree (the shipped package/ folder) for tests: ctest
// sets TAVRO_SOURCE_DIR to the tree the tests were built from.

#include <cstdlib>
#include <string>
#include <string_view>

namespace tavro::test {

// "<source tree>/<relative>"; relative to the current folder when the
// variable is missing (a test binary run by hand from the tree's root).
inline std::string SourcePath(std::string_view relative) {
  const char* root = std::getenv("TAVRO_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/" + std::string(relative);
}

}  // namespace tavro::test
