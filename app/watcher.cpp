// The restart watcher thread and the relaunch; see watcher.h.
#include "app/watcher.h"

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "libs/zozeziv/zozeziv.h"
#include "monitor/counters.h"
#include "platform/clock.h"
#include "platform/spawn.h"
#include "service/restart_trigger.h"

namespace app {
namespace {

constexpr unsigned kTriggerReadSize = 500;

std::string ReadTriggerThroughSupportLibrary() {
    std::vector<char> buffer(kTriggerReadSize, '\0');
    SMSIniGetProfileString(service::kRestartTriggerSection, service::kRestartTriggerKey, "",
                           buffer.data(), kTriggerReadSize);
    return buffer.data();
}

std::string ExecutableOf(pid_t pid) {
    std::error_code ec;
    auto target = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    return ec ? std::string() : target.string();
}

void Watch(std::shared_ptr<RestartTriggerWatcher::Shared> shared, WatcherHooks hooks) {
    shared->finished = false;
    if (!hooks.readTrigger) {
        hooks.readTrigger = ReadTriggerThroughSupportLibrary;
    }
    if (!hooks.relaunch) {
        hooks.relaunch = [] { RelaunchConsole(); };
    }
    if (!hooks.pause) {
        hooks.pause = [](uint32_t ms) { platform::SleepMs(ms); };
    }
    if (!hooks.refresh) {
        auto queue = std::make_shared<monitor::QueueSizeRefresh>(
            monitor::BeginQueueSizeRefresh(monitor::CurrentDataPaths()));
        hooks.refresh = [queue] { monitor::RunQueueSizeRefresh(*queue); };
    }
    service::SetRestartTriggerSeen(hooks.readTrigger());
    while (!shared->stopRequested) {
        if (CompareStamps(hooks.readTrigger(), service::RestartTriggerSeen()) > 0) {
            hooks.relaunch();
            break;  // only a replaced relaunch comes back
        }
        hooks.refresh();
        hooks.pause(kWatcherPassMs);
    }
    shared->finished = true;
    if (hooks.finished) {
        hooks.finished();
    }
}

}  // namespace

int CompareStamps(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

void RelaunchConsole() {
    std::string self = platform::OwnExecutablePath();
    if (!self.empty()) {
        platform::SpawnOptions options;
        options.outputFd = STDERR_FILENO;
        pid_t pid = platform::SpawnChild({self}, options);
        (void)pid;  // the new console outlives us; its new parent reaps it
    }
    std::_Exit(0);
}

bool WaitForRelaunchingParent(std::string_view arguments, uint32_t timeoutMs) {
    if (!arguments.empty()) {
        return false;
    }
    pid_t parent = ::getppid();
    std::string self = platform::OwnExecutablePath();
    if (parent <= 1 || self.empty() || ExecutableOf(parent) != self) {
        return false;
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // When the relaunching console has ended we are handed to another parent.
    while (::getppid() == parent && std::chrono::steady_clock::now() < until) {
        ::usleep(10000);
    }
    return true;
}

RestartTriggerWatcher::RestartTriggerWatcher() : shared_(std::make_shared<Shared>()) {}

RestartTriggerWatcher::~RestartTriggerWatcher() {
    if (thread_.joinable()) {
        if (shared_->finished) {
            thread_.join();
        } else {
            thread_.detach();
        }
    }
}

void RestartTriggerWatcher::Start(WatcherHooks hooks) {
    if (thread_.joinable()) {
        return;
    }
    shared_->stopRequested = false;
    shared_->finished = false;
    thread_ = std::thread(Watch, shared_, std::move(hooks));
}

void RestartTriggerWatcher::RequestStop() {
    shared_->stopRequested = true;
}

bool RestartTriggerWatcher::Finished() const {
    return shared_->finished;
}

bool RestartTriggerWatcher::StopAndWait(const std::function<void(uint32_t ms)>& sleep) {
    RequestStop();
    if (!thread_.joinable()) {
        return true;
    }
    for (int i = 0; i < kWatcherStopPolls && !shared_->finished; ++i) {
        if (sleep) {
            sleep(kWatcherStopPollMs);
        } else {
            platform::SleepMs(kWatcherStopPollMs);
        }
    }
    if (!shared_->finished) {
        thread_.detach();
        return false;
    }
    thread_.join();
    return true;
}

}  // namespace app
