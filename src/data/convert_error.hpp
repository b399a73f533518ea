#pragma once
// Why a conversion step, a chain of steps or the start-up data preparation
// stopped, with what the technician is to be told. The window shows files
// that cannot be opened or read with its language texts and every other
// fault with `text`; the console prints ConsoleText().

#include <string>

namespace tavro::data {

enum class ConvertErrorKind {
  kNone,
  kNotExist,     // `path` cannot be opened: F_NotExist
  kReadInErr,    // `path` cannot be read, or is too short or too large: F_ReadInErr
  kRuleByteErr,  // a column runs past its row: `text` is "rule_<offset>_byte_err"
  kRuleInvalid,  // the rule file is malformed or does not fit its sources
  kWriteFailed,  // an output folder or image could not be written
  kChainLoop,    // a chain of rules came back to a version it converted from
};

struct ConvertError {
  ConvertErrorKind kind = ConvertErrorKind::kNone;
  std::string path;    // the file or folder concerned
  std::string text;    // the box text of the kinds that have no language text
  std::string detail;  // more for the console: why a file is unreadable, where a column ends

  bool ok() const { return kind == ConvertErrorKind::kNone; }
};

ConvertError FileNotFound(std::string path);
ConvertError FileUnreadable(std::string path, std::string detail = {});
// "cannot write <what> <path>"
ConvertError WriteFailed(std::string path, const std::string& what);
// "cannot remove <path>"
ConvertError RemoveFailed(std::string path);

// One line for the console: "cannot open <path>", "cannot read <path>:
// <detail>", or the text and the detail.
std::string ConsoleText(const ConvertError& error);

}  // namespace tavro::data
