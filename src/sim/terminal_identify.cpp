// Connect and identification: announcement, hello, link query, App and data
// information, Flash header reads and E2PROM reads.

#include <algorithm>

#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/terminal.hpp"

namespace tavro::sim {

using namespace link;

namespace {

bool Applies(const ErrorReply& e, std::uint32_t count) {
  return e.enabled && (e.nth == 0 || e.nth == count);
}

}  // namespace

Bytes Terminal::BlHelloPayload() const {
  const Bootloader& b = device_.bootloader;
  return EncodeBlHello({b.chipNum, b.companyNum, b.version, b.sizeCode});
}

void Terminal::SayHello() {
  Send(MsgHello);
  if (!behaviour_.banner.empty())
    SendText(behaviour_.banner);
}

void Terminal::SendText(std::string_view text) {
  Send(MsgText, Bytes(text.begin(), text.end()));
}

void Terminal::OnConnect() {
  read_ = {};
  // The PC starts afresh: the terminal stays in its bootloader, no run report.
  sessionWrites_ = false;
  if (behaviour_.connectReply == ConnectReply::Hello) {
    SayHello();
    return;
  }
  Announce();
}

void Terminal::Announce() {
  awaiting_ = Awaiting::BlHelloAck;
  Send(MsgBlHello, BlHelloPayload());
  if (behaviour_.helloWithoutAckMs == 0)
    return;
  const std::uint32_t announcement = ++announcements_;
  Later(behaviour_.helloWithoutAckMs, [this, announcement] {
    if (awaiting_ != Awaiting::BlHelloAck || announcement != announcements_)
      return;
    Note("announcement not acknowledged, hello all the same");
    awaiting_ = Awaiting::None;
    SayHello();
  });
}

void Terminal::OnBlHelloAck() {
  if (awaiting_ != Awaiting::BlHelloAck) {
    Note("announcement acknowledged twice, ignored");
    return;
  }
  awaiting_ = Awaiting::None;
  SayHello();
}

void Terminal::OnLinkQuery() {
  if (!device_.bootloader.terminalType) {
    Note("link query left unanswered");
    return;
  }
  SendStatus(MsgLinkQueryReply, *device_.bootloader.terminalType);
}

void Terminal::OnReadAppInfo() {
  AppInfo info;
  const std::pair<AppRecord*, const AppArea*> records[] = {{&info.current, &device_.app},
                                                           {&info.backup, &device_.backupApp}};
  for (const auto& [record, area] : records) {
    record->present = area->present ? 1 : 0;
    record->version = area->version;
    record->model = area->model;
  }
  Send(MsgAppInfo, EncodeAppInfo(info));
  if (!behaviour_.dataInfoAfterAppInfo)
    return;
  if (!device_.ParaDataIntact()) {
    Send(MsgNoDataInfo);
    return;
  }
  // Version and model sit at the same offsets in both header forms.
  const Bytes& header = device_.UsesE2() ? device_.e2prom : device_.para[0].primary.bytes;
  DataInfo data;
  data.version = ReadU32(header, 6).value_or(0);
  if (header.size() >= 18)
    std::copy_n(header.begin() + 10, 8, data.model.begin());
  Send(MsgDataInfo, EncodeDataInfo(data));
}

void Terminal::OnFlashRead(ByteView payload) {
  if (Applies(faults_.flashReadErr, received_.CountOf(MsgFlashRead))) {
    Note("fault: Flash read refused");
    SendStatus(MsgFlashReadErr, faults_.flashReadErr.status);
    return;
  }
  const auto address = ReadU32(payload, 0);
  const auto length = ReadU32(payload, 4);
  if (!address || !length) {
    SendStatus(MsgFlashReadErr, 2);
    return;
  }
  const FlashRegion* region = device_.FindRegion(*address);
  if (region == nullptr) {
    SendStatus(MsgFlashReadErr, 0);
    return;
  }
  ReadBack read;
  if (*length == 0 || !region->Read(*address, *length, read.data)) {
    SendStatus(MsgFlashReadErr, 1);
    return;
  }
  read.replyId = MsgFlashReadBlock;
  read.requestId = MsgFlashRead;
  read.address = *address;
  read.pieces = UniformPieces(read.data.size());
  StartReadBack(std::move(read));
}

void Terminal::OnE2Read(ByteView payload) {
  if (Applies(faults_.e2ReadErr, received_.CountOf(MsgE2Read))) {
    Note("fault: E2PROM read refused");
    Send(MsgE2ReadErr);
    return;
  }
  const auto address = ReadU32(payload, 0);
  const auto length = ReadU32(payload, 4);
  if (!device_.UsesE2() || !address || !length || *length == 0 || *address > kE2Size ||
      *length > kE2Size - *address) {
    Note(device_.UsesE2() ? "E2PROM read outside the E2PROM" : "no E2PROM in this generation");
    Send(MsgE2ReadErr);
    return;
  }
  ReadBack read;
  read.replyId = MsgE2ReadBlock;
  read.requestId = MsgE2Read;
  read.address = *address;
  read.data.assign(device_.e2prom.begin() + *address, device_.e2prom.begin() + *address + *length);
  read.pieces = UniformPieces(read.data.size());
  StartReadBack(std::move(read));
}

}  // namespace tavro::sim
