// Runs a RestartTriggerWatcher in step with a test's virtual time: the watcher's pause between two
// passes lasts until the test has moved its time on by that much, and every Advance returns only
// once the watcher has run each pass that fell due and is pausing again (or has ended). So what
// the watcher did is settled when Advance returns, whatever the machine's speed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "app/watcher.h"

namespace apptest {

class WatcherStepper {
  public:
    // `hooks` with the pause and the end notice of this stepper.
    app::WatcherHooks Hooks(app::WatcherHooks hooks) {
        hooks.pause = [this](uint32_t ms) { Pause(ms); };
        hooks.finished = [this] { Finished(); };
        return hooks;
    }

    // Lets the watcher run every pass that falls due within `ms`.
    void Advance(uint64_t ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        const uint64_t target = now_ + ms;
        for (;;) {
            WaitFor(lock, [&] { return passes_ > 0 || finished_; });
            if (finished_ || wakeAt_ > target) {
                now_ = target;
                return;
            }
            const uint64_t pass = passes_;
            now_ = wakeAt_;
            changed_.notify_all();
            WaitFor(lock, [&] { return passes_ > pass || finished_; });
        }
    }

    // A stop was requested: pauses end at once from now on.
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    // The shutdown's sleep: waits until the watcher has ended.
    void WaitFinished() {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitFor(lock, [&] { return finished_; });
    }

    bool finished() {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_;
    }

  private:
    void Pause(uint32_t ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        wakeAt_ = now_ + ms;
        ++passes_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_ || now_ >= wakeAt_; });
    }

    void Finished() {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // A safety net only: a watcher that hangs fails the test instead of blocking it forever.
    template <typename Predicate>
    void WaitFor(std::unique_lock<std::mutex>& lock, Predicate done) {
        changed_.wait_for(lock, std::chrono::seconds(20), done);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t now_ = 0;
    uint64_t wakeAt_ = 0;
    uint64_t passes_ = 0;  // pauses begun
    bool released_ = false;
    bool finished_ = false;
};

}  // namespace apptest
