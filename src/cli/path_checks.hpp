#pragma once
// Command-line checks of file and folder names that are UTF-8, as every
// name is inside the program (CLI11's own checks read them in the system's
// narrow encoding, which on Windows is not UTF-8).

#include <CLI/CLI.hpp>
#include <string>

#include "data/file_io.hpp"

namespace tavro::cli {

inline const CLI::Validator kExistingFolder(
    [](std::string& path) {
      return data::FolderExists(path) ? std::string() : "Directory does not exist: " + path;
    },
    "DIR", "DIR");

inline const CLI::Validator kExistingFile(
    [](std::string& path) {
      return data::FileExists(path) && !data::FolderExists(path) ? std::string()
                                                                 : "File does not exist: " + path;
    },
    "FILE", "FILE");

}  // namespace tavro::cli
