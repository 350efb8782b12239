// The injectable time source. Code that waits or asks for "now" takes its time from here (or from
// an argument), so that tests can run minutes of waiting in virtual time.
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// A table of time entry points. `ctx` is handed back to every call.
struct TimeSource {
    uint64_t (*tickMs)(void* ctx);          // monotonic milliseconds (the "tick count")
    std::time_t (*wallSeconds)(void* ctx);  // calendar time, seconds since the epoch
    void (*sleepMs)(void* ctx, uint32_t ms);
    void* ctx;
};

// The real clock: steady_clock ticks, time(), nanosleep.
const TimeSource& SystemTime();

// The process-wide time source; the real clock unless a test installed another.
const TimeSource& Clock();
// Installs `source` as the process-wide time source; null restores the real clock. The caller
// keeps `source` alive while it is installed.
void SetClock(const TimeSource* source);

inline uint64_t TickMs() {
    return Clock().tickMs(Clock().ctx);
}
inline std::time_t WallSeconds() {
    return Clock().wallSeconds(Clock().ctx);
}
inline void SleepMs(uint32_t ms) {
    Clock().sleepMs(Clock().ctx, ms);
}

// Virtual time for tests: sleeping advances both clocks at once and returns immediately.
// Thread-safe: the counters are atomic.
struct VirtualTime {
    explicit VirtualTime(std::time_t wallStart = 1700000000, uint64_t tickStart = 1000000);
    TimeSource source;
    void Advance(uint64_t ms);
    uint64_t Tick() const;
    std::time_t Wall() const;

  private:
    alignas(8) uint64_t tick_;  // accessed atomically
    std::time_t wallStart_;
    uint64_t tickStart_;
};

// Installs a time source for the lifetime of the object, restoring the previous one after.
class ScopedClock {
  public:
    explicit ScopedClock(const TimeSource& source);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

  private:
    const TimeSource* previous_;
};

}  // namespace platform
