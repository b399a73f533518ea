#pragma once
// What the campaign compares and checks: the terminal's contents as an
// upgrade must leave them, the files a backup wrote, and what must never be
// left in or beside the program directory.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/byte_order.hpp"
#include "sim/device_model.hpp"

namespace tavro::chaos {

// The terminal's App and data, with the download's time stamps blanked
// (Flash area headers keep them at 48..63, the E2PROM header at 18..31).
struct TerminalState {
  std::uint16_t bootloader = 0;
  link::Bytes app;
  std::vector<link::Bytes> data;
  bool operator==(const TerminalState&) const = default;
};
TerminalState StateOf(const sim::Device& device);
// Where two states differ, in a few words.
std::string Difference(const TerminalState& got, const TerminalState& want);

// Every regular file under `dir`, by path relative to it, with a digest of
// its content.
std::map<std::string, std::uint64_t> FileDigests(const std::string& dir);
// The digests of the files that are new or changed from `before` to
// `after`, outside the run log, sorted; what a backup wrote.
std::vector<std::uint64_t> WrittenContents(const std::map<std::string, std::uint64_t>& before,
                                           const std::map<std::string, std::uint64_t>& after);

// Scratch folders and temporary files left in `dir`, and entries beside it
// whose names begin with its own (a path joined without its separator).
std::vector<std::string> Leftovers(const std::string& dir);

}  // namespace tavro::chaos
