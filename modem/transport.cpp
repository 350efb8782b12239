// Serial and telephony modem transport: opening by name with the speed search and the recovery
// pass, the reset commands, and the AT read/write primitives.
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "config/text.h"
#include "modem/box.h"
#include "modem/ip_modem.h"
#include "modem/modem.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/telephony.h"

namespace modem {
namespace {

std::atomic<bool> g_oldHandler{false};
std::atomic<bool> g_ipModem{false};
std::mutex g_configLock;
std::string g_configFile;

constexpr std::size_t kPortNameMax = 99;
constexpr std::size_t kMessageMax = 500;
constexpr uint32_t kCapsStartSize = 1276;
constexpr uint32_t kCapsMaxSize = 1u << 20;  // a provider that never stops asking is given up on
constexpr int kByteWriteTries = 3;

// The port time-outs of every serial exchange.
constexpr platform::SerialTimeouts kPortTimeouts{200, 1000, 2000};

std::string Cut(std::string text, std::size_t max) {
    if (text.size() > max) {
        text.resize(max);
    }
    return text;
}

std::string Hex(long code) {
    return Format("%X", static_cast<uint32_t>(code));
}

// "Unable to access modem at ..." for a port that cannot be opened.
void ShowAccessError(const std::string& portName, const platform::SystemError& error) {
    std::string text =
        Format("Unable to access modem at %s -- Error %X -- ", portName.c_str(), error.code);
    config::AppendBounded(text, error.text, kMessageMax);
    if (error.code == platform::kErrorAccessDenied) {
        config::AppendBounded(text, "\r\nAnother application is already using this device.",
                              kMessageMax);
    }
    ShowError(text);
}

// Opens "COMn:" (or another port name) and, for a COM name, its device-namespace form.
int OpenPort(const std::string& name, platform::SystemError* error) {
    int fd = platform::SerialOpen(name, error);
    if (fd < 0 && config::FindNoCase(name, "COM") == std::size_t{0}) {
        std::string bare = name;
        if (!bare.empty() && bare.back() == ':') {
            bare.pop_back();
        }
        fd = platform::SerialOpen("\\\\.\\" + bare, error);
    }
    return fd;
}

// The capability record of a line device, growing the buffer as the provider asks.
bool FetchCaps(const platform::TelephonyProvider& t, uint32_t app, uint32_t device,
               uint32_t version, platform::LineDevCaps* caps) {
    uint32_t size = kCapsStartSize;
    while (size <= kCapsMaxSize) {
        uint32_t needed = 0;
        long r = t.getDevCaps(t.ctx, app, device, version, size, &needed, caps);
        if (r == platform::kLineErrStructureTooSmall) {
            size += 1024;
            continue;
        }
        if (r != 0) {
            return false;
        }
        if (needed > size) {
            size = needed;
            continue;
        }
        return true;
    }
    return false;
}

bool DataModemLine(const platform::TelephonyProvider& t, uint32_t app, uint32_t device,
                   platform::LineDevCaps* caps, uint32_t* version) {
    if (t.negotiateVersion(t.ctx, app, device, platform::kApiVersion13, platform::kApiVersion22,
                           version) != 0) {
        return false;
    }
    return FetchCaps(t, app, device, *version, caps) &&
           (caps->mediaModes & platform::kLineMediaDataModem) != 0;
}

bool HasFinalResult(std::string_view text) {
    return text.find("\nOK") != std::string_view::npos ||
           text.find("\rOK") != std::string_view::npos ||
           text.find("ERROR") != std::string_view::npos;
}

// The serial part of opening: queues, settings, time-outs. False after its message (if any).
bool PreparePort(int fd, bool withMessages) {
    if (!platform::SerialSetupQueues(fd, 1024, 1024)) {
        if (withMessages) {
            ShowBox(nullptr, "SetupComm Failed", platform::MbIcon::None);
        }
        return false;
    }
    platform::SerialState state;
    if (!platform::SerialGetState(fd, &state)) {
        if (withMessages) {
            ShowBox(nullptr, "GetCommState Failed", platform::MbIcon::None);
        }
        return false;
    }
    platform::SerialSetTimeouts(fd, kPortTimeouts);
    return true;
}

// Hang-up: "+++ATH0\r" and a short read whose answer is not wanted.
void HangUp(int fd) {
    ResponseBuffer discard;
    ModemWrite(fd, "+++ATH0\r");
    ModemRead(fd, discard, 1);
}

}  // namespace

thread_local std::optional<platform::WaitCursor>* t_boxCursor = nullptr;

void SetBoxCursor(std::optional<platform::WaitCursor>* cursor) {
    t_boxCursor = cursor;
}

void ShowBox(platform::Form* owner, const std::string& text, platform::MbIcon icon) {
    platform::MessageBoxRequest r;
    r.owner = owner;
    r.text = text;
    r.icon = icon;
    r.foreground = owner == nullptr;
    const bool busy = t_boxCursor && t_boxCursor->has_value();
    if (busy) {
        t_boxCursor->reset();
    }
    platform::ShowMessageBox(r);
    if (busy) {
        t_boxCursor->emplace();
    }
}

std::string Format(const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        return {};
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        return std::string(small, static_cast<std::size_t>(n));
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

void SetUseOldModemHandler(bool on) {
    g_oldHandler.store(on);
}
bool UseOldModemHandler() {
    return g_oldHandler.load();
}
void SetModemConfigFile(const std::string& path) {
    std::lock_guard<std::mutex> g(g_configLock);
    g_configFile = path;
}
std::string ModemConfigFile() {
    std::lock_guard<std::mutex> g(g_configLock);
    return g_configFile;
}
bool IpModemFlag() {
    return g_ipModem.load();
}
void SetIpModemFlag() {
    g_ipModem.store(true);
}

ModemNameForm ClassifyModemName(std::string_view name) {
    if (name.size() >= 4 && config::EqualNoCase(name.substr(0, 3), "COM") && name.back() == ':') {
        std::string_view digits = name.substr(3, name.size() - 4);
        if (std::all_of(digits.begin(), digits.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return ModemNameForm::DirectSerial;
        }
    }
    if (name.size() >= 10 && config::EqualNoCase(name.substr(0, 10), "IPModem - ")) {
        return ModemNameForm::IpModem;
    }
    return ModemNameForm::TelephonyLine;
}

void ListTelephonyModems(std::vector<std::string>& choices) {
    const platform::TelephonyProvider& t = platform::Telephony();
    uint32_t app = 0;
    uint32_t count = 0;
    long r = t.initialize(t.ctx, platform::kCaption, &app, &count);
    if (r != 0) {
        ShowBox(nullptr, "Unable to initialize TAPI:  Error " + Hex(r) + " from lineInitialize",
                platform::MbIcon::None);
        return;
    }
    for (uint32_t device = 0; device < count; ++device) {
        platform::LineDevCaps caps;
        uint32_t version = 0;
        if (DataModemLine(t, app, device, &caps, &version)) {
            choices.push_back(caps.lineName);
        }
    }
    t.shutdown(t.ctx, app);
}

ModemConnection OpenModem(const std::string& name) {
    ModemConnection c;
    const ModemNameForm form = ClassifyModemName(name);
    if (form == ModemNameForm::IpModem) {
        return OpenIpModem(name);
    }
    std::string portName;
    bool secondPass = false;
    for (;;) {
        c = ModemConnection{};
        if (form == ModemNameForm::DirectSerial) {
            portName = name;
            platform::SystemError error;
            int fd = OpenPort(name, &error);
            if (fd < 0) {
                ShowAccessError(portName, error);
                return c;
            }
            if (!PreparePort(fd, true)) {
                platform::LinkClose(fd);
                return c;
            }
            for (uint32_t baud : kSearchSpeeds) {
                if (InitModemAtBaud(fd, baud)) {
                    c.link = fd;
                    return c;
                }
            }
            platform::LinkClose(fd);
            if (!secondPass && RecoverModemPort(portName)) {
                secondPass = true;
                continue;
            }
            return ModemConnection{};
        }

        // A telephony line.
        const platform::TelephonyProvider& t = platform::Telephony();
        uint32_t count = 0;
        long r = t.initialize(t.ctx, platform::kCaption, &c.lineApp, &count);
        if (r != 0) {
            ShowError("Unable to initialize TAPI:  Error " + Hex(r) + " from lineInitialize");
            return ModemConnection{};
        }
        FindModemPort(name, portName);
        for (uint32_t device = 0; device < count; ++device) {
            platform::LineDevCaps caps;
            uint32_t version = 0;
            if (!DataModemLine(t, c.lineApp, device, &caps, &version) ||
                !config::EqualNoCase(caps.lineName, name)) {
                continue;
            }
            auto report = [&](const std::string& what) {
                if (portName.empty() || secondPass) {
                    ShowError("Unable to initialize modem:  " + what);
                }
            };
            r = t.open(t.ctx, c.lineApp, device, version, platform::kLineMediaDataModem, &c.line);
            if (r != 0) {
                c.line = 0;
                report("Error " + Hex(r) + " from lineOpen");
                continue;
            }
            std::string linePort;
            if (t.getPortName(t.ctx, c.line, &linePort) == 0) {
                portName = Cut(linePort, kPortNameMax);
            }
            if (portName.empty()) {
                FindModemPort(name, portName);
            }
            r = t.makeCall(t.ctx, c.line, &c.call);
            if (r < 0) {
                report("Error " + Hex(r) + " from lineMakeCall");
            } else {
                WaitTelephonyReply(c.lineApp, 15);
                int link = -1;
                long got = c.call != 0 ? t.getCallLink(t.ctx, c.call, &link)
                                       : platform::kLineErrOperationFailed;
                if (got == 0) {
                    c.link = link;
                    return c;
                }
                report(c.call == 0 ? std::string("lineMakeCall failed to init modem")
                                   : "Error " + Hex(got) + " from lineGetID");
            }
            if (c.call != 0) {
                t.drop(t.ctx, c.call);
                WaitTelephonyReply(c.lineApp, 5);
                t.deallocate(t.ctx, c.call);
                c.call = 0;
            }
            t.close(t.ctx, c.line);
            c.line = 0;
        }
        t.shutdown(t.ctx, c.lineApp);
        c.lineApp = 0;
        if (!portName.empty() && !secondPass && RecoverModemPort(portName)) {
            secondPass = true;
            continue;
        }
        return ModemConnection{};
    }
}

void CloseModemConnection(ModemConnection& c) {
    const platform::TelephonyProvider& t = platform::Telephony();
    if (c.call != 0) {
        t.drop(t.ctx, c.call);
        WaitTelephonyReply(c.lineApp, 5);
        t.deallocate(t.ctx, c.call);
    }
    if (c.line != 0) {
        t.close(t.ctx, c.line);
    }
    if (c.link >= 0) {
        platform::LinkClose(c.link);
    }
    if (c.lineApp != 0) {
        t.shutdown(t.ctx, c.lineApp);
    }
    c = ModemConnection{};
}

bool InitModemAtBaud(int link, uint32_t baud) {
    platform::SerialState state;
    if (!platform::SerialGetState(link, &state)) {
        return false;
    }
    if (!platform::ApplyCommDefinition(&state, Format("baud=%u parity=N data=8 stop=1", baud))) {
        return false;
    }
    platform::SerialSetState(link, state);
    ResponseBuffer response;
    ModemWrite(link, "\r");
    ModemRead(link, response, 1);
    ModemWrite(link, "ATE0V1\r");
    std::size_t n = ModemRead(link, response, 5);
    if (n == 0 || !IsOkResponse(std::string_view(response.data(), n))) {
        return false;
    }
    ShowBox(nullptr, Format("Initialised modem at %u bps", baud), platform::MbIcon::Information);
    return true;
}

bool RecoverModemPort(const std::string& portName) {
    std::string name = Cut(portName, kPortNameMax);
    const bool com = config::FindNoCase(name, "COM") == std::size_t{0};
    if (com && name.back() != ':') {
        name += ':';
    }
    bool answered = false;
    bool resetDone = false;
    for (;;) {
        platform::SystemError error;
        int fd = com ? OpenPort(name, &error) : platform::SerialOpen(name, &error);
        if (fd < 0) {
            ShowAccessError(name, error);
            return answered;
        }
        if (!PreparePort(fd, false)) {
            platform::LinkClose(fd);
            return answered;
        }
        // Each group is tried after a hang-up at the speed left from the group before.
        static constexpr uint32_t kGroups[][2] = {{115200, 0},    {115200, 57600}, {57600, 38400},
                                                  {38400, 19200}, {19200, 9600},   {9600, 0}};
        answered = false;
        for (std::size_t g = 0; g < std::size(kGroups) && !answered; ++g) {
            if (g > 0) {
                HangUp(fd);
            }
            for (uint32_t baud : kGroups[g]) {
                if (baud != 0 && InitModemAtBaud(fd, baud)) {
                    answered = true;
                    break;
                }
            }
        }
        if (answered && !resetDone) {
            resetDone = true;
            if (ResetModem(fd)) {
                platform::LinkClose(fd);
                platform::SleepMs(15000);
                continue;
            }
        }
        platform::LinkClose(fd);
        return answered;
    }
}

bool ResetModem(int link) {
    ResponseBuffer response;
    auto exchange = [&](std::string_view command) {
        ModemWrite(link, command);
        std::size_t n = ModemRead(link, response, 10);
        return IsOkResponse(std::string_view(response.data(), n));
    };
    if (exchange("AT+CFUN=?\r")) {
        std::string_view text(response.data());
        if (auto after = config::FindNoCaseAfter(text, "+CFUN:")) {
            std::string_view rest = config::SkipBlanks(text.substr(*after));
            if (!rest.empty() && rest[0] == '(') {
                std::size_t close = rest.find(')');
                if (close != std::string_view::npos) {
                    std::string_view tail = config::SkipBlanks(rest.substr(close + 1));
                    if (!tail.empty() && tail[0] == ',' && exchange("AT+CFUN=1,1\r")) {
                        return true;
                    }
                }
            }
        }
    }
    if (exchange("AT*E2RESET=?\r") && exchange("AT*E2RESET\r")) {
        return true;
    }
    if (exchange("AT!RESET\r")) {
        return true;
    }
    return exchange("AT+CFUN=1\r");
}

bool FindModemPort(const std::string& friendlyName, std::string& port) {
    port.clear();
    const platform::TelephonyProvider& t = platform::Telephony();
    std::vector<platform::RegistryModem> modems;
    if (!t.registryModems(t.ctx, &modems)) {
        return false;
    }
    for (const auto& m : modems) {
        if (config::EqualNoCase(m.friendlyName, friendlyName) && !m.attachedTo.empty()) {
            port = Cut(m.attachedTo, kPortNameMax);
            return true;
        }
    }
    return false;
}

void WaitTelephonyReply(uint32_t lineApp, unsigned seconds) {
    const platform::TelephonyProvider& t = platform::Telephony();
    const uint64_t start = platform::TickMs();
    const uint64_t limit = uint64_t{seconds} * 1000;
    for (;;) {
        uint32_t kind = 0;
        long r = t.getMessage(t.ctx, lineApp, seconds == 0 ? 0 : 1000, &kind);
        if (r == 0 && kind == platform::kLineReply) {
            return;
        }
        if (platform::TickMs() - start >= limit) {
            return;
        }
    }
}

bool ModemWrite(int link, std::string_view text) {
    if (IpModemFlag() && platform::SocketHasPeer(link)) {
        for (char byte : text) {
            for (int tries = 0;; ++tries) {
                long n = platform::LinkWrite(link, &byte, 1, 60000);
                if (n < 0) {
                    return false;
                }
                if (n == 1) {
                    break;
                }
                if (tries + 1 >= kByteWriteTries) {
                    return false;
                }
            }
        }
        return true;
    }
    return platform::LinkWrite(link, text.data(), text.size(), 30000) >= 0;
}

std::size_t ModemRead(int link, ResponseBuffer& buffer, unsigned seconds) {
    buffer.fill('\0');
    const std::size_t capacity = kResponseSize - 1;
    const uint64_t limit = uint64_t{seconds} * 1000;
    if (UseOldModemHandler()) {
        long n = 0;
        for (int reads = 0; reads < 3; ++reads) {
            n = platform::LinkRead(link, buffer.data(), capacity, static_cast<uint32_t>(limit));
            if (n < 0) {
                buffer.fill('\0');
                return 0;
            }
            if (n > 0) {
                break;
            }
        }
        return static_cast<std::size_t>(n);
    }
    const uint64_t start = platform::TickMs();
    std::size_t count = 0;
    for (;;) {
        uint64_t elapsed = platform::TickMs() - start;
        // A full buffer cannot take the final result any more: what is there is the answer.
        if (elapsed > limit || count >= capacity) {
            return count;
        }
        long n = platform::LinkRead(link, buffer.data() + count, capacity - count,
                                    static_cast<uint32_t>(limit - elapsed));
        if (n < 0) {
            buffer.fill('\0');
            return 0;
        }
        count += static_cast<std::size_t>(n);
        if (HasFinalResult(std::string_view(buffer.data(), count))) {
            return count;
        }
        if (n == 0 && platform::TickMs() - start >= limit) {
            return count;
        }
    }
}

bool IsOkResponse(std::string_view text) {
    return text.find("\nOK") != std::string_view::npos ||
           text.find("\rOK") != std::string_view::npos;
}

void ModemDrain(int link) {
    char discard[1023];
    platform::LinkRead(link, discard, sizeof discard, 100);
}

}  // namespace modem
