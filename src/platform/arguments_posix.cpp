#include "platform/arguments.hpp"

namespace tavro::platform {

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i)
    strings_.emplace_back(argv[i]);
  for (std::string& s : strings_)
    pointers_.push_back(s.data());
  pointers_.push_back(nullptr);
}

}  // namespace tavro::platform
