#include "win32ui/file_chooser.hpp"

#include <commdlg.h>

#include <vector>

#include "win32ui/wide_text.hpp"

namespace tavro::win32ui {
namespace {

std::vector<std::string> SplitBars(const std::string& text) {
  std::vector<std::string> parts;
  std::string::size_type from = 0;
  for (;;) {
    const auto bar = text.find('|', from);
    parts.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
    if (bar == std::string::npos)
      return parts;
    from = bar + 1;
  }
}

}  // namespace

std::wstring OpenFileFilter(const std::string& filter) {
  const std::vector<std::string> parts = SplitBars(filter);
  std::wstring out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string label = parts[i];
    std::string patterns = parts[i + 1];
    if (label.empty() && patterns.empty())
      break;  // the "||" that ends the list
    if (patterns.empty())
      patterns = label;
    if (label.empty())
      label = patterns;
    out += Wide(label);
    out += L'\0';
    out += Wide(patterns);
    out += L'\0';
  }
  if (out.empty()) {
    out = L"*.*";
    out += L'\0';
    out += L"*.*";
    out += L'\0';
  }
  out += L'\0';
  return out;
}

std::optional<std::string> ChooseExistingFile(HWND owner, const std::string& filter) {
  const std::wstring wideFilter = OpenFileFilter(filter);
  // Long paths: the buffer the dialog may fill, not the classic MAX_PATH.
  std::vector<wchar_t> path(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = wideFilter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.Flags =
      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!::GetOpenFileNameW(&ofn))
    return std::nullopt;
  return Utf8(path.data());
}

}  // namespace tavro::win32ui
