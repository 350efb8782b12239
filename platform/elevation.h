// Running the console again with administrator rights: "pkexec <console executable> SWITCH".
// The system counts as able to elevate when pkexec is on the PATH.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// True when pkexec is found on the PATH.
bool ElevationAvailable();

// Starts "pkexec <own executable> <argument>" and waits for it at most `timeoutMs` (injectable
// clock). Returns true when it was started; `*finished` tells whether it ended within the wait
// and `*exitStatus` its exit status then (-1 when it did not end normally). A run still going
// after the wait is left to finish on its own (and reaped in the background).
bool RunElevated(const std::string& argument, uint32_t timeoutMs, bool* finished = nullptr,
                 int* exitStatus = nullptr);

}  // namespace platform
