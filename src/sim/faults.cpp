#include "sim/faults.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "sim/text_util.hpp"

namespace tavro::sim {
namespace {

constexpr std::array<std::pair<TransferKind, const char*>, 8> kTransferNames{{
    {TransferKind::App, "app"},
    {TransferKind::Para, "para"},
    {TransferKind::E2, "e2"},
    {TransferKind::Resource, "resource"},
    {TransferKind::E2Copy, "e2copy"},
    {TransferKind::Marker, "marker"},
    {TransferKind::Bootloader, "bootloader"},
    {TransferKind::Ram, "ram"},
}};

constexpr std::array<std::pair<PowerCutMoment, const char*>, 3> kMomentNames{{
    {PowerCutMoment::kOnArrival, "OnArrival"},
    {PowerCutMoment::kAfterStore, "AfterStore"},
    {PowerCutMoment::kAfterAck, "AfterAck"},
}};

bool SameText(const std::string& a, const char* b) {
  const std::string_view bv(b);
  return std::equal(a.begin(), a.end(), bv.begin(), bv.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// "TRANSFER[:AREA], BLOCK[, MOMENT]"
bool ParsePowerCut(const std::string& text, Faults& f) {
  const auto p = SplitList(text);
  if (p.size() < 2 || p.size() > 3)
    return false;
  TransferKind kind = TransferKind::None;
  int area = -1;
  std::uint16_t block = 0;
  PowerCutMoment at = PowerCutMoment::kOnArrival;
  const auto colon = p[0].find(':');
  if (!ParseTransferName(Trim(p[0].substr(0, colon)), kind) || !ParseU16(p[1], block))
    return false;
  if (colon != std::string::npos) {
    std::uint32_t n = 0;
    if (kind != TransferKind::Para || !ParseUnsigned(p[0].substr(colon + 1), n) || n >= 8)
      return false;
    area = static_cast<int>(n);
  }
  if (p.size() == 3 && !ParsePowerCutMoment(p[2], at))
    return false;
  f.powerCut = kind;
  f.powerCutArea = area;
  f.powerCutBlock = block;
  f.powerCutAt = at;
  return true;
}

bool ParseMatch(const std::string& text, FrameMatch& out) {
  FrameMatch m;
  m.enabled = true;
  const auto hash = text.find('#');
  const std::string id = Trim(text.substr(0, hash));
  if (!id.empty() && !ParseU16(id, m.msgId))
    return false;
  if (hash != std::string::npos) {
    const std::string rest = text.substr(hash + 1);
    const auto star = rest.find('*');
    if (!ParseUnsigned(rest.substr(0, star), m.nth) || m.nth == 0)
      return false;
    if (star != std::string::npos &&
        (!ParseUnsigned(rest.substr(star + 1), m.times) || m.times == 0 || m.times > 1000000))
      return false;
  } else if (id.empty()) {
    return false;
  }
  out = m;
  return true;
}

std::string FormatMatch(const FrameMatch& m) {
  std::string text = m.msgId != 0 ? std::to_string(m.msgId) : "";
  if (m.nth != 0)
    text += "#" + std::to_string(m.nth);
  if (m.nth != 0 && m.times != 1)
    text += "*" + std::to_string(m.times);
  return text;
}

bool ParseErrorReply(const std::string& text, ErrorReply& out) {
  ErrorReply e;
  e.enabled = true;
  const auto hash = text.find('#');
  if (!ParseU16(text.substr(0, hash), e.status))
    return false;
  if (hash != std::string::npos && (!ParseUnsigned(text.substr(hash + 1), e.nth) || e.nth == 0)) {
    return false;
  }
  out = e;
  return true;
}

std::string FormatErrorReply(const ErrorReply& e) {
  std::string text = std::to_string(e.status);
  if (e.nth != 0)
    text += "#" + std::to_string(e.nth);
  return text;
}

bool ParseFlag(const std::string& text, bool& out) {
  std::uint32_t v = 0;
  if (!ParseUnsigned(text, v) || v > 1)
    return false;
  out = v != 0;
  return true;
}

// "MATCH, NUMBER"
bool ParseMatchAndCount(const std::string& text, FrameMatch& match, std::uint32_t& count) {
  const auto parts = SplitList(text);
  return parts.size() == 2 && ParseMatch(parts[0], match) && ParseUnsigned(parts[1], count);
}

}  // namespace

const char* TransferName(TransferKind kind) {
  for (const auto& [k, name] : kTransferNames) {
    if (k == kind)
      return name;
  }
  return "none";
}

bool ParseTransferName(const std::string& name, TransferKind& out) {
  for (const auto& [k, n] : kTransferNames) {
    if (SameText(name, n)) {
      out = k;
      return true;
    }
  }
  return false;
}

const char* PowerCutMomentName(PowerCutMoment moment) {
  for (const auto& [m, name] : kMomentNames) {
    if (m == moment)
      return name;
  }
  return "OnArrival";
}

bool ParsePowerCutMoment(const std::string& name, PowerCutMoment& out) {
  for (const auto& [m, n] : kMomentNames) {
    if (SameText(name, n)) {
      out = m;
      return true;
    }
  }
  return false;
}

bool SetFault(Faults& f, const std::string& key, const std::string& value, std::string& error) {
  const std::string v = Trim(value);
  bool ok = false;
  bool known = true;
  if (key == "SilenceAfter") {
    ok = ParseMatchAndCount(v, f.silenceAfter, f.silenceMs);
  } else if (key == "RxTimeoutBurst") {
    ok = ParseMatchAndCount(v, f.rxTimeoutOn, f.rxTimeoutBurst) && f.rxTimeoutBurst > 0;
  } else if (key == "AdapterRemoval") {
    ok = ParseMatch(v, f.adapterRemovalAfter);
  } else if (key == "CrcErrorReply") {
    ok = ParseMatch(v, f.crcErrorReply);
  } else if (key == "DropReply") {
    ok = ParseMatch(v, f.dropReply);
  } else if (key == "RepeatReply") {
    ok = ParseMatch(v, f.repeatReply);
  } else if (key == "GarbageAfter") {
    ok = ParseMatchAndCount(v, f.garbageAfter, f.garbageBytes) && f.garbageBytes > 0 &&
         f.garbageBytes <= 65536;
  } else if (key == "RestartAfter") {
    ok = ParseMatch(v, f.restartAfter);
  } else if (key == "PowerCutAtByte") {
    ok = ParseUnsigned(v, f.powerCutAtByte) && f.powerCutAtByte > 0;
  } else if (key == "RefuseBlock") {
    const auto p = SplitList(v);
    ok = p.size() == 3 && ParseU16(p[0], f.refuseMsgId) && ParseU16(p[1], f.refuseBlock) &&
         ParseUnsigned(p[2], f.refuseTimes);
    f.refuseEnabled = ok;
  } else if (key == "RepeatBlock") {
    const auto p = SplitList(v);
    ok = p.size() == 2 && ParseU16(p[0], f.repeatMsgId) && ParseU16(p[1], f.repeatBlock);
    f.repeatEnabled = ok;
  } else if (key == "ParaDownloadErr") {
    ok = ParseErrorReply(v, f.paraDownloadErr);
  } else if (key == "ParaIntegErr") {
    ok = ParseErrorReply(v, f.paraIntegErr);
  } else if (key == "ParaUploadErr") {
    ok = ParseErrorReply(v, f.paraUploadErr);
  } else if (key == "FlashReadErr") {
    ok = ParseErrorReply(v, f.flashReadErr);
  } else if (key == "E2ReadErr") {
    ok = ParseErrorReply(v, f.e2ReadErr);
  } else if (key == "FlashWriteErr") {
    ok = ParseErrorReply(v, f.flashWriteErr) && f.flashWriteErr.status <= 1;
  } else if (key == "DataBackupFails") {
    ok = ParseFlag(v, f.dataBackupFails);
  } else if (key == "GoBackResult") {
    std::uint16_t status = 0;
    ok = ParseU16(v, status);
    if (ok)
      f.goBackResult = status;
  } else if (key == "PowerCut") {
    ok = ParsePowerCut(v, f);
    if (!ok)
      f.powerCut = TransferKind::None;
  } else {
    known = false;
  }
  if (!known) {
    error = "unknown fault \"" + key + "\"";
  } else if (!ok) {
    error = "fault " + key + ": cannot read \"" + v + "\"";
  }
  return known && ok;
}

std::vector<std::pair<std::string, std::string>> FaultEntries(const Faults& f) {
  std::vector<std::pair<std::string, std::string>> out;
  if (f.silenceAfter.enabled) {
    out.emplace_back("SilenceAfter",
                     FormatMatch(f.silenceAfter) + ", " + std::to_string(f.silenceMs));
  }
  if (f.rxTimeoutOn.enabled) {
    out.emplace_back("RxTimeoutBurst",
                     FormatMatch(f.rxTimeoutOn) + ", " + std::to_string(f.rxTimeoutBurst));
  }
  if (f.adapterRemovalAfter.enabled) {
    out.emplace_back("AdapterRemoval", FormatMatch(f.adapterRemovalAfter));
  }
  if (f.crcErrorReply.enabled)
    out.emplace_back("CrcErrorReply", FormatMatch(f.crcErrorReply));
  if (f.dropReply.enabled)
    out.emplace_back("DropReply", FormatMatch(f.dropReply));
  if (f.repeatReply.enabled)
    out.emplace_back("RepeatReply", FormatMatch(f.repeatReply));
  if (f.garbageAfter.enabled) {
    out.emplace_back("GarbageAfter",
                     FormatMatch(f.garbageAfter) + ", " + std::to_string(f.garbageBytes));
  }
  if (f.restartAfter.enabled)
    out.emplace_back("RestartAfter", FormatMatch(f.restartAfter));
  if (f.powerCutAtByte != 0)
    out.emplace_back("PowerCutAtByte", std::to_string(f.powerCutAtByte));
  if (f.refuseEnabled) {
    out.emplace_back("RefuseBlock", std::to_string(f.refuseMsgId) + ", " +
                                        std::to_string(f.refuseBlock) + ", " +
                                        std::to_string(f.refuseTimes));
  }
  if (f.repeatEnabled) {
    out.emplace_back("RepeatBlock",
                     std::to_string(f.repeatMsgId) + ", " + std::to_string(f.repeatBlock));
  }
  const std::pair<const char*, const ErrorReply*> replies[] = {
      {"ParaDownloadErr", &f.paraDownloadErr},
      {"ParaIntegErr", &f.paraIntegErr},
      {"ParaUploadErr", &f.paraUploadErr},
      {"FlashReadErr", &f.flashReadErr},
      {"E2ReadErr", &f.e2ReadErr},
      {"FlashWriteErr", &f.flashWriteErr},
  };
  for (const auto& [key, reply] : replies) {
    if (reply->enabled)
      out.emplace_back(key, FormatErrorReply(*reply));
  }
  if (f.dataBackupFails)
    out.emplace_back("DataBackupFails", "1");
  if (f.goBackResult >= 0)
    out.emplace_back("GoBackResult", std::to_string(f.goBackResult));
  if (f.powerCut != TransferKind::None) {
    std::string name = TransferName(f.powerCut);
    if (f.powerCutArea >= 0)
      name += ":" + std::to_string(f.powerCutArea);
    name += ", " + std::to_string(f.powerCutBlock);
    if (f.powerCutAt != PowerCutMoment::kOnArrival)
      name += std::string(", ") + PowerCutMomentName(f.powerCutAt);
    out.emplace_back("PowerCut", name);
  }
  return out;
}

void FrameCounter::Count(std::uint16_t msgId) {
  ++counts_[msgId];
  ++total_;
}

bool FrameCounter::Matches(const FrameMatch& match, std::uint16_t msgId) const {
  if (!match.enabled)
    return false;
  if (match.msgId != 0 && match.msgId != msgId)
    return false;
  if (match.nth == 0)
    return true;
  const std::uint32_t count = match.msgId == 0 ? total_ : CountOf(msgId);
  return count >= match.nth && count - match.nth < match.times;
}

std::uint32_t FrameCounter::CountOf(std::uint16_t msgId) const {
  const auto it = counts_.find(msgId);
  return it == counts_.end() ? 0 : it->second;
}

}  // namespace tavro::sim
