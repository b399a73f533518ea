#include "sim/profile.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "sim/text_util.hpp"

namespace tavro::sim {
namespace {

constexpr const char* kMissing = "\x01";

// Fixed-width character fields: plain text when printable, else "hex:..".
template <std::size_t N>
std::string CharsText(const std::array<char, N>& chars) {
  std::size_t len = 0;
  while (len < N && chars[len] != 0)
    ++len;
  bool plain = len > 0 && chars[0] != ' ' && chars[len - 1] != ' ';
  for (std::size_t i = len; i < N; ++i)
    plain = plain && chars[i] == 0;
  for (std::size_t i = 0; i < len; ++i) {
    const auto c = static_cast<unsigned char>(chars[i]);
    plain = plain && c >= 0x20 && c < 0x7F;
  }
  if (plain || len == 0)
    return std::string(chars.data(), len);
  std::string text = "hex:";
  for (char c : chars)
    text += Hex(static_cast<unsigned char>(c), 2).substr(2);
  return text;
}

template <std::size_t N>
bool ParseChars(const std::string& text, std::array<char, N>& out) {
  out.fill(0);
  if (text.rfind("hex:", 0) == 0) {
    const std::string hex = text.substr(4);
    if (hex.size() != 2 * N)
      return false;
    for (std::size_t i = 0; i < N; ++i) {
      std::uint32_t v = 0;
      if (!ParseUnsigned("0x" + hex.substr(2 * i, 2), v))
        return false;
      out[i] = static_cast<char>(v);
    }
    return true;
  }
  if (text.size() > N)
    return false;
  std::memcpy(out.data(), text.data(), text.size());
  return true;
}

std::string StampText(const link::TimeStamp& t) {
  return std::to_string(t.year) + "," + std::to_string(t.month) + "," + std::to_string(t.day) +
         "," + std::to_string(t.hour) + "," + std::to_string(t.minute) + "," +
         std::to_string(t.second);
}

bool ParseStamp(const std::string& text, link::TimeStamp& out) {
  const auto parts = SplitList(text);
  std::uint32_t v[6] = {};
  if (parts.size() != 6)
    return false;
  for (std::size_t i = 0; i < 6; ++i) {
    if (!ParseUnsigned(parts[i], v[i]) || v[i] > (i == 0 ? 0xFFFFu : 0xFFu))
      return false;
  }
  out = {static_cast<std::uint16_t>(v[0]), static_cast<std::uint8_t>(v[1]),
         static_cast<std::uint8_t>(v[2]),  static_cast<std::uint8_t>(v[3]),
         static_cast<std::uint8_t>(v[4]),  static_cast<std::uint8_t>(v[5])};
  return true;
}

void AppendSection(std::string& text, const char* name,
                   const std::vector<std::pair<std::string, std::string>>& entries) {
  text += "\n[";
  text += name;
  text += "]\n";
  for (const auto& [key, value] : entries)
    text += key + "=" + value + "\n";
}

std::vector<std::pair<std::string, std::string>> AppEntries(const AppArea& app) {
  return {{"Present", app.present ? "1" : "0"},
          {"Version", Hex(app.version, 8)},
          {"Model", CharsText(app.model)},
          {"FileLength", std::to_string(app.fileLength)},
          {"Stamp", StampText(app.stamp)}};
}

std::string FileNameText(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
      out += c;
  }
  return out;
}

// Reads the profile's INI, remembering which file and key failed.
class Reader {
 public:
  Reader(const std::string& path, std::string& error) : ini_(path), error_(error) {}
  std::optional<std::string> Get(const char* section, const std::string& key) const {
    std::string v = ini_.GetString(section, key, kMissing);
    if (v == kMissing)
      return std::nullopt;
    return Trim(v);
  }
  std::string Get(const char* section, const std::string& key, const std::string& def) const {
    return Get(section, key).value_or(def);
  }
  bool Fail(const char* section, const std::string& key, const std::string& value) {
    error_ = ini_.Path() + ": [" + section + "] " + key + ": cannot read \"" + value + "\"";
    return false;
  }
  const data::CIni& ini() const { return ini_; }

 private:
  data::CIni ini_;
  std::string& error_;
};

bool ReadApp(Reader& r, const char* section, AppArea& app) {
  std::uint32_t present = 0;
  const std::string p = r.Get(section, "Present", "0");
  if (!ParseUnsigned(p, present) || present > 1)
    return r.Fail(section, "Present", p);
  app.present = present != 0;
  const std::string v = r.Get(section, "Version", "0");
  if (!ParseUnsigned(v, app.version))
    return r.Fail(section, "Version", v);
  const std::string m = r.Get(section, "Model", "");
  if (!ParseChars(m, app.model))
    return r.Fail(section, "Model", m);
  const std::string len = r.Get(section, "FileLength", "0");
  if (!ParseUnsigned(len, app.fileLength))
    return r.Fail(section, "FileLength", len);
  const std::string stamp = r.Get(section, "Stamp", "0,0,0,255,255,255");
  if (!ParseStamp(stamp, app.stamp))
    return r.Fail(section, "Stamp", stamp);
  return true;
}

bool ReadBootloader(Reader& r, Bootloader& b) {
  const char* s = "Bootloader";
  const auto version = r.Get(s, "Version");
  if (!version || !ParseU16(*version, b.version))
    return r.Fail(s, "Version", version.value_or(""));
  const std::string chip = r.Get(s, "ChipNum", "");
  if (!ParseChars(chip, b.chipNum))
    return r.Fail(s, "ChipNum", chip);
  const std::string company = r.Get(s, "CompanyNum", "");
  if (!ParseChars(company, b.companyNum))
    return r.Fail(s, "CompanyNum", company);
  std::uint32_t size = 0;
  const std::string sizeCode = r.Get(s, "SizeCode", "0x10");
  if (!ParseUnsigned(sizeCode, size) || size > 0xFF)
    return r.Fail(s, "SizeCode", sizeCode);
  b.sizeCode = static_cast<std::uint8_t>(size);
  const std::string type = r.Get(s, "TerminalType", "1");
  std::uint16_t t = 0;
  if (type == "none") {
    b.terminalType.reset();
  } else if (ParseU16(type, t)) {
    b.terminalType = t;
  } else {
    return r.Fail(s, "TerminalType", type);
  }
  return true;
}

bool ReadAreas(Reader& r, Device& d) {
  const char* s = "Areas";
  for (std::size_t i = 0; i < kAreaEntries; ++i) {
    const std::string key = "Area" + std::to_string(i);
    const auto text = r.Get(s, key);
    if (!text)
      continue;
    // address, second value, third value, file name (the rest of the line)
    std::size_t pos = 0;
    std::uint32_t v[3] = {};
    for (int f = 0; f < 3; ++f) {
      const auto comma = text->find(',', pos);
      if (comma == std::string::npos || !ParseUnsigned(text->substr(pos, comma - pos), v[f])) {
        return r.Fail(s, key, *text);
      }
      pos = comma + 1;
    }
    d.areas[i] = {v[0], v[1], v[2], Trim(text->substr(pos))};
  }
  std::uint32_t count = 0;
  const std::string c = r.Get(s, "ParaCount", "0");
  if (!ParseUnsigned(c, count) || count > kMaxParaAreas)
    return r.Fail(s, "ParaCount", c);
  LayOutRegions(d, count);
  return true;
}

bool ReadSettings(Reader& r, Behaviour& behaviour, Faults& faults, std::string& error) {
  for (const std::string& key : r.ini().GetKeyNames("Behaviour")) {
    if (!SetBehaviour(behaviour, key, r.Get("Behaviour", key, ""), error)) {
      error = r.ini().Path() + ": " + error;
      return false;
    }
  }
  for (const std::string& key : r.ini().GetKeyNames("Faults")) {
    if (!SetFault(faults, key, r.Get("Faults", key, ""), error)) {
      error = r.ini().Path() + ": " + error;
      return false;
    }
  }
  return true;
}

// Image of one region: a missing file reads as erased Flash.
bool ReadImage(const std::string& dir, const std::string& name, std::size_t capacity,
               link::Bytes& out, std::string& error) {
  const std::string path = dir + "/" + name;
  out.clear();
  if (!data::FileExists(path))
    return true;
  data::ReadError why = data::ReadError::kNone;
  auto bytes = data::ReadWholeFile(path, &why);
  if (!bytes) {
    error = path + ": cannot be read";
    return false;
  }
  if (bytes->size() > capacity) {
    error = path + ": " + std::to_string(bytes->size()) + " bytes do not fit the " +
            std::to_string(capacity) + " bytes of the region";
    return false;
  }
  out = std::move(*bytes);
  return true;
}

const link::Bytes* PartBytes(const Device& d, Changed c) {
  switch (c.part) {
    case DevicePart::App:
      return &d.app.image;
    case DevicePart::BackupApp:
      return &d.backupApp.image;
    case DevicePart::Para:
      return c.index < d.para.size() ? &d.para[c.index].primary.bytes : nullptr;
    case DevicePart::ParaCopy:
      return c.index < d.para.size() ? &d.para[c.index].copy.bytes : nullptr;
    case DevicePart::Resource:
      return &d.resource.bytes;
    case DevicePart::E2Copy:
      return &d.e2Copy.bytes;
    case DevicePart::Marker:
      return &d.marker.bytes;
    case DevicePart::E2:
      return &d.e2prom;
    default:
      return nullptr;
  }
}

bool WriteImage(const std::string& dir, const Device& d, Changed c, std::string& error) {
  const link::Bytes* bytes = PartBytes(d, c);
  if (bytes == nullptr)
    return true;
  const std::string path = dir + "/" + PartFileName(c);
  if (!data::WriteFileAtomic(path, *bytes)) {
    error = path + ": cannot be written";
    return false;
  }
  return true;
}

bool WriteIni(const std::string& dir, const Device& d, const Behaviour& b, const Faults& f,
              std::string& error) {
  const std::string path = dir + "/" + kProfileIni;
  const std::string text = ProfileIniText(d, b, f);
  if (!data::WriteFileAtomic(path, link::Bytes(text.begin(), text.end()))) {
    error = path + ": cannot be written";
    return false;
  }
  return true;
}

std::vector<Changed> AllParts(const Device& d) {
  std::vector<Changed> parts = {{DevicePart::App},      {DevicePart::BackupApp},
                                {DevicePart::Resource}, {DevicePart::E2Copy},
                                {DevicePart::Marker},   {DevicePart::E2}};
  for (std::size_t i = 0; i < d.para.size(); ++i) {
    parts.push_back({DevicePart::Para, i});
    parts.push_back({DevicePart::ParaCopy, i});
  }
  return parts;
}

}  // namespace

std::string PartFileName(Changed c) {
  switch (c.part) {
    case DevicePart::App:
      return "app.bin";
    case DevicePart::BackupApp:
      return "app-backup.bin";
    case DevicePart::Para:
      return "para" + std::to_string(c.index + 1) + ".bin";
    case DevicePart::ParaCopy:
      return "para" + std::to_string(c.index + 1) + "-copy.bin";
    case DevicePart::Resource:
      return "resource.bin";
    case DevicePart::E2Copy:
      return "e2copy.bin";
    case DevicePart::Marker:
      return "marker.bin";
    case DevicePart::E2:
      return "e2prom.bin";
    default:
      return kProfileIni;
  }
}

std::string ProfileIniText(const Device& d, const Behaviour& b, const Faults& f) {
  std::string text =
      "; Simulated terminal. The simulator rewrites this file whole after every\n"
      "; accepted write: edit it only while no simulator runs on this folder.\n";
  const Bootloader& bl = d.bootloader;
  AppendSection(text, "Bootloader",
                {{"Version", Hex(bl.version)},
                 {"ChipNum", CharsText(bl.chipNum)},
                 {"CompanyNum", CharsText(bl.companyNum)},
                 {"SizeCode", Hex(bl.sizeCode, 2)},
                 {"TerminalType", bl.terminalType ? std::to_string(*bl.terminalType) : "none"}});
  AppendSection(text, "App", AppEntries(d.app));
  AppendSection(text, "BackupApp", AppEntries(d.backupApp));
  std::vector<std::pair<std::string, std::string>> areas = {
      {"ParaCount", std::to_string(d.para.size())}};
  for (std::size_t i = 0; i < kAreaEntries; ++i) {
    const AreaEntry& e = d.areas[i];
    areas.emplace_back("Area" + std::to_string(i), Hex(e.areaAddr, 8) + ", " + Hex(e.areaLen, 8) +
                                                       ", " + Hex(e.areaArg, 8) + ", " +
                                                       FileNameText(e.fileName));
  }
  AppendSection(text, "Areas", areas);
  AppendSection(text, "Behaviour", BehaviourEntries(b));
  AppendSection(text, "Faults", FaultEntries(f));
  return text;
}

bool LoadProfile(const std::string& dir, Profile& out, std::string& error) {
  const std::string iniPath = dir + "/" + kProfileIni;
  if (!data::FileExists(iniPath)) {
    error = iniPath + ": no terminal profile here";
    return false;
  }
  Reader reader(iniPath, error);
  Profile p;
  if (!ReadBootloader(reader, p.device.bootloader) || !ReadAreas(reader, p.device) ||
      !ReadApp(reader, "App", p.device.app) || !ReadApp(reader, "BackupApp", p.device.backupApp) ||
      !ReadSettings(reader, p.behaviour, p.faults, error)) {
    return false;
  }
  Device& d = p.device;
  const std::uint32_t appCapacity = d.AppCapacity();
  if (!ReadImage(dir, PartFileName({DevicePart::App}), appCapacity, d.app.image, error) ||
      !ReadImage(dir, PartFileName({DevicePart::BackupApp}), appCapacity, d.backupApp.image,
                 error)) {
    return false;
  }
  for (std::size_t i = 0; i < d.para.size(); ++i) {
    if (!ReadImage(dir, PartFileName({DevicePart::Para, i}), d.para[i].primary.capacity,
                   d.para[i].primary.bytes, error) ||
        !ReadImage(dir, PartFileName({DevicePart::ParaCopy, i}), d.para[i].copy.capacity,
                   d.para[i].copy.bytes, error)) {
      return false;
    }
  }
  for (auto [part, region] :
       {std::pair{DevicePart::Resource, &d.resource}, std::pair{DevicePart::E2Copy, &d.e2Copy},
        std::pair{DevicePart::Marker, &d.marker}}) {
    if (!ReadImage(dir, PartFileName({part}), region->capacity, region->bytes, error)) {
      return false;
    }
  }
  if (!ReadImage(dir, PartFileName({DevicePart::E2}), kE2Size, d.e2prom, error))
    return false;
  if (!d.e2prom.empty() && d.e2prom.size() != kE2Size) {
    error = dir + "/" + PartFileName({DevicePart::E2}) + ": an E2PROM image has " +
            std::to_string(kE2Size) + " bytes";
    return false;
  }
  d.EnsureE2prom();
  out = std::move(p);
  return true;
}

bool SaveProfile(const std::string& dir, const Profile& p, std::string& error) {
  if (!data::CreateFolders(dir)) {
    error = dir + ": folder cannot be created";
    return false;
  }
  for (const Changed& part : AllParts(p.device)) {
    if (!WriteImage(dir, p.device, part, error))
      return false;
  }
  return WriteIni(dir, p.device, p.behaviour, p.faults, error);
}

ProfileStore::ProfileStore(std::string dir, Behaviour behaviour, Faults faults)
    : dir_(std::move(dir)), behaviour_(std::move(behaviour)), faults_(std::move(faults)) {}

bool ProfileStore::Save(const Device& device, Changed changed) {
  std::string error;
  bool ok = WriteImage(dir_, device, changed, error);
  const bool identity = changed.part == DevicePart::App || changed.part == DevicePart::BackupApp ||
                        changed.part == DevicePart::Bootloader;
  if (ok && identity)
    ok = WriteIni(dir_, device, behaviour_, faults_, error);
  if (!ok)
    error_ = error;
  return ok;
}

}  // namespace tavro::sim
