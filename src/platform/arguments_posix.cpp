#include "platform/arguments.hpp"

namespace tavro::platform {

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i)
    strings_.emplace_back(argv[i]);
  Point();
}

}  // namespace tavro::platform
