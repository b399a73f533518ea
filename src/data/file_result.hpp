#pragma once
// How a data-file operation failed, with the file it failed on, so that the
// caller can show the path and the matching text and stop.

#include <string>

namespace tavro::data {

enum class FileError {
  kNone,
  kNotExist,         // cannot be opened: reported with F_NotExist
  kReadInErr,        // opened but unreadable or too short for its header: F_ReadInErr
  kTooLarge,         // an image's data does not fit where it has to go
  kUnexpectedFiles,  // the folder holds files the operation must not mix in
  kWriteFailed,      // the output could not be written; nothing partial is left
};

struct FileResult {
  FileError error = FileError::kNone;
  std::string path;  // the file the error names; on success the file written or read

  bool ok() const { return error == FileError::kNone; }
};

}  // namespace tavro::data
