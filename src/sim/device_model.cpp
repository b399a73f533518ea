#include "sim/device_model.hpp"

#include "link/payloads.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tavro::sim {

bool KeepsDataInE2(std::uint16_t blVersion) {
  return blVersion >= kE2Generation;
}

bool FlashRegion::Read(std::uint32_t addr, std::uint32_t length, link::Bytes& out) const {
  if (!Contains(addr))
    return false;
  const std::uint64_t offset = addr - address;
  if (offset + length > capacity)
    return false;
  out.assign(length, 0xFF);
  for (std::uint64_t i = 0; i < length && offset + i < bytes.size(); ++i) {
    out[i] = bytes[offset + i];
  }
  return true;
}

bool AreaIntact(const FlashRegion& region) {
  return link::ReadU16(region.bytes, 0).value_or(0xFFFF) == kAreaIntact;
}

bool E2Intact(const link::Bytes& e2prom) {
  return link::ReadU16(e2prom, 0).value_or(0xFFFF) == kE2Intact;
}

bool Device::ParaDataIntact() const {
  if (UsesE2())
    return E2Intact(e2prom);
  if (para.empty())
    return false;
  return std::all_of(para.begin(), para.end(),
                     [](const ParaArea& a) { return AreaIntact(a.primary); });
}

const FlashRegion* Device::FindRegion(std::uint32_t addr) const {
  for (const ParaArea& a : para) {
    if (a.primary.Contains(addr))
      return &a.primary;
    if (a.copy.Contains(addr))
      return &a.copy;
  }
  for (const FlashRegion* r : {&resource, &e2Copy, &marker}) {
    if (r->Contains(addr))
      return r;
  }
  return nullptr;
}

FlashRegion* Device::FindRegion(std::uint32_t addr) {
  return const_cast<FlashRegion*>(std::as_const(*this).FindRegion(addr));
}

int Device::ParaIndexAt(std::uint32_t addr) const {
  for (std::size_t i = 0; i < para.size(); ++i) {
    if (para[i].primary.address == addr)
      return static_cast<int>(i);
  }
  return -1;
}

std::size_t Device::AppImageOffset() const {
  const std::size_t units = bootloader.sizeCode == 0xFF ? 16 : bootloader.sizeCode;
  return units < 16 ? 0 : units * 256 - 4096;
}

void Device::TakeAppIdentity(AppArea& area) const {
  const std::size_t base = AppImageOffset();
  area.version = link::ReadU32(area.image, base + kAppVersionOffset).value_or(0);
  area.model.fill(0);
  if (base + kAppModelOffset + area.model.size() <= area.image.size()) {
    std::memcpy(area.model.data(), area.image.data() + base + kAppModelOffset, area.model.size());
  }
}

void Device::EnsureE2prom() {
  if (UsesE2() && e2prom.size() != kE2Size)
    e2prom.resize(kE2Size, 0xFF);
}

std::array<AreaEntry, kAreaEntries> DefaultAreaTable() {
  std::array<AreaEntry, kAreaEntries> table{};
  for (std::uint32_t i = 0; i < kMaxParaAreas; ++i) {
    table[i].areaAddr = 0x18010000 + i * 0x10000;
    table[i].areaLen = 0x18110000 + i * 0x10000;
    table[i].areaArg = kParaAreaCapacity;
    table[i].fileName = std::to_string(i + 1) + ".dat";
  }
  table[kResourceEntry] = {0x18300000, 0x18210000, 0, "Res.rom"};
  table[kAppEntry] = {0x18400000, kAppCapacity, 0, "App.bin"};
  return table;
}

void LayOutRegions(Device& device, std::size_t paraCount) {
  paraCount = std::min(paraCount, kMaxParaAreas);
  device.para.assign(paraCount, {});
  for (std::size_t i = 0; i < paraCount; ++i) {
    const AreaEntry& e = device.areas[i];
    ParaArea& area = device.para[i];
    area.primary.address = e.areaAddr;
    if (e.areaLen > e.areaAddr) {
      // The second value lies beyond the area: the address of its second copy.
      area.primary.capacity = kParaAreaCapacity;
      area.copy = {e.areaLen, kParaAreaCapacity, {}};
    } else {
      // Otherwise it is the length of the area, which then has no second copy.
      area.primary.capacity = e.areaLen != 0 ? e.areaLen : kParaAreaCapacity;
    }
  }
  device.resource = {device.areas[kResourceEntry].areaAddr, kResourceCapacity, {}};
  device.e2Copy = {device.areas[kResourceEntry].areaLen, static_cast<std::uint32_t>(kE2Size), {}};
  device.marker = {link::kFlashMarkerAddress, kMarkerCapacity, {}};
  // No region runs into the next one.
  std::vector<FlashRegion*> regions = {&device.resource, &device.e2Copy, &device.marker};
  for (ParaArea& a : device.para) {
    regions.push_back(&a.primary);
    if (a.copy.capacity > 0)
      regions.push_back(&a.copy);
  }
  for (FlashRegion* r : regions) {
    for (const FlashRegion* other : regions) {
      if (other != r && other->address > r->address && other->address - r->address < r->capacity) {
        r->capacity = other->address - r->address;
      }
    }
  }
}

std::uint32_t Device::AppCapacity() const {
  const std::uint32_t len = areas[kAppEntry].areaLen;
  return len != 0 ? len : kAppCapacity;
}

}  // namespace tavro::sim
