#pragma once
// A terminal kept in a folder: the INI file "terminal.ini" with the
// terminal's identity, its area table, its behaviour and faults, and one
// image file per memory region. The folder is the terminal's non-volatile
// memory: what it holds after a power cut is what the terminal keeps.

#include <string>
#include <vector>

#include "sim/behaviour.hpp"
#include "sim/device_model.hpp"
#include "sim/faults.hpp"
#include "sim/terminal.hpp"

namespace tavro::sim {

inline constexpr const char* kProfileIni = "terminal.ini";

struct Profile {
  Device device;
  Behaviour behaviour;
  Faults faults;
};

// The image file of a part of the device ("app.bin", "para2-copy.bin", ...).
std::string PartFileName(Changed part);

// Reads the profile in `dir`. Nothing from the files is trusted: a value
// that cannot be read or an image that does not fit its region fails the
// load with `error` naming the file and what is wrong.
bool LoadProfile(const std::string& dir, Profile& out, std::string& error);

// Writes the whole profile: the INI and every image file, each whole.
bool SaveProfile(const std::string& dir, const Profile& profile, std::string& error);

// Keeps a profile folder in step with a running terminal: after every
// accepted write the changed image and, when the identity changed, the INI
// are written whole. The behaviour and faults written back are those the
// profile was created with, not faults added for one run.
class ProfileStore {
 public:
  ProfileStore(std::string dir, Behaviour behaviour, Faults faults);
  bool Save(const Device& device, Changed changed);
  // Text of the last failure; empty while every save succeeded.
  const std::string& LastError() const { return error_; }

 private:
  std::string dir_;
  Behaviour behaviour_;
  Faults faults_;
  std::string error_;
};

// The INI text of a profile (what SaveProfile writes as terminal.ini).
std::string ProfileIniText(const Device& device, const Behaviour& behaviour, const Faults& faults);

}  // namespace tavro::sim
