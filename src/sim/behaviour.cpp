#include "sim/behaviour.hpp"

#include "sim/text_util.hpp"

namespace tavro::sim {

std::string FormatStateList(const StateList& list) {
  if (list.automatic)
    return "auto";
  if (list.hello)
    return "hello";
  std::string text;
  for (std::uint16_t s : list.states) {
    if (!text.empty())
      text += ",";
    text += std::to_string(s);
  }
  return text;
}

bool ParseStateList(const std::string& text, StateList& out) {
  const std::string t = Trim(text);
  StateList list;
  list.automatic = false;
  if (t == "auto") {
    list.automatic = true;
  } else if (t == "hello") {
    list.hello = true;
  } else {
    for (const std::string& part : SplitList(t)) {
      std::uint16_t state = 0;
      if (!ParseU16(part, state))
        return false;
      list.states.push_back(state);
    }
  }
  out = list;
  return true;
}

}  // namespace tavro::sim
