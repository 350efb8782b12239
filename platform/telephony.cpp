// The telephony line providers: one engine of lines, calls and messages, fed either from the
// host's /dev/serial/by-id links (the Linux provider) or from a test's script.
#include "platform/telephony.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace platform {

struct ScriptedTelephony::State {
    struct Call {
        uint32_t line = 0;
        int link = -1;
    };
    ScriptedTelephony* owner = nullptr;
    mutable std::mutex lock;
    uint32_t next = 1;
    std::map<uint32_t, std::deque<uint32_t>> apps;  // instance -> pending messages
    std::map<uint32_t, std::size_t> lines;          // line handle -> device index
    std::map<uint32_t, Call> calls;
    std::vector<std::string> attempts;
};

namespace {

using State = ScriptedTelephony::State;
constexpr uint32_t kFixedCapsSize = 256;
constexpr uint32_t kDefaultCapsSize = 1000;

std::string ByIdDirectory() {
    const char* dir = std::getenv("ZELMOSMS_SERIAL_BY_ID");
    return dir && *dir ? dir : "/dev/serial/by-id";
}

// Rebuilds the host's lines and registry from the by-id links.
void RefreshFromHost(ScriptedTelephony* t) {
    t->lines.clear();
    t->registry.clear();
    std::string dir = ByIdDirectory();
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                names.emplace_back(e->d_name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        ScriptedTelephony::Line line;
        line.name = name;
        line.device = dir + "/" + name;
        line.portName = PortNameForDevice(line.device);
        t->lines.push_back(line);
        t->registry.push_back(RegistryModem{name, line.portName});
    }
}

State* S(void* ctx) {
    return static_cast<State*>(ctx);
}

long Initialize(void* ctx, const char*, uint32_t* lineApp, uint32_t* deviceCount) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    if (s->owner->readHostDevices) {
        RefreshFromHost(s->owner);
    }
    if (s->owner->initializeError != 0) {
        return s->owner->initializeError;
    }
    *lineApp = s->next++;
    s->apps[*lineApp];
    *deviceCount = static_cast<uint32_t>(s->owner->lines.size());
    return 0;
}

long Negotiate(void* ctx, uint32_t lineApp, uint32_t device, uint32_t low, uint32_t high,
               uint32_t* version) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    if (!s->apps.count(lineApp) || device >= s->owner->lines.size()) {
        return kLineErrNoDevice;
    }
    if (low > kApiVersion22 || high < kApiVersion13) {
        return kLineErrIncompatibleApiVersion;
    }
    *version = std::min(high, kApiVersion22);
    return 0;
}

long GetDevCaps(void* ctx, uint32_t lineApp, uint32_t device, uint32_t, uint32_t bufferSize,
                uint32_t* neededSize, LineDevCaps* caps) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    if (!s->apps.count(lineApp) || device >= s->owner->lines.size()) {
        return kLineErrNoDevice;
    }
    const auto& line = s->owner->lines[device];
    if (bufferSize < kFixedCapsSize) {
        return kLineErrStructureTooSmall;
    }
    *neededSize = line.capsNeeded ? line.capsNeeded : kDefaultCapsSize;
    if (*neededSize <= bufferSize) {
        caps->lineName = line.name;
        caps->mediaModes = line.mediaModes;
    }
    return 0;
}

long Open(void* ctx, uint32_t lineApp, uint32_t device, uint32_t, uint32_t, uint32_t* line) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    if (!s->apps.count(lineApp) || device >= s->owner->lines.size()) {
        return kLineErrNoDevice;
    }
    s->attempts.push_back(s->owner->lines[device].name);
    if (long e = s->owner->lines[device].openError) {
        return e;
    }
    *line = s->next++;
    s->lines[*line] = device;
    return 0;
}

long GetPortName(void* ctx, uint32_t line, std::string* portName) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    auto it = s->lines.find(line);
    if (it == s->lines.end() || s->owner->lines[it->second].portName.empty()) {
        return kLineErrOperationFailed;
    }
    *portName = s->owner->lines[it->second].portName;
    return 0;
}

long MakeCall(void* ctx, uint32_t line, uint32_t* call) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    *call = 0;
    auto it = s->lines.find(line);
    if (it == s->lines.end()) {
        return kLineErrOperationFailed;
    }
    const auto& def = s->owner->lines[it->second];
    if (def.callError != 0) {
        return def.callError;
    }
    uint32_t request = s->next++;
    if (!def.noCallHandle) {
        State::Call c;
        c.line = line;
        if (!def.noLink) {
            c.link = SerialOpen(def.device);
        }
        *call = s->next++;
        s->calls[*call] = c;
    }
    if (s->owner->sendReplies) {
        for (auto& [app, queue] : s->apps) {
            queue.push_back(kLineReply);
        }
    }
    return static_cast<long>(request);
}

long GetCallLink(void* ctx, uint32_t call, int* link) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    auto it = s->calls.find(call);
    if (it == s->calls.end() || it->second.link < 0) {
        return kLineErrOperationFailed;
    }
    *link = it->second.link;
    it->second.link = -1;  // handed over
    return 0;
}

long Drop(void* ctx, uint32_t call) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    if (!s->calls.count(call)) {
        return kLineErrOperationFailed;
    }
    for (auto& [app, queue] : s->apps) {
        queue.push_back(kLineReply);
    }
    return 1;
}

long Deallocate(void* ctx, uint32_t call) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    auto it = s->calls.find(call);
    if (it == s->calls.end()) {
        return kLineErrOperationFailed;
    }
    LinkClose(it->second.link);
    s->calls.erase(it);
    return 0;
}

long CloseLine(void* ctx, uint32_t line) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    if (!s->lines.erase(line)) {
        return kLineErrOperationFailed;
    }
    for (auto it = s->calls.begin(); it != s->calls.end();) {
        if (it->second.line == line) {
            LinkClose(it->second.link);
            it = s->calls.erase(it);
        } else {
            ++it;
        }
    }
    return 0;
}

long Shutdown(void* ctx, uint32_t lineApp) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    return s->apps.erase(lineApp) ? 0 : kLineErrOperationFailed;
}

long GetMessage(void* ctx, uint32_t lineApp, uint32_t timeoutMs, uint32_t* kind) {
    State* s = S(ctx);
    {
        std::lock_guard<std::mutex> g(s->lock);
        auto it = s->apps.find(lineApp);
        if (it == s->apps.end()) {
            return kLineErrOperationFailed;
        }
        if (!it->second.empty()) {
            *kind = it->second.front();
            it->second.pop_front();
            return 0;
        }
    }
    // Nothing pending and nothing that could arrive from elsewhere: the wait runs out.
    SleepMs(timeoutMs);
    return kLineErrOperationFailed;
}

bool RegistryModems(void* ctx, std::vector<RegistryModem>* modems) {
    State* s = S(ctx);
    std::lock_guard<std::mutex> g(s->lock);
    if (s->owner->readHostDevices) {
        RefreshFromHost(s->owner);
    }
    *modems = s->owner->registry;
    return true;
}

ScriptedTelephony& HostTelephony() {
    static ScriptedTelephony host;
    static const bool marked = (host.readHostDevices = true);
    (void)marked;
    return host;
}

std::atomic<const TelephonyProvider*> g_provider{nullptr};

}  // namespace

ScriptedTelephony::ScriptedTelephony() : state_(std::make_unique<State>()) {
    state_->owner = this;
    table_ = TelephonyProvider{Initialize, Negotiate,   GetDevCaps,     Open,        GetPortName,
                               MakeCall,   GetCallLink, Drop,           Deallocate,  CloseLine,
                               Shutdown,   GetMessage,  RegistryModems, state_.get()};
}

ScriptedTelephony::~ScriptedTelephony() {
    for (auto& [id, call] : state_->calls) {
        LinkClose(call.link);
    }
}

int ScriptedTelephony::OpenInstances() const {
    std::lock_guard<std::mutex> g(state_->lock);
    return static_cast<int>(state_->apps.size());
}
int ScriptedTelephony::OpenLines() const {
    std::lock_guard<std::mutex> g(state_->lock);
    return static_cast<int>(state_->lines.size());
}
int ScriptedTelephony::OpenCalls() const {
    std::lock_guard<std::mutex> g(state_->lock);
    return static_cast<int>(state_->calls.size());
}
std::vector<std::string> ScriptedTelephony::openAttempts() const {
    std::lock_guard<std::mutex> g(state_->lock);
    return state_->attempts;
}

const TelephonyProvider& LinuxTelephony() {
    return HostTelephony().provider();
}

const TelephonyProvider& Telephony() {
    const TelephonyProvider* p = g_provider.load();
    return p ? *p : LinuxTelephony();
}

void SetTelephonyProvider(const TelephonyProvider* provider) {
    g_provider.store(provider);
}

}  // namespace platform
