#include "sim/device_factory.hpp"

#include <algorithm>
#include <cstring>

namespace tavro::sim {
namespace {

void PutText(std::uint8_t* p, std::size_t room, const std::string& text) {
  std::memcpy(p, text.data(), std::min(room, text.size()));
}

void PutStamp(std::uint8_t* p, const link::TimeStamp& t) {
  link::PutU16(p, t.year);
  p[2] = t.month;
  p[3] = t.day;
  p[4] = t.hour;
  p[5] = t.minute;
  p[6] = t.second;
}

// Recognisable, position-dependent filler so that misplaced blocks show.
void Fill(link::Bytes& bytes, std::size_t from, std::uint32_t seed) {
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<std::uint8_t>(x >> 16);
  }
}

AppArea MakeApp(const Device& device, std::uint32_t version, const std::string& model,
                std::size_t size, const link::TimeStamp& stamp) {
  AppArea app;
  app.present = true;
  app.fileLength = static_cast<std::uint32_t>(size);
  app.stamp = stamp;
  app.image.assign(device.AppImageOffset(), 0);
  const link::Bytes file = MakeAppFile(version, model, size);
  app.image.insert(app.image.end(), file.begin(), file.end());
  device.TakeAppIdentity(app);
  return app;
}

}  // namespace

link::Bytes MakeAppFile(std::uint32_t version, const std::string& model, std::size_t size) {
  link::Bytes file(std::max<std::size_t>(size, kAppModelOffset + 8), 0);
  Fill(file, 0, version);
  link::PutU32(file.data() + kAppVersionOffset, version);
  std::memset(file.data() + kAppModelOffset, 0, 8);
  PutText(file.data() + kAppModelOffset, 8, model);
  return file;
}

link::Bytes MakeParaImage(std::size_t index, std::uint32_t version, const std::string& model,
                          std::size_t dataSize, const link::TimeStamp& stamp) {
  link::Bytes image(kParaHeaderSize + dataSize, 0);
  link::PutU16(image.data(), kAreaIntact);
  link::PutU32(image.data() + 2, static_cast<std::uint32_t>(dataSize));
  link::PutU32(image.data() + 6, version);
  PutText(image.data() + 10, 8, model);
  PutText(image.data() + 18, 30, "Area" + std::to_string(index + 1));
  PutStamp(image.data() + 48, stamp);
  PutStamp(image.data() + 56, stamp);
  Fill(image, kParaHeaderSize, static_cast<std::uint32_t>(version + index));
  return image;
}

link::Bytes MakeE2Image(std::uint32_t version, const std::string& model,
                        const link::TimeStamp& stamp) {
  link::Bytes image(kE2Size, 0);
  link::PutU16(image.data(), kE2Intact);
  link::PutU32(image.data() + 2, static_cast<std::uint32_t>(kE2Size));
  link::PutU32(image.data() + 6, version);
  PutText(image.data() + 10, 8, model);
  PutStamp(image.data() + 18, stamp);
  Fill(image, kE2HeaderSize, version);
  return image;
}

std::size_t DefaultParaDataSize(std::size_t index) {
  return 0x1800 + 0x700 * index + 37;
}

Device MakeDevice(const DeviceSpec& spec) {
  Device device;
  device.bootloader.version = spec.blVersion;
  device.bootloader.terminalType = spec.terminalType;
  device.bootloader.sizeCode = spec.sizeCode;
  device.areas = spec.areas;
  const bool e2 = KeepsDataInE2(spec.blVersion);
  LayOutRegions(device, e2 ? 0 : spec.paraCount);
  device.app = MakeApp(device, spec.appVersion, spec.model, spec.appSize, spec.stamp);
  if (spec.backupApp) {
    device.backupApp =
        MakeApp(device, spec.backupAppVersion, spec.model, spec.appSize / 2 + 1, spec.stamp);
  }
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    const std::size_t capacity = device.para[i].primary.capacity;
    if (capacity < kParaHeaderSize)
      continue;  // no room for a header: left erased
    const std::size_t room = capacity - kParaHeaderSize;
    device.para[i].primary.bytes = MakeParaImage(
        i, spec.dataVersion, spec.model, std::min(DefaultParaDataSize(i), room), spec.stamp);
    if (device.para[i].copy.capacity > 0)
      device.para[i].copy.bytes = device.para[i].primary.bytes;
  }
  if (e2)
    device.e2prom = MakeE2Image(spec.dataVersion, spec.model, spec.stamp);
  return device;
}

}  // namespace tavro::sim
