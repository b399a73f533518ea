// Writes the sample package's base data and rule files from their source
// (sample_package_data.cpp). Usage: make_sample_package PACKAGE_DIR
// (the repository's package folder).

#include <cstdio>
#include <filesystem>

#include "data/file_io.hpp"
#include "data/sample_package_data.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_package PACKAGE_DIR\n");
    return 2;
  }
  int failures = 0;
  for (const tavro::test::SampleFile& file : tavro::test::SampleConversionFiles()) {
    const std::filesystem::path path = std::filesystem::path(argv[1]) / file.path;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (!tavro::data::WriteFileAtomic(path.string(), file.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
