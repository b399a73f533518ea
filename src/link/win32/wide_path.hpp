#pragma once
// Paths are UTF-8 in this program; the Windows file functions take UTF-16.

#include <windows.h>

#include <string>

namespace tavro::link::win32 {

inline std::wstring WidePath(const std::string& path) {
  if (path.empty())
    return {};
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                          size);
  }
  return wide;
}

}  // namespace tavro::link::win32
