// Runs a fuzz target once on every file of the folders (or files) given on
// the command line, without libFuzzer: the normal builds replay the
// committed corpus this way, so every seed and every crash ever added stays
// a test. A crash or a broken check aborts with the file's name printed
// before it ran.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Collect(const fs::path& where, std::vector<fs::path>& files) {
  std::error_code ec;
  if (fs::is_regular_file(where, ec)) {
    files.push_back(where);
    return true;
  }
  if (!fs::is_directory(where, ec)) {
    std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", where.c_str());
    return false;
  }
  for (const auto& entry : fs::recursive_directory_iterator(where, ec)) {
    if (entry.is_regular_file())
      files.push_back(entry.path());
  }
  if (ec) {
    std::fprintf(stderr, "replay: cannot list %s: %s\n", where.c_str(), ec.message().c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER_OR_FILE...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    if (!Collect(argv[i], files))
      return 2;
  }
  // A corpus that went missing must not pass as a replay of nothing.
  if (files.empty()) {
    std::fprintf(stderr, "replay: no input files\n");
    return 2;
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
      std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
      return 2;
    }
    std::fprintf(stderr, "replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
    // A copy of exactly the file's size, so a read past the input is caught.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
