// The operating system's service manager: registering, changing, starting, stopping, querying and
// deleting a background service. One table of entry points with two implementations, chosen at
// run time:
//   "systemd" (when /run/systemd/system exists): a unit NAME.service in the unit directory,
//             enabled for automatic start, driven and queried with systemctl;
//   "local"   (everywhere else): a supervisor of our own whose registry is R/Services/NAME/ under
//             the data root; it starts the executable detached in a session of its own.
// The environment variable ZELMOSMS_SERVICE_MANAGER ("systemd" or "local") overrides the choice.
//
// Error codes are 0 for success, EACCES when the caller lacks the rights (the manager "cannot be
// opened with full access"), ENOENT when the service is not registered, otherwise the errno of
// the failure (local) or the exit status of systemctl (systemd).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

enum class ServiceState { Stopped, StartPending, Running, StopPending, Paused };

// What is registered for a service: it runs `executable` without arguments, starts
// automatically, and is shown as `displayName`.
struct ServiceSettings {
    std::string name;
    std::string displayName;
    std::string executable;
};

struct ServiceManager {
    const char* name;  // "systemd" or "local"
    // 0 when the caller may register, change and delete services (full access to the manager).
    uint32_t (*openManager)();
    // 0 when the service is registered and the caller may control and change it; ENOENT when it
    // is not registered; EACCES when rights are missing.
    uint32_t (*openService)(const std::string& service);
    // True when a service of that name is registered (needs only read access).
    bool (*installed)(const std::string& service);
    uint32_t (*create)(const ServiceSettings& settings);
    uint32_t (*change)(const ServiceSettings& settings);
    // Asks the service to start; does not wait for it to run. Starting a running service is no
    // error; starting one that is still stopping is (local: EBUSY).
    uint32_t (*start)(const std::string& service);
    // Asks the service to stop; does not wait for it to end.
    uint32_t (*stop)(const std::string& service);
    // Deletes the registration. A service process still running is ended first.
    uint32_t (*remove)(const std::string& service);
    // The current state; false when the service is not registered or cannot be queried.
    bool (*query)(const std::string& service, ServiceState* state);
};

const ServiceManager& SystemdServiceManager();
const ServiceManager& LocalServiceManager();

// The implementation of that name ("systemd", "local"), or null.
const ServiceManager* FindServiceManager(std::string_view name);
// The implementation in use: ZELMOSMS_SERVICE_MANAGER when it names one, else systemd when
// /run/systemd/system exists, else the local supervisor. Decided afresh on every call.
const ServiceManager& CurrentServiceManager();

// The directory that holds systemd unit files (default /etc/systemd/system). An empty text
// restores the default; tests point it at a scratch directory.
void SetSystemdUnitDirectory(const std::string& directory);
std::string SystemdUnitDirectory();

// The unit file text written for `settings` (quoted so that no path can add directives).
std::string SystemdUnitText(const ServiceSettings& settings);

// True when this process can create files in `directory`: tried with a probe file, not guessed
// from mode bits, so that it holds for every user and capability set.
bool DirectoryWritable(const std::string& directory);

// The local supervisor's registry directory of all services: R/Services/ (trailing "/").
std::string LocalServiceRegistry();

// How long the local supervisor lets a stopping service take after SIGTERM before it ends the
// process group with SIGKILL (counted on the injectable clock, seen by the next query).
inline constexpr int kLocalStopGraceSeconds = 30;

}  // namespace platform
