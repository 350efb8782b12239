// The restart stamp and the seen value shared by the main thread and the restart watcher.
#include "service/restart_trigger.h"

#include <cstdio>
#include <mutex>

namespace service {
namespace {

std::mutex g_mutex;
std::string g_seen;

}  // namespace

std::string RestartStamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string RestartTriggerSeen() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_seen;
}

void SetRestartTriggerSeen(std::string_view stamp) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_seen.assign(stamp.substr(0, kRestartTriggerSeenMax));
}

}  // namespace service
