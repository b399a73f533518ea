#include "chaos/oracle.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tavro::chaos {
namespace fs = std::filesystem;

TerminalState StateOf(const sim::Device& d) {
  TerminalState s;
  s.bootloader = d.bootloader.version;
  s.app = d.app.present ? d.app.image : link::Bytes{};
  if (d.UsesE2()) {
    link::Bytes e2 = d.e2prom;
    if (e2.size() >= 32)
      std::fill(e2.begin() + 18, e2.begin() + 32, 0);
    s.data.push_back(std::move(e2));
  } else {
    for (const sim::ParaArea& area : d.para) {
      link::Bytes bytes = area.primary.bytes;
      if (bytes.size() >= 64)
        std::fill(bytes.begin() + 48, bytes.begin() + 64, 0);
      s.data.push_back(std::move(bytes));
    }
  }
  return s;
}

std::string Difference(const TerminalState& got, const TerminalState& want) {
  if (got.bootloader != want.bootloader)
    return "bootloader " + std::to_string(got.bootloader) + " instead of " +
           std::to_string(want.bootloader);
  if (got.app != want.app)
    return "App of " + std::to_string(got.app.size()) + " bytes differs from the expected " +
           std::to_string(want.app.size());
  if (got.data.size() != want.data.size())
    return std::to_string(got.data.size()) + " data images instead of " +
           std::to_string(want.data.size());
  for (std::size_t i = 0; i < got.data.size(); ++i) {
    const link::Bytes& a = got.data[i];
    const link::Bytes& b = want.data[i];
    if (a == b)
      continue;
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return "data image " + std::to_string(i + 1) + " differs at byte " +
           std::to_string(at.first - a.begin()) + " (" + std::to_string(a.size()) + " vs " +
           std::to_string(b.size()) + " bytes)";
  }
  return "no difference";
}

namespace {

std::uint64_t Digest(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::uint64_t h = 1469598103934665603ull;
  char buffer[8192];
  std::uint64_t size = 0;
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i)
      h = (h ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    size += static_cast<std::uint64_t>(in.gcount());
  }
  return h ^ (size << 1);
}

}  // namespace

std::map<std::string, std::uint64_t> FileDigests(const std::string& dir) {
  std::map<std::string, std::uint64_t> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec))
      out[fs::relative(it->path(), dir, ec).generic_string()] = Digest(it->path());
  }
  return out;
}

std::vector<std::uint64_t> WrittenContents(const std::map<std::string, std::uint64_t>& before,
                                           const std::map<std::string, std::uint64_t>& after) {
  std::vector<std::uint64_t> out;
  for (const auto& [path, digest] : after) {
    if (path.find("AppRunLog") != std::string::npos)
      continue;
    const auto it = before.find(path);
    if (it == before.end() || it->second != digest)
      out.push_back(digest);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const bool scratch = it->is_directory(ec) && (name == "Temp" || name.rfind("Temp-", 0) == 0);
    const bool temporary =
        name.size() > 1 && name[0] == '.' && name.find(".tmp") != std::string::npos;
    if (scratch || temporary)
      out.push_back(fs::relative(it->path(), dir, ec).generic_string());
  }
  const fs::path self(dir);
  const std::string base = self.filename().string();
  for (fs::directory_iterator it(self.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name != base && name.rfind(base, 0) == 0)
      out.push_back("../" + name);
  }
  return out;
}

}  // namespace tavro::chaos
