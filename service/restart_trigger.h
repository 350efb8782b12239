// The configuration restart stamp: the 14-digit local time that RestartSMSService writes as
// ConfigurationUpdateTriggerRestart in section ZIZOD of ZIZOD.INI, and the last stamp this
// console has seen (RestartTriggerSeen). The restart watcher sets the seen stamp when it starts
// and compares every later reading with it; RestartSMSService overwrites it with the stamp it
// writes itself, so that a restart ordered from this console does not relaunch it.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace service {

inline constexpr const char* kRestartTriggerSection = "ZIZOD";
inline constexpr const char* kRestartTriggerKey = "ConfigurationUpdateTriggerRestart";
// The longest seen stamp kept; longer texts are cut.
inline constexpr std::size_t kRestartTriggerSeenMax = 50;

// "%04d%02d%02d%02d%02d%02d" of `when` in local time.
std::string RestartStamp(std::time_t when);

// The seen stamp, shared between the main thread and the watcher (thread-safe).
std::string RestartTriggerSeen();
void SetRestartTriggerSeen(std::string_view stamp);

}  // namespace service
