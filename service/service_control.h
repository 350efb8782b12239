// Control of the gateway service "ZelmoSMS": register, remove, start, stop and restart it, and ask
// whether it is registered and active. Every operation opens what it needs from the service
// manager (platform/service_manager.h) and lets go of it before it returns; nothing is kept
// between calls. The operations block the calling thread: a start or stop waits up to 120 polls
// of one second, a re-run with rights up to 60 seconds (all on the injectable clock).
//
// A caller without the rights to change services is offered a re-run of the console with them
// ("pkexec <console> /SWITCH", after a Yes to ConfirmElevation); a call made because the console
// was started with such a switch (`fromCommandLine`) never re-runs again but shows the rights
// message. Problems are reported here, in message boxes; callers add none.
#pragma once

#include <cstdint>
#include <string>

namespace service {

inline constexpr const char* kServiceName = "ZelmoSMS";
inline constexpr const char* kServiceDisplayName = "Zelmo SMS/MMS Gateway";
inline constexpr int kServicePolls = 120;          // at most this many polls per wait
inline constexpr uint32_t kPollIntervalMs = 1000;  // sleep between two polls
inline constexpr uint32_t kRerunWaitMs = 60000;    // wait for the re-run with rights
inline constexpr uint32_t kRestartPauseMs = 2000;  // between the stop and the start of a restart

// Registers the service (or re-applies its settings when it exists: display name, executable,
// automatic start) and asks it to start without waiting. Runs the firewall helper "zureveri"
// first when the program directory has one. 1 on success, 0 on failure (reported).
int InstallSMSService(bool fromCommandLine);
// Stops the service (waiting for it) and deletes its registration. 1 when it was not installed
// (nothing asked, nothing shown) or has been deleted; 0 on failure.
int RemoveSMSService(bool fromCommandLine);
// Asks the service to start and waits until it is active (start-pending counts). A refused start
// shows "Error N starting service" and still waits.
void StartSMSService(bool fromCommandLine);
// Asks the service to stop, with the stop byte of the gateway's status block as well, and waits
// until it is no longer active.
void StopSMSService(bool fromCommandLine);
// Writes a new ConfigurationUpdateTriggerRestart (always, first), stores it as the seen stamp,
// then stops and starts the service under the wait cursor.
void RestartSMSService(bool fromCommandLine);

// 1 when the service is running, start-pending or stop-pending; else 0 (also when not installed).
int IsSMSServiceActive();
// 1 when a service of that name is registered; else 0.
int IsSMSServiceInstalled();
// 1 when a re-run with rights is possible (pkexec on the PATH).
int IsElevationCapableSystem();
// Asks whether to continue with administrator rights; 1 only for Yes.
int ConfirmElevation();

// The directory of the gateway's executables ("smsgwnt", "smsgws", "zureveri"), with a trailing
// "/": the console's program directory unless set here. An empty text restores that default.
void SetGatewayProgramDirectory(const std::string& directory);
std::string GatewayProgramDirectory();
// The executable registered for the service: GatewayProgramDirectory() + "smsgwnt".
std::string GatewayExecutablePath();

// ZIZOD.INI in the program data directory of the support library; "" when there is none.
std::string ZizodIniPath();

}  // namespace service
