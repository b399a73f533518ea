#include "sim/trace.hpp"

#include <cstdio>

#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/text_util.hpp"

namespace tavro::sim {
namespace {

using namespace link;

std::string Field(const char* name, std::uint32_t value, bool hex = false) {
  return std::string(" ") + name + "=" + (hex ? Hex(value, 8) : std::to_string(value));
}

std::string BlockFields(const std::optional<ReadBackBlock>& b, bool address) {
  if (!b)
    return " (malformed)";
  std::string s = address ? Field("addr", b->address, true) : "";
  return s + Field("count", b->blockCount) + Field("block", b->blockNumber) + Field("L", b->length);
}

std::string Chars(const std::uint8_t* p, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n && p[i] != 0; ++i) {
    s += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '?';
  }
  return s;
}

std::string PayloadFields(std::uint16_t id, ByteView p) {
  const auto u32 = [&](std::size_t at) { return ReadU32(p, at); };
  switch (id) {
    case MsgAppBlock:
    case MsgBlImageBlock:
    case MsgRamBlock:
    case MsgAppBackupBlock:
      return BlockFields(DecodeReadBackShort(p), false);
    case MsgFlashWriteBlock:
    case MsgE2WriteBlock:
    case MsgParaBackupBlock:
    case MsgFlashReadBlock:
    case MsgE2ReadBlock:
      return BlockFields(DecodeReadBackLong(p), true);
    case MsgParaBlock:
      if (p.size() < 8)
        return " (malformed)";
      return Field("area", GetU32(p.data()), true) + Field("len", GetU32(p.data() + 4), true) +
             BlockFields(DecodeReadBackShort(p.subspan(8)), false);
    case MsgAppBackupStart:
    case MsgAppDownloadStart:
      return u32(0) ? Field("addr", *u32(0), true) : "";
    case MsgParaBackupStart:
    case MsgParaBackupStartEx:
    case MsgFlashRead:
    case MsgE2Read: {
      std::string s;
      if (u32(0))
        s += Field("addr", *u32(0), true);
      if (u32(4))
        s += Field("len", *u32(4), true);
      if (id == MsgParaBackupStartEx && u32(8))
        s += Field("arg", *u32(8), true);
      return s;
    }
    case MsgResendRequest:
      if (p.size() < 12)
        return " (short)";
      return Field("of", GetU16(p.data() + 2)) + Field("addr", GetU32(p.data() + 4), true) +
             Field("count", GetU16(p.data() + 8)) + Field("block", GetU16(p.data() + 10));
    case MsgBlHello: {
      const auto h = DecodeBlHello(p);
      if (!h)
        return " (short)";
      return " chip=" + Chars(reinterpret_cast<const std::uint8_t*>(h->chipNum.data()), 4) +
             " company=" + Chars(reinterpret_cast<const std::uint8_t*>(h->companyNum.data()), 4) +
             " version=" + Hex(h->blVersion) + " size=" + Hex(h->sizeCode, 2);
    }
    case MsgAppInfo: {
      const auto info = DecodeAppInfo(p);
      if (!info)
        return " (short)";
      return Field("current", info->current.present) + Field("v", info->current.version, true) +
             Field("backup", info->backup.present) + Field("v", info->backup.version, true);
    }
    case MsgDataInfo: {
      const auto info = DecodeDataInfo(p);
      if (!info)
        return " (short)";
      return Field("version", info->version, true) +
             " model=" + Chars(reinterpret_cast<const std::uint8_t*>(info->model.data()), 8);
    }
    case MsgLinkQueryReply:
      return p.size() >= 2 ? Field("type", GetU16(p.data())) : " (short)";
    case MsgText:
      return " text=\"" + Chars(p.data(), p.size()) + "\"";
    default: {
      // Status words and acknowledgements.
      const auto status = ReadU16(p, 0);
      return status && p.size() == 2 ? Field("status", *status) : "";
    }
  }
}

}  // namespace

std::string DescribeFrame(ByteView frame) {
  if (frame.size() < kFrameOverhead) {
    return "frame of " + std::to_string(frame.size()) + " bytes that cannot be read";
  }
  // The payload is what Length holds, whatever DataLen claims.
  const std::uint16_t id = GetU16(frame.data() + 10);
  const ByteView payload = frame.subspan(kPayloadOffset, frame.size() - kFrameOverhead);
  std::string name(MessageName(id));
  if (name.empty())
    name = "?";
  return std::to_string(id) + " " + name + Field("len", GetU16(frame.data() + 12)) +
         PayloadFields(id, payload);
}

std::string TraceLine(std::uint64_t ms, char direction, ByteView frame, std::string_view note) {
  char time[32];
  std::snprintf(time, sizeof time, "%9llu.%03llu", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000));
  std::string line = std::string(time) + " " + direction + "  ";
  if (!frame.empty()) {
    line += DescribeFrame(frame);
    if (!note.empty())
      line += "  [" + std::string(note) + "]";
  } else {
    line += note;
  }
  return line;
}

TraceFile::TraceFile(const std::string& path) : out_(path, std::ios::trunc) {}

void TraceFile::Write(std::uint64_t ms, char direction, ByteView frame, std::string_view note) {
  out_ << TraceLine(ms, direction, frame, note) << '\n';
  out_.flush();
}

}  // namespace tavro::sim
