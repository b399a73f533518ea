#pragma once
// `tavro-sim serve`: one terminal on a pseudo terminal, in real time. The
// PC side opens the slave end as its serial port; the server keeps serving
// while the PC closes and reopens it.

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tavro::sim {

struct ServeOptions {
  std::string dir;                  // profile folder
  std::uint32_t com = 200;          // COM number announced for the front ends
  bool fast = false;                // write replies at once instead of at the line rate
  std::string tracePath;            // trace file, none when empty
  std::uint32_t baud = 115200;      // line rate the output is paced to
  std::string linkPath;             // symbolic link kept pointing at the slave end
  std::uint32_t replugMs = 2000;    // adapter removed: time until a new one appears
  std::uint32_t powerOffMs = 2000;  // power cut: time until the terminal is on again
  std::vector<std::string> faults;  // "Key=Value", as in the profile's [Faults]
  // Called with the slave path whenever a pseudo terminal is ready (tests).
  std::function<void(const std::string& slavePath)> onReady;
};

class ServeSession {
 public:
  explicit ServeSession(ServeOptions options);
  ~ServeSession();
  ServeSession(const ServeSession&) = delete;
  ServeSession& operator=(const ServeSession&) = delete;

  // Serves until Stop(); prints the slave path and "TAVRO_COM<n>=<path>" on
  // `out`. Returns the exit code; what went wrong goes to `err`.
  int Run(std::ostream& out, std::ostream& err);
  // Ends Run from any thread or from a signal handler.
  void Stop();

 private:
  struct Impl;
  ServeOptions pending_;
  std::unique_ptr<Impl> impl_;
  int stopPipe_[2] = {-1, -1};
};

}  // namespace tavro::sim
