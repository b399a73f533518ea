#include <windows.h>
// After windows.h: shellapi.h needs its types.
#include <shellapi.h>

#include <memory>

#include "platform/arguments.hpp"

namespace tavro::platform {
namespace {

std::string ToUtf8(const wchar_t* wide) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1)
    return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();  // the NUL
  return out;
}

struct LocalFreer {
  void operator()(wchar_t** p) const { ::LocalFree(p); }
};

}  // namespace

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
  int count = 0;
  std::unique_ptr<wchar_t*, LocalFreer> wide(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (wide && count == argc) {
    for (int i = 0; i < count; ++i)
      strings_.push_back(ToUtf8(wide.get()[i]));
  } else {
    // The two disagree (a caller-made command line): keep what main() got.
    for (int i = 0; i < argc; ++i)
      strings_.emplace_back(argv[i]);
  }
  Point();
}

}  // namespace tavro::platform
