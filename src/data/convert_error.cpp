#include "data/convert_error.hpp"

namespace tavro::data {

ConvertError FileNotFound(std::string path) {
  return ConvertError{ConvertErrorKind::kNotExist, std::move(path), {}, {}};
}

ConvertError FileUnreadable(std::string path, std::string detail) {
  return ConvertError{ConvertErrorKind::kReadInErr, std::move(path), {}, std::move(detail)};
}

ConvertError WriteFailed(std::string path, const std::string& what) {
  ConvertError error{ConvertErrorKind::kWriteFailed, std::move(path), {}, {}};
  error.text = "cannot write " + what + " " + error.path;
  return error;
}

ConvertError RemoveFailed(std::string path) {
  ConvertError error{ConvertErrorKind::kWriteFailed, std::move(path), {}, {}};
  error.text = "cannot remove " + error.path;
  return error;
}

std::string ConsoleText(const ConvertError& error) {
  switch (error.kind) {
    case ConvertErrorKind::kNone:
      return {};
    case ConvertErrorKind::kNotExist:
      return "cannot open " + error.path;
    case ConvertErrorKind::kReadInErr:
      return "cannot read " + error.path + (error.detail.empty() ? "" : ": " + error.detail);
    case ConvertErrorKind::kRuleByteErr:
      return error.path + ": " + error.text + (error.detail.empty() ? "" : ": " + error.detail);
    case ConvertErrorKind::kRuleInvalid:
    case ConvertErrorKind::kWriteFailed:
    case ConvertErrorKind::kChainLoop:
      break;
  }
  return error.text + (error.detail.empty() ? "" : ": " + error.detail);
}

}  // namespace tavro::data
