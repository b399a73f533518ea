#pragma once
// The program's command line as UTF-8, the encoding of every text inside
// the program. Windows' own argv is in the ANSI code page, which cannot
// carry every file name; its UTF-16 command line can.

#include <string>
#include <vector>

namespace tavro::platform {

class Utf8Arguments {
 public:
  // `argc`/`argv` as main() received them; used as they are where the
  // system already hands over UTF-8.
  Utf8Arguments(int argc, char** argv);
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  // NUL-terminated, with argv[argc] null as main()'s.
  char** argv() { return pointers_.data(); }

 private:
  // argv's pointers into strings_, once strings_ is complete.
  void Point() {
    for (std::string& s : strings_)
      pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }

  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

}  // namespace tavro::platform
