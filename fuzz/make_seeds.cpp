// Writes the seed corpus of the fuzz targets: frames and exchanges of the
// protocol as a terminal sends them, the sample package's description and
// INI files in every encoding the tool reads.
// Usage: fuzz_make_seeds CORPUS_DIR   (the fuzz/corpus folder)

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/text_encoding.hpp"
#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "support/rule_builder.hpp"

namespace {

using namespace tavro;
using link::Bytes;

std::string corpus;
int failures = 0;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  const std::string folder = corpus + "/" + target;
  std::filesystem::create_directories(folder);
  if (!data::WriteFileAtomic(folder + "/" + name, bytes)) {
    std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name.c_str());
    ++failures;
  }
}

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---- what a terminal says --------------------------------------------------

Bytes BlHelloPayload(std::uint16_t blVersion) {
  link::BlHello hello;
  hello.chipNum = {'F', 'Z', '0', '1'};
  hello.companyNum = {'T', 'V', 'R', 'O'};
  hello.blVersion = blVersion;
  hello.sizeCode = 0x08;
  return link::EncodeBlHello(hello);
}

Bytes AppInfoPayload() {
  link::AppInfo info;
  info.current.present = 1;
  info.current.version = 0x01020304;
  info.current.model = {'M', 'O', 'D', 'E', 'L', '-', 'A', '1'};
  info.backup = info.current;
  info.backup.version = 0x01020300;
  return link::EncodeAppInfo(info);
}

Bytes DataInfoPayload() {
  link::DataInfo info;
  info.version = 0x00010203;
  info.model = {'P', 'A', 'R', 'A', '-', '0', '0', '1'};
  return link::EncodeDataInfo(info);
}

// A parameter area header: integrity word, version, model, time stamp.
Bytes ParaHeader(std::uint16_t integrity, std::size_t size) {
  Bytes header(size, 0);
  link::PutU16(header.data(), integrity);
  link::PutU32(header.data() + 6, 0x00010203);
  for (int i = 0; i < 8; ++i)
    header[10 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>('P' + i);
  if (size >= 25) {
    link::PutU16(header.data() + 18, 2026);
    header[20] = 1;
    header[21] = 2;
    header[22] = 3;
    header[23] = 4;
    header[24] = 5;
  }
  return header;
}

Bytes Frame(std::uint16_t id, const Bytes& payload = {}) {
  return link::BuildTerminalFrame(id, payload);
}

// ---- frame_rx records (the layout is described in frame_rx.cpp) -----------

Bytes Record(std::uint16_t id, const Bytes& payload) {
  Bytes out = {0xC0};
  link::AppendU16(out, id);
  if (payload.size() < 0xFF) {
    out.push_back(static_cast<std::uint8_t>(payload.size()));
  } else {
    out.push_back(0xFF);
    link::AppendU16(out, static_cast<std::uint16_t>(payload.size()));
  }
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes Advance(std::uint8_t steps16ms) {
  return {0xE0, steps16ms};
}

Bytes BadCrcRecord(std::uint8_t replyIndex, const Bytes& payload) {
  Bytes out = {0xF8, replyIndex, static_cast<std::uint8_t>(payload.size())};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes UserAction(std::uint8_t which) {
  return {0xFC, which};
}

// Start byte: script steps, bootloader choice, records flag, terminal type.
std::uint8_t Mode(int steps, int blChoice, bool records, int typeChoice) {
  return static_cast<std::uint8_t>(steps | (blChoice << 3) | (records ? 0x20 : 0) |
                                   (typeChoice << 6));
}

void FrameRxSeeds() {
  const Bytes block64 = link::EncodeReadBackLong(0, 1, 0, ParaHeader(1, 64));
  // View device information pressed, then a whole Flash identification.
  Bytes flash = {Mode(1, 0, true, 1)};
  for (const Bytes& r :
       {Record(link::MsgBlHello, BlHelloPayload(0x0150)), Record(link::MsgHello, {}),
        Record(link::MsgLinkQueryReply, link::StatusPayload(1)),
        Record(link::MsgAppInfo, AppInfoPayload())}) {
    flash.insert(flash.end(), r.begin(), r.end());
  }
  for (int header = 0; header < 5; ++header) {
    const Bytes r = Cat({Record(link::MsgFlashReadBlock, block64), Advance(8)});
    flash.insert(flash.end(), r.begin(), r.end());
  }
  Write("frame_rx", "flash-identification", flash);

  // The same for a bootloader that keeps its data in E2PROM.
  Write(
      "frame_rx", "e2prom-identification",
      Cat({{Mode(1, 3, true, 0)},
           Record(link::MsgBlHello, BlHelloPayload(0x0230)),
           Record(link::MsgHello, {}),
           Record(link::MsgLinkQueryReply, link::StatusPayload(0)),
           Record(link::MsgAppInfo, AppInfoPayload()),
           Record(link::MsgE2ReadBlock, link::EncodeReadBackLong(0, 1, 0, ParaHeader(0x55AA, 32))),
           Advance(16)}));

  // The script has run up to the App information; data information follows.
  Write("frame_rx", "data-info-after-app-info",
        Cat({{Mode(5, 1, true, 0)},
             Record(link::MsgDataInfo, DataInfoPayload()),
             Advance(4),
             Record(link::MsgNoDataInfo, {})}));

  // CRC errors, terminal time-outs, read errors and the user in between.
  Write("frame_rx", "errors-and-retries",
        Cat({{Mode(5, 2, true, 1)},
             BadCrcRecord(23, block64),
             BadCrcRecord(23, block64),
             Record(link::MsgRxTimeout, {}),
             Record(link::MsgFlashReadErr, link::StatusPayload(1)),
             UserAction(0),
             Record(link::MsgE2ReadErr, {}),
             Advance(200),
             UserAction(2),
             UserAction(3),
             UserAction(1)}));

  // Raw bytes: the terminal's frames of a Flash identification with noise
  // between them, after View device information.
  Write("frame_rx", "raw-flash-identification",
        Cat({{Mode(1, 0, false, 0), 0x3F},
             Frame(link::MsgBlHello, BlHelloPayload(0x0205)),
             Text("\x5F noise \xAA\x55"),
             Frame(link::MsgHello),
             Frame(link::MsgLinkQueryReply, link::StatusPayload(0)),
             Frame(link::MsgAppInfo, AppInfoPayload()),
             Frame(link::MsgFlashReadBlock, block64)}));

  // Stage scripts: the window in the middle of each stage, answered with
  // an acceptance, a refusal, silence and a damaged frame.
  const std::pair<std::uint16_t, std::uint16_t> answers[] = {
      {link::MsgAppBlockAck, 1},   {link::MsgParaBlockAck, 1},    {link::MsgE2WriteAck, 1},
      {link::MsgFlashWriteAck, 1}, {link::MsgRamBlockAck, 1},     {link::MsgBlBlockAck, 1},
      {link::MsgFlashWriteAck, 1}, {link::MsgFlashWriteAck, 1},   {link::MsgRunResult, 1},
      {link::MsgGoBackResult, 3},  {link::MsgAppBackupBlock, 0},  {link::MsgParaBackupBlock, 0},
      {link::MsgE2ReadBlock, 0},   {link::MsgDataBackupState, 2}, {link::MsgParaDownloadState, 1},
      {link::MsgE2ReadBlock, 0},
  };
  for (int stage = 0; stage < 16; ++stage) {
    const auto mode =
        static_cast<std::uint8_t>(0x07 | ((stage & 0x03) << 3) | 0x20 | ((stage & 0x0C) << 4));
    const auto [id, status] = answers[stage];
    const Bytes answer = status != 0 ? link::StatusPayload(status) : block64;
    Write("frame_rx", "stage-" + std::to_string(stage),
          Cat({{mode, 0},
               Record(id, answer),
               Advance(20),
               Record(id, link::StatusPayload(0)),
               Advance(255),
               BadCrcRecord(static_cast<std::uint8_t>(stage), answer),
               Record(link::MsgRxTimeout, {}),
               Advance(255)}));
  }

  // Raw bytes while idle: the terminal announces itself and prints text.
  Write("frame_rx", "raw-idle-hello-and-text",
        Cat({{Mode(0, 0, false, 0), 0x10},
             Frame(link::MsgHello),
             Frame(link::MsgText, Text("BL ready\r\n")),
             Frame(link::MsgRamHello),
             Frame(link::MsgRamContinue)}));
}

// ---- payloads ---------------------------------------------------------------

void PayloadSeeds() {
  Write("payloads", "bl-hello-frame", Frame(link::MsgBlHello, BlHelloPayload(0x0221)));
  Write("payloads", "app-info-frame", Frame(link::MsgAppInfo, AppInfoPayload()));
  Write("payloads", "data-info-frame", Frame(link::MsgDataInfo, DataInfoPayload()));
  Write("payloads", "flash-read-block-frame",
        Frame(link::MsgFlashReadBlock,
              link::EncodeReadBackLong(0x08010000, 1, 0, ParaHeader(1, 64))));
  Write("payloads", "app-backup-block-frame",
        Frame(link::MsgAppBackupBlock, link::EncodeReadBackShort(3, 1, Bytes(4096, 0xA5))));
  Write("payloads", "status-frame", Frame(link::MsgLinkQueryReply, link::StatusPayload(1)));
  Write("payloads", "pc-resend-request", link::ResendRequestFrame(link::MsgE2Read, 0, 2, 1));
  Bytes broken = Frame(link::MsgText, Text("abc"));
  broken[link::kPayloadOffset + 3] ^= 0x01;
  Write("payloads", "stream-two-frames-and-a-bad-crc",
        Cat({Frame(link::MsgHello), Text("\x5F\x5F\x02"), broken, Frame(link::MsgE2ReadErr)}));
  Write("payloads", "app-info-payload", AppInfoPayload());
}

// ---- package ----------------------------------------------------------------

Bytes PackageSeed(std::uint16_t terminalType, std::uint16_t blVersion, const Bytes& file) {
  Bytes out;
  link::AppendU16(out, terminalType);
  link::AppendU16(out, blVersion);
  out.insert(out.end(), file.begin(), file.end());
  return out;
}

void PackageSeeds(const std::string& packageDir) {
  const std::string built = corpus + "/.SwUpdate.ini";
  if (!data::IniToBin(built, packageDir + "/SwUpdate-source.ini")) {
    std::fprintf(stderr, "cannot build the sample package description\n");
    ++failures;
    return;
  }
  const Bytes file = data::ReadWholeFile(built).value_or(Bytes{});
  data::RemoveFile(built);
  Write("package", "sample-type0-bl230", PackageSeed(0, 0x0230, file));
  Write("package", "sample-type1-bl150", PackageSeed(1, 0x0150, file));
  Write("package", "sample-type1-bl221", PackageSeed(1, 0x0221, file));
  Write("package", "header-only", PackageSeed(0, 0x0200, Bytes(file.begin(), file.begin() + 16)));
  Write("package", "partial-record",
        PackageSeed(0, 0x0100, Bytes(file.begin(), file.begin() + 60)));
}

// ---- ini ----------------------------------------------------------------------

// The first byte tells the target how to store the text: 0 as it is,
// 1 as UTF-16LE with its mark, 2 as UTF-8 behind its mark.
Bytes IniSeed(std::uint8_t mode, const Bytes& text) {
  return Cat({{mode}, text});
}

void IniSeeds(const std::string& packageDir) {
  const Bytes source = data::ReadWholeFile(packageDir + "/SwUpdate-source.ini").value_or(Bytes{});
  const Bytes language = data::ReadWholeFile(packageDir + "/Language.ini").value_or(Bytes{});
  if (source.empty() || language.empty()) {
    std::fprintf(stderr, "cannot read the sample package in %s\n", packageDir.c_str());
    ++failures;
  }
  Write("ini", "package-source", IniSeed(0, source));
  Write("ini", "language", IniSeed(0, language));
  Write("ini", "data-version-utf16", IniSeed(1, Text("[DestPara]\r\nDestParaVer=0x00010000\r\n")));
  Write("ini", "download-record-utf8-bom",
        IniSeed(2, Text("[Para]\r\nDlTime=20260102030405\r\n1.dat=0\r\n2.dat=1\r\n")));
  Write("ini", "edge-cases",
        IniSeed(0x24, Text("; notes\r\nstray=outside\r\n[First]\r\n  Alpha = one  \r\n"
                           "beta=two=three\r\nquoted=\"  spaced  \"\r\nhalf=\"open\r\n"
                           "=starts with equals\r\n\r\n[ Second ]\ngamma=3\n[first]\n"
                           "[Unclosed\nlast=no line break")));
  // Stored as UTF-16 already: non-Latin text and an unpaired surrogate.
  Bytes wide = {0xFF, 0xFE};
  for (char16_t c : std::u16string(u"[Lang]\r\nname=\u4E2D\u6587\r\nbad=\xD800!\r\n")) {
    wide.push_back(static_cast<std::uint8_t>(c));
    wide.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  Write("ini", "utf16-raw", IniSeed(0, wide));
}

// ---- rules --------------------------------------------------------------------

// The option byte (header kind, bit 2: run the step on files too), the
// source image with its u16 length, then the rule file.
Bytes RuleSeed(std::uint8_t options, const Bytes& source, const Bytes& rule) {
  Bytes out = {options};
  link::AppendU16(out, static_cast<std::uint16_t>(source.size()));
  return Cat({out, source, rule});
}

void RuleSeeds(const std::string& packageDir) {
  using namespace test;
  const auto read = [&packageDir](const std::string& relative) {
    const Bytes bytes = data::ReadWholeFile(packageDir + "/" + relative).value_or(Bytes{});
    if (bytes.empty()) {
      std::fprintf(stderr, "cannot read %s/%s\n", packageDir.c_str(), relative.c_str());
      ++failures;
    }
    return bytes;
  };
  constexpr std::uint8_t kOnFiles = 4;
  const Bytes e2 = read("Data/BaseData/E2prom/E2.dat");
  const Bytes e2Head(e2.begin(), e2.begin() + std::min<std::size_t>(e2.size(), 512));
  const Bytes flash = read("Data/BaseData/Flash/1.dat");
  Write("rules", "sample-e2e-1",
        RuleSeed(2 | kOnFiles, e2Head, read("Data/Rule/E2E/E2E_FE00_FF00.bin")));
  Write("rules", "sample-e2e-2",
        RuleSeed(2 | kOnFiles, e2Head, read("Data/Rule/E2E/E2E_FF00_10000.bin")));
  Write("rules", "sample-f2f",
        RuleSeed(0 | kOnFiles, flash, read("Data/Rule/F2F/F2F_FF00_10000.bin")));
  Write("rules", "sample-f2e",
        RuleSeed(1 | kOnFiles, flash, read("Data/Rule/F2E/F2E_FF00_10000.bin")));

  const Bytes small = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
  Write("rules", "table-sequence-and-copy",
        RuleSeed(3, small,
                 RuleWriter()
                     .Block(Header("V2_1.dat", 0x100, 0x101))
                     .Add(Column(Sequence(Fill(2, 0), 0x100, 2, 2), 3, 4))
                     .Add(Column(Copy("1.dat", 0, 2, 1), 3, 4, 1))
                     .Bytes()));
  Write("rules", "text-columns",
        RuleSeed(3 | kOnFiles, small,
                 RuleWriter()
                     .Block(Header("E2.dat", 1, 2))
                     .Add(Column(Sequence(test::Text(data::kModeText8, 6, "ab"), 7, 1), 2, 14))
                     .Add(Column(Sequence(test::Text(data::kModeText16, 8, "c"), 0xFFFFFFFF, 3, 5),
                                 2, 14))
                     .Add(test::Text(data::kModeText16, 5, "xyz"))
                     .Add(Fill(32, 0x1FF))
                     .Bytes()));
  data::RuleBlockHeader model = Header("V_2.dat", 5, 6);
  model.modelFromRule = 0;
  model.modelLen = 4;
  model.modelOffset = 2;
  model.modelSrcName = RuleNameOf("2.dat");
  model.srcHasHeader = 1;
  Write("rules", "arrays-masks-two-blocks",
        RuleSeed(0 | kOnFiles, flash,
                 RuleWriter()
                     .Block(Header("V_1.dat", 5, 6))
                     .Add(Array("1.dat", 0, 4, 2, 1, 1))
                     .Add(Copy("1.dat", 4, 2, 2, data::kModeAnd, 0x0FF0))
                     .Add(Copy("1.dat", 6, 4, 4, data::kModeOr, 0x80000000))
                     .Add(Column(Array("1.dat", 8, 2, 2, 2, 0), 2, 6, 16))
                     .Add(Column(Copy("1.dat", 8, 2, 2, 9), 2, 6, 16))
                     .Block(model)
                     .Add(Copy("2.dat", 0, 4, 2))
                     .Bytes()));
  Write("rules", "array-past-its-row",
        RuleSeed(0, small,
                 RuleWriter()
                     .Block(Header("1.dat", 1, 2))
                     .Add(Column(Fill(2, 0), 2, 4))
                     .Add(Column(Array("1.dat", 0, 3, 1, 1, 9), 2, 4))
                     .Bytes()));
  Write("rules", "source-range-past-the-end",
        RuleSeed(2 | kOnFiles, small,
                 RuleWriter()
                     .Block(Header("E2.dat", 1, 2))
                     .Add(Column(Copy("E2.dat", 0xFFFFFFF0, 4, 4), 3, 4, 0x10))
                     .Bytes()));
}

// The campaign's choices: a few byte strings drawn once, so the fuzzer
// starts from whole days rather than from zeros.
void CampaignSeeds() {
  std::uint32_t state = 2026;
  for (int n = 0; n < 6; ++n) {
    Bytes choices(96 + 64 * n);
    for (std::uint8_t& b : choices) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(state >> 24);
    }
    Write("campaign", "day-" + std::to_string(n), choices);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  corpus = argv[1];
  const std::string packageDir = TAVRO_FUZZ_PACKAGE_DIR;
  FrameRxSeeds();
  PayloadSeeds();
  PackageSeeds(packageDir);
  IniSeeds(packageDir);
  RuleSeeds(packageDir);
  CampaignSeeds();
  return failures == 0 ? 0 : 1;
}
