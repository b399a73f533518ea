#pragma once
// Text is UTF-8 inside the program; every Win32 call takes UTF-16.

#include <string>
#include <string_view>

namespace tavro::win32ui {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace tavro::win32ui
