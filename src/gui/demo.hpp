#pragma once
// The demonstration set-up: a sample program directory made from the
// shipped package sources, and a simulated terminal serving on a pseudo
// terminal that the port list shows as a COM port (TAVRO_COM<n> alias).
// Everything lives in one temporary folder removed at the end.

#include <cstdint>
#include <memory>
#include <string>

#include "sim/sample_program_dir.hpp"

namespace tavro::gui {

using sim::MakeSampleProgramDir;

// The highest COM number from `preferred` downwards that no serial device or
// alias uses; 0 when there is none.
std::uint32_t FreeComNumber(std::uint32_t preferred);

class DemoTerminal {
 public:
  // Makes the folder, the program directory and the terminal, starts serving
  // and sets TAVRO_COM<n> to the pseudo terminal. Null with `error` set when
  // any step fails.
  static std::unique_ptr<DemoTerminal> Start(const std::string& packageDir, std::string& error);
  // Stops the terminal and removes the folder.
  ~DemoTerminal();
  DemoTerminal(const DemoTerminal&) = delete;
  DemoTerminal& operator=(const DemoTerminal&) = delete;

  // Ends the simulated terminal: its pseudo terminal goes away as a pulled
  // USB adapter would. The folder stays until destruction.
  void StopTerminal();

  const std::string& programDir() const { return programDir_; }
  std::uint32_t comNumber() const { return com_; }
  const std::string& folder() const { return folder_; }

 private:
  struct Server;
  DemoTerminal() = default;

  std::string folder_;
  std::string programDir_;
  std::uint32_t com_ = 0;
  bool aliasSet_ = false;
  std::unique_ptr<Server> server_;
};

}  // namespace tavro::gui
