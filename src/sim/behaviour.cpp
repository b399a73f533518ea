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

namespace tavro::sim {
namespace {

struct NumberKey {
  const char* key;
  std::uint32_t Behaviour::*field;
};
constexpr NumberKey kNumberKeys[] = {
    {"ReplyDelayMs", &Behaviour::replyDelayMs},
    {"BlockWriteMs", &Behaviour::blockWriteMs},
    {"RxTimeoutMs", &Behaviour::rxTimeoutMs},
    {"DataBackupMs", &Behaviour::dataBackupMs},
    {"AppWriteMs", &Behaviour::appWriteMs},
    {"LoaderStartMs", &Behaviour::loaderStartMs},
    {"LoaderAckTimeoutMs", &Behaviour::loaderAckTimeoutMs},
    {"BlWriteMs", &Behaviour::blWriteMs},
    {"RestartMs", &Behaviour::restartMs},
    {"GoBackReports", &Behaviour::goBackReports},
    {"GoBackStepMs", &Behaviour::goBackStepMs},
    {"RunDelayMs", &Behaviour::runDelayMs},
    {"HelloWithoutAckMs", &Behaviour::helloWithoutAckMs},
};

struct FlagKey {
  const char* key;
  bool Behaviour::*field;
};
constexpr FlagKey kFlagKeys[] = {
    {"AnnounceAtPowerUp", &Behaviour::announceAtPowerUp},
    {"ClearMarkOnArrival", &Behaviour::clearMarkOnArrival},
    {"DataInfoAfterAppInfo", &Behaviour::dataInfoAfterAppInfo},
    {"BackupAppOnDownload", &Behaviour::backupAppOnDownload},
};

struct ListKey {
  const char* key;
  StateList Behaviour::*field;
};
constexpr ListKey kListKeys[] = {
    {"AppStartStates", &Behaviour::appStartStates},
    {"AppWriteStates", &Behaviour::appWriteStates},
    {"ParaStartStates", &Behaviour::paraStartStates},
};

const char* LoaderName(RamLoaderKind kind) {
  switch (kind) {
    case RamLoaderKind::BlUpgrade:
      return "blupgrade";
    case RamLoaderKind::E2Check:
      return "e2check";
    default:
      return "auto";
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> BehaviourEntries(const Behaviour& b) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const NumberKey& k : kNumberKeys)
    out.emplace_back(k.key, std::to_string(b.*k.field));
  for (const FlagKey& k : kFlagKeys)
    out.emplace_back(k.key, b.*k.field ? "1" : "0");
  for (const ListKey& k : kListKeys)
    out.emplace_back(k.key, FormatStateList(b.*k.field));
  out.emplace_back("ConnectReply", b.connectReply == ConnectReply::Hello ? "hello" : "announce");
  out.emplace_back("RamLoader", LoaderName(b.ramLoader));
  out.emplace_back("BlUpgradeVersion", Hex(b.blUpgradeVersion));
  out.emplace_back("E2CheckResult", std::to_string(b.e2CheckResult));
  out.emplace_back("RunResult", b.runResult < 0 ? "auto" : std::to_string(b.runResult));
  std::string banner = b.banner;  // one line in the profile
  for (char& c : banner) {
    if (static_cast<unsigned char>(c) < 0x20)
      c = ' ';
  }
  out.emplace_back("Banner", banner);
  return out;
}

bool SetBehaviour(Behaviour& b, const std::string& key, const std::string& value,
                  std::string& error) {
  const std::string v = Trim(value);
  bool ok = false;
  bool known = false;
  for (const NumberKey& k : kNumberKeys) {
    if (key == k.key) {
      known = true;
      ok = ParseUnsigned(v, b.*k.field);
    }
  }
  for (const FlagKey& k : kFlagKeys) {
    std::uint32_t flag = 0;
    if (key == k.key) {
      known = true;
      ok = ParseUnsigned(v, flag) && flag <= 1;
      if (ok)
        b.*k.field = flag != 0;
    }
  }
  for (const ListKey& k : kListKeys) {
    if (key == k.key) {
      known = true;
      ok = ParseStateList(v, b.*k.field);
    }
  }
  if (key == "Banner") {
    known = true;
    ok = v.size() <= 1024;
    if (ok)
      b.banner = v;
  } else if (key == "ConnectReply") {
    known = true;
    ok = v == "announce" || v == "hello";
    if (ok)
      b.connectReply = v == "hello" ? ConnectReply::Hello : ConnectReply::Announce;
  } else if (key == "RamLoader") {
    known = true;
    for (RamLoaderKind kind :
         {RamLoaderKind::Auto, RamLoaderKind::BlUpgrade, RamLoaderKind::E2Check}) {
      if (v == LoaderName(kind)) {
        b.ramLoader = kind;
        ok = true;
      }
    }
  } else if (key == "BlUpgradeVersion") {
    known = true;
    ok = ParseU16(v, b.blUpgradeVersion);
  } else if (key == "E2CheckResult") {
    known = true;
    ok = ParseU16(v, b.e2CheckResult);
  } else if (key == "RunResult") {
    known = true;
    std::uint16_t status = 0;
    ok = v == "auto" || ParseU16(v, status);
    if (ok)
      b.runResult = v == "auto" ? -1 : status;
  }
  if (!known) {
    error = "unknown setting \"" + key + "\"";
  } else if (!ok) {
    error = "setting " + key + ": cannot read \"" + v + "\"";
  }
  return known && ok;
}

}  // namespace tavro::sim
