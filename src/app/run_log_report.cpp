#include "app/run_log_report.hpp"

namespace tavro::app {

bool OpenRunLogOrReport(data::RunLog& log, platform::Messages& messages,
                        const std::string& programDir, std::time_t startTime,
                        std::uint32_t comPort) {
  if (log.Open(programDir, startTime, comPort))
    return true;
  messages.MessageBox(log.Path() + messages.Text("Log_CreateErr"), platform::kBoxError);
  return false;
}

}  // namespace tavro::app
