// The real and the virtual time sources behind platform/clock.h.
#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {
namespace {

uint64_t SystemTick(void*) {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
std::time_t SystemWall(void*) {
    return std::time(nullptr);
}
void SystemSleep(void*, uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

const TimeSource kSystem{SystemTick, SystemWall, SystemSleep, nullptr};
std::atomic<const TimeSource*> g_current{&kSystem};

std::atomic_ref<uint64_t> TickRef(uint64_t& t) {
    return std::atomic_ref<uint64_t>(t);
}

}  // namespace

const TimeSource& SystemTime() {
    return kSystem;
}
const TimeSource& Clock() {
    return *g_current.load(std::memory_order_acquire);
}
void SetClock(const TimeSource* source) {
    g_current.store(source ? source : &kSystem, std::memory_order_release);
}

VirtualTime::VirtualTime(std::time_t wallStart, uint64_t tickStart)
    : tick_(tickStart), wallStart_(wallStart), tickStart_(tickStart) {
    source.ctx = this;
    source.tickMs = [](void* ctx) { return static_cast<VirtualTime*>(ctx)->Tick(); };
    source.wallSeconds = [](void* ctx) { return static_cast<VirtualTime*>(ctx)->Wall(); };
    source.sleepMs = [](void* ctx, uint32_t ms) { static_cast<VirtualTime*>(ctx)->Advance(ms); };
}

void VirtualTime::Advance(uint64_t ms) {
    TickRef(tick_).fetch_add(ms);
}
uint64_t VirtualTime::Tick() const {
    return TickRef(const_cast<uint64_t&>(tick_)).load();
}
std::time_t VirtualTime::Wall() const {
    return wallStart_ + static_cast<std::time_t>((Tick() - tickStart_) / 1000);
}

ScopedClock::ScopedClock(const TimeSource& source) : previous_(&Clock()) {
    SetClock(&source);
}
ScopedClock::~ScopedClock() {
    SetClock(previous_);
}

}  // namespace platform
