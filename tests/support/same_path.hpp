#pragma once
// Whether two paths name the same file or folder, however they are written
// ("/" or "\\", links, "..", a drive's spelling); for one that is not there,
// its name and the folder it would be in.

#include <filesystem>
#include <string>
#include <system_error>

namespace tavro::test {

inline bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  const std::filesystem::path pa(a), pb(b);
  if (std::filesystem::exists(pa, ec) && std::filesystem::exists(pb, ec))
    return std::filesystem::equivalent(pa, pb, ec);
  return pa.filename() == pb.filename() && !pa.filename().empty() &&
         SamePath(pa.parent_path().string(), pb.parent_path().string());
}

}  // namespace tavro::test
