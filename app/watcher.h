// The RestartTriggerWatcher: a background thread that lives as long as the sheet. Every 500 ms it
// reads ConfigurationUpdateTriggerRestart; a stamp greater than the one it has seen means that
// another process asked for a configuration reload, and the console relaunches itself (the sheet
// is abandoned, nothing is saved). Each pass also runs the refresh of the cached outbound queue
// size. The main thread and the watcher share only the two flags below, the seen stamp and the
// cached queue size.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace app {

inline constexpr uint32_t kWatcherPassMs = 500;
inline constexpr uint32_t kWatcherStopPollMs = 1000;  // the main thread's wait for the end ...
inline constexpr int kWatcherStopPolls = 30;          // ... at most this many times

// What the watcher does, each replaceable for tests. Empty members take the defaults.
struct WatcherHooks {
    // ConfigurationUpdateTriggerRestart of section ZIZOD (default: through the support library,
    // at most 499 characters).
    std::function<std::string()> readTrigger;
    // A newer stamp was seen. Default: RelaunchConsole(), which does not return; when a hook
    // returns, the watcher ends.
    std::function<void()> relaunch;
    // One pass of the queue-size refresh. Default: the refresh of the cached queue size over the
    // support library's directories, begun when the watcher starts.
    std::function<void()> refresh;
    // The pause after each pass. Default: platform::SleepMs.
    std::function<void(uint32_t ms)> pause;
    // Called on the watcher thread right after it set WatcherFinished, as its last act.
    std::function<void()> finished;
};

// The comparison of two stamps: case-insensitive, by character; < 0, 0 or > 0.
int CompareStamps(std::string_view a, std::string_view b);

// Starts the console's own executable (/proc/self/exe) without arguments and ends this process
// at once with exit status 0.
[[noreturn]] void RelaunchConsole();

// Start-up of a relaunched console: when the parent process runs this same program (the console
// that relaunched us), waits until it has ended, at most `timeoutMs` of real time, so that two
// consoles never work on the same files at once. A relaunch has no arguments: a run with some
// (`arguments`, the text after the program name) never waits, since the elevated re-run of a
// service switch is also a child of a console, one that waits for it in turn. True when this run
// is such a relaunch (whether or not the parent ended in time).
bool WaitForRelaunchingParent(std::string_view arguments, uint32_t timeoutMs);

class RestartTriggerWatcher {
  public:
    RestartTriggerWatcher();
    // A watcher still running is left to end by itself (it only touches its own shared state).
    ~RestartTriggerWatcher();
    RestartTriggerWatcher(const RestartTriggerWatcher&) = delete;
    RestartTriggerWatcher& operator=(const RestartTriggerWatcher&) = delete;

    // Clears WatcherStopRequested and starts the thread.
    void Start(WatcherHooks hooks = {});
    // Sets WatcherStopRequested.
    void RequestStop();
    // WatcherFinished.
    bool Finished() const;
    // The shutdown wait: sets WatcherStopRequested, then tests WatcherFinished and, while it is
    // clear, sleeps 1,000 ms (`sleep`, default platform::SleepMs), at most 30 times. True when
    // the watcher finished; otherwise it is left running and shutdown carries on.
    bool StopAndWait(const std::function<void(uint32_t ms)>& sleep = {});

    struct Shared {
        std::atomic<bool> stopRequested{false};
        std::atomic<bool> finished{false};
    };

  private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace app
