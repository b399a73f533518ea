#pragma once
// Paths are UTF-8 strings inside the program. A std::filesystem::path made
// from a plain std::string takes the system's narrow encoding (on Windows
// each byte becomes one character) while its string() gives UTF-8: a name
// that is not ASCII would come back changed. These two convert explicitly.

#include <filesystem>
#include <string>
#include <string_view>

namespace tavro::data {

inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace tavro::data
