#pragma once
// Opening the run log at start-up, with the message a technician sees when
// the log cannot be created.

#include <cstdint>
#include <ctime>
#include <string>

#include "data/run_log.hpp"
#include "platform/messages.hpp"

namespace tavro::app {

// Opens the log; on failure shows "<path>" + Text("Log_CreateErr") in an
// error box and returns false, after which the caller runs the window's close
// routine.
bool OpenRunLogOrReport(data::RunLog& log, platform::Messages& messages,
                        const std::string& programDir, std::time_t startTime,
                        std::uint32_t comPort);

}  // namespace tavro::app
