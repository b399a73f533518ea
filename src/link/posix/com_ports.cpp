#include "link/com_ports.hpp"

#include <cstdlib>
#include <cstring>
#include <string_view>

extern char** environ;

namespace tavro::link {
namespace {

struct DeviceBlock {
  std::string_view prefix;    // device path without its number
  std::uint32_t firstCom;     // COM number of device 0
  std::uint32_t deviceCount;  // devices 0..deviceCount-1 have a number
};

constexpr DeviceBlock kBlocks[] = {
    {"/dev/ttyS", 1, 32},
    {"/dev/ttyUSB", 33, 32},
    {"/dev/ttyACM", 65, kLastComNumber - 65 + 1},
};

// Decimal digits without a sign or leading zeros ("0" itself is allowed), so
// that every number has exactly one spelling.
std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 9)
    return std::nullopt;
  if (text.size() > 1 && text[0] == '0')
    return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

bool InComRange(std::uint32_t n) {
  return n >= kFirstComNumber && n <= kLastComNumber;
}

}  // namespace

std::string BuiltInComDevicePath(std::uint32_t n) {
  for (const DeviceBlock& block : kBlocks) {
    if (n >= block.firstCom && n - block.firstCom < block.deviceCount) {
      return std::string(block.prefix) + std::to_string(n - block.firstCom);
    }
  }
  return {};
}

std::optional<std::uint32_t> BuiltInComNumber(const std::string& devicePath) {
  const std::string_view path(devicePath);
  for (const DeviceBlock& block : kBlocks) {
    if (!path.starts_with(block.prefix))
      continue;
    const auto k = ParseDecimal(path.substr(block.prefix.size()));
    if (!k || *k >= block.deviceCount)
      return std::nullopt;
    return block.firstCom + *k;
  }
  return std::nullopt;
}

std::map<std::uint32_t, std::string> ComAliases() {
  std::map<std::uint32_t, std::string> aliases;
  const std::string_view prefix(kComAliasPrefix);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with(prefix))
      continue;
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
      continue;
    const auto n = ParseDecimal(text.substr(prefix.size(), equals - prefix.size()));
    const std::string_view path = text.substr(equals + 1);
    if (!n || !InComRange(*n) || path.empty())
      continue;
    aliases.emplace(*n, std::string(path));
  }
  return aliases;
}

std::string ComDevicePath(std::uint32_t n) {
  if (!InComRange(n))
    return {};
  const std::string name = std::string(kComAliasPrefix) + std::to_string(n);
  const char* alias = std::getenv(name.c_str());
  if (alias != nullptr && *alias != '\0')
    return alias;
  return BuiltInComDevicePath(n);
}

std::string CanonicalDevicePath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr)
    return path;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

std::optional<std::uint32_t> ComNumberForDevice(
    const std::string& devicePath, const std::map<std::uint32_t, std::string>& aliases) {
  const std::string wanted = CanonicalDevicePath(devicePath);
  for (const auto& [n, aliasPath] : aliases) {
    if (aliasPath == devicePath || CanonicalDevicePath(aliasPath) == wanted)
      return n;
  }
  auto builtIn = BuiltInComNumber(devicePath);
  if (!builtIn)
    builtIn = BuiltInComNumber(wanted);
  if (builtIn && aliases.count(*builtIn) == 0)
    return builtIn;
  return std::nullopt;
}

std::optional<std::uint32_t> ComNumberForDevice(const std::string& devicePath) {
  return ComNumberForDevice(devicePath, ComAliases());
}

}  // namespace tavro::link
