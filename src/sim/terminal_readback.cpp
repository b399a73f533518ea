// Read-back: the App and parameter areas block by block, each block sent
// when the previous one is acknowledged, and resend requests.

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

// The reply each read-back acknowledgement moves on.
std::uint16_t ReplyOfAck(std::uint16_t ackId) {
  switch (ackId) {
    case MsgFlashReadAck:
      return MsgFlashReadBlock;
    case MsgE2ReadAck:
      return MsgE2ReadBlock;
    case MsgAppBackupAck:
      return MsgAppBackupBlock;
    case MsgParaBackupAck:
      return MsgParaBackupBlock;
    default:
      return 0;
  }
}

}  // namespace

Terminal::Pieces Terminal::UniformPieces(std::size_t size) {
  Pieces pieces;
  for (std::size_t offset = 0; offset < size; offset += kBlockSize) {
    pieces.emplace_back(offset, std::min(kBlockSize, size - offset));
  }
  return pieces;
}

// Block 0 is the descriptor of the last download, then the stored image.
void Terminal::OnAppBackupStart(ByteView payload) {
  const auto address = ReadU32(payload, 0);
  const AppArea& app = device_.app;
  if (!address || *address != device_.areas[kAppEntry].areaAddr || !app.present) {
    Note(app.present ? "App read-back at an unknown address" : "no current App");
    Send(MsgAppBackupNone);
    return;
  }
  ReadBack read;
  read.replyId = MsgAppBackupBlock;
  read.requestId = MsgAppBackupBlock;
  read.longForm = false;
  read.address = *address;
  read.data = AppDescriptorChunk(app.fileLength, app.stamp);
  read.data.insert(read.data.end(), app.image.begin(), app.image.end());
  read.pieces.emplace_back(0, kBlockSize);
  for (const auto& [offset, length] : UniformPieces(app.image.size())) {
    read.pieces.emplace_back(kBlockSize + offset, length);
  }
  StartReadBack(std::move(read));
}

// Block 0 is the 512-byte header, then the data part in full blocks.
void Terminal::OnParaBackupStart(std::uint16_t msgId, ByteView payload) {
  ++paraBackupCount_;
  if (Applies(faults_.paraUploadErr, paraBackupCount_)) {
    Note("fault: parameter read-back refused");
    SendStatus(MsgParaUploadErr, faults_.paraUploadErr.status);
    return;
  }
  if (Applies(faults_.paraIntegErr, paraBackupCount_)) {
    Note("fault: parameter area reported damaged");
    Send(MsgParaIntegErr);
    return;
  }
  const auto address = ReadU32(payload, 0);
  const auto length = ReadU32(payload, 4);
  const int index = address ? device_.ParaIndexAt(*address) : -1;
  if (index < 0) {
    SendStatus(MsgParaUploadErr, 0);
    return;
  }
  // The area table is the terminal's own: its second value must match.
  if (!length || *length != device_.areas[static_cast<std::size_t>(index)].areaLen) {
    SendStatus(MsgParaUploadErr, 1);
    return;
  }
  const FlashRegion& area = device_.para[static_cast<std::size_t>(index)].primary;
  if (!AreaIntact(area) || area.bytes.size() < kParaHeaderSize) {
    Send(MsgParaIntegErr);
    return;
  }
  const std::size_t dataSize =
      std::min<std::size_t>(GetU32(area.bytes.data() + 2), area.bytes.size() - kParaHeaderSize);
  ReadBack read;
  read.replyId = MsgParaBackupBlock;
  read.requestId = MsgParaBackupBlock;
  read.address = *address;
  read.data.assign(area.bytes.begin(), area.bytes.begin() + kParaHeaderSize + dataSize);
  read.pieces.emplace_back(0, kParaHeaderSize);
  for (const auto& [offset, len] : UniformPieces(dataSize)) {
    read.pieces.emplace_back(kParaHeaderSize + offset, len);
  }
  (void)msgId;  // both start forms read the same area; the third value is not needed
  StartReadBack(std::move(read));
}

void Terminal::StartReadBack(ReadBack read) {
  read_ = std::move(read);
  read_.active = true;
  if (read_.pieces.empty())
    read_.pieces.emplace_back(0, 0);
  SendReadBlock(0);
}

void Terminal::SendReadBlock(std::uint16_t number) {
  const auto [offset, length] = read_.pieces[number];
  const ByteView chunk(read_.data.data() + offset, length);
  const auto count = static_cast<std::uint16_t>(read_.pieces.size());
  Bytes payload = read_.longForm ? EncodeReadBackLong(read_.address, count, number, chunk)
                                 : EncodeReadBackShort(count, number, chunk);
  read_.sent = number;
  if (faults_.repeatEnabled && number == faults_.repeatBlock &&
      (faults_.repeatMsgId == 0 || faults_.repeatMsgId == read_.replyId)) {
    Note("fault: block sent twice");
    Send(read_.replyId, payload);
  }
  Send(read_.replyId, std::move(payload));
}

void Terminal::OnReadBackAck(std::uint16_t msgId, ByteView payload) {
  if (!read_.active || read_.replyId != ReplyOfAck(msgId)) {
    Note("acknowledgement without a read, ignored");
    return;
  }
  // The Flash read acknowledgement carries nothing: it always asks for more.
  const std::uint16_t goOn = msgId == MsgFlashReadAck ? 1 : ReadU16(payload, 0).value_or(1);
  const std::size_t next = std::size_t{read_.sent} + 1;
  if (goOn == 0 || next >= read_.pieces.size()) {
    read_.active = false;
    return;
  }
  SendReadBlock(static_cast<std::uint16_t>(next));
}

// u16 0, u16 identifier being read, u32 address, u16 count, u16 number. The
// PC declares 10 bytes; without the number the last block is sent again.
void Terminal::OnResendRequest(ByteView payload) {
  const auto readId = ReadU16(payload, 2);
  if (!read_.active || !readId || *readId != read_.requestId) {
    Note("resend request without that read, ignored");
    return;
  }
  const std::uint16_t number = ReadU16(payload, 10).value_or(read_.sent);
  if (number >= read_.pieces.size()) {
    Note("resend request for a block that does not exist, ignored");
    return;
  }
  SendReadBlock(number);
}

}  // namespace tavro::sim
