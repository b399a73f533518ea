#include "sim/device_report.hpp"

#include <cstdio>

#include "link/payloads.hpp"
#include "sim/text_util.hpp"

namespace tavro::sim {
namespace {

std::string Version(std::uint32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%x.%x.%x.%x", (v >> 24) & 0xFF, (v >> 16) & 0xFF,
                (v >> 8) & 0xFF, v & 0xFF);
  return text;
}

std::string Stamp(const link::TimeStamp& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second});
  return text;
}

link::TimeStamp StampAt(const link::Bytes& b, std::size_t at) {
  link::TimeStamp t;
  if (b.size() < at + 7)
    return t;
  t = {link::GetU16(b.data() + at), b[at + 2], b[at + 3], b[at + 4], b[at + 5], b[at + 6]};
  return t;
}

std::string Text(const std::uint8_t* p, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n && p[i] != 0; ++i) {
    s += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '?';
  }
  return s;
}

std::string App(const char* name, const AppArea& a) {
  std::string line = std::string(name) + (a.present ? "present" : "not present");
  line += ", version " + Version(a.version) + ", model " +
          Text(reinterpret_cast<const std::uint8_t*>(a.model.data()), 8) + ", " +
          std::to_string(a.image.size()) + " bytes stored of " + std::to_string(a.fileLength) +
          ", downloaded " + Stamp(a.stamp) + "\n";
  return line;
}

std::string Header(const FlashRegion& r) {
  if (r.capacity == 0)
    return "none";
  std::string s = "at " + Hex(r.address, 8) + ": ";
  if (r.bytes.size() < kParaHeaderSize) {
    return s + (r.bytes.empty() ? "erased" : std::to_string(r.bytes.size()) + " bytes, no header");
  }
  s += AreaIntact(r) ? "intact" : "NOT intact (" + Hex(link::GetU16(r.bytes.data())) + ")";
  s += ", version " + Version(link::GetU32(r.bytes.data() + 6)) + ", model " +
       Text(r.bytes.data() + 10, 8) + ", " + std::to_string(r.bytes.size() - kParaHeaderSize) +
       " of " + std::to_string(link::GetU32(r.bytes.data() + 2)) + " data bytes, stamp " +
       Stamp(StampAt(r.bytes, 56));
  return s;
}

}  // namespace

std::string DescribeDevice(const Device& d) {
  const Bootloader& b = d.bootloader;
  char blText[16];
  std::snprintf(blText, sizeof blText, "%x.%02x", b.version >> 8, b.version & 0xFF);
  std::string s = "Bootloader " + std::string(blText) + " (" + Hex(b.version) + "), chip " +
                  Text(reinterpret_cast<const std::uint8_t*>(b.chipNum.data()), 4) + ", company " +
                  Text(reinterpret_cast<const std::uint8_t*>(b.companyNum.data()), 4) +
                  ", size code " + Hex(b.sizeCode, 2) + ", terminal type " +
                  (b.terminalType ? std::to_string(*b.terminalType) : "(no answer)") + "\n";
  s += d.UsesE2() ? "Parameter data in the E2PROM\n" : "Parameter data in Flash areas\n";
  s += App("App:        ", d.app);
  s += App("Backup App: ", d.backupApp);
  for (std::size_t i = 0; i < d.para.size(); ++i) {
    s += "Area " + std::to_string(i + 1) + " (" + d.areas[i].fileName + ") " +
         Header(d.para[i].primary) + "\n";
    s += "  second copy " + Header(d.para[i].copy) + "\n";
  }
  if (d.UsesE2() || !d.e2prom.empty()) {
    const link::Bytes& e = d.e2prom;
    s += "E2PROM: ";
    if (e.size() < kE2HeaderSize) {
      s += "none\n";
    } else {
      s += E2Intact(e) ? "intact" : "NOT intact (" + Hex(link::GetU16(e.data())) + ")";
      s += ", version " + Version(link::GetU32(e.data() + 6)) + ", model " +
           Text(e.data() + 10, 8) + ", stamp " + Stamp(StampAt(e, 18)) + "\n";
    }
  }
  s += "Resources at " + Hex(d.resource.address, 8) + ": " +
       std::to_string(d.resource.bytes.size()) + " bytes\n";
  s += "E2PROM copy at " + Hex(d.e2Copy.address, 8) + ": " + std::to_string(d.e2Copy.bytes.size()) +
       " bytes";
  if (d.e2Copy.bytes.size() >= 2)
    s += ", mark " + Hex(link::GetU16(d.e2Copy.bytes.data()));
  s += "\nMarker at " + Hex(d.marker.address, 8) + ": " + std::to_string(d.marker.bytes.size()) +
       " bytes\n";
  return s;
}

}  // namespace tavro::sim
