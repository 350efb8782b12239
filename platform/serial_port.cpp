// Serial ports over termios and the timed link I/O shared by serial ports and sockets.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/dirs.h"
#include "platform/ini.h"

namespace platform {
namespace {

// ---- Port map ------------------------------------------------------------------------------

std::string Canonical(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// ---- Per-port time-outs ----------------------------------------------------------------------

std::mutex g_timeoutLock;
std::map<int, SerialTimeouts> g_timeouts;

std::optional<SerialTimeouts> TimeoutsOf(int fd) {
    std::lock_guard<std::mutex> lock(g_timeoutLock);
    auto it = g_timeouts.find(fd);
    if (it == g_timeouts.end()) {
        return std::nullopt;
    }
    return it->second;
}

// ---- Virtual-time pacing of waits -----------------------------------------------------------

using RealClock = std::chrono::steady_clock;
constexpr int kSliceMs = 2;         // real length of one poll slice under a virtual clock
constexpr int64_t kGraceMs = 100;   // real time after link activity during which time runs true
constexpr uint64_t kJumpMs = 250;   // virtual step per quiet slice once the grace is over
constexpr int64_t kSettleMs = 100;  // real time after link activity before an idle peer counts
std::atomic<int64_t> g_lastActivity{0};
std::atomic<uint64_t> g_bytesRead{0};

std::mutex g_probeLock;
std::vector<const IdleProbe*> g_probes;

// In-process peers: none installed, some busy, or all idle.
enum class Peers { None, Busy, Idle };
Peers PeerState() {
    std::lock_guard<std::mutex> lock(g_probeLock);
    if (g_probes.empty()) {
        return Peers::None;
    }
    for (const IdleProbe* p : g_probes) {
        if (!p->idle(p->ctx)) {
            return Peers::Busy;
        }
    }
    return Peers::Idle;
}

int64_t RealNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               RealClock::now().time_since_epoch())
        .count();
}
void NoteActivity() {
    g_lastActivity.store(RealNowMs());
}

struct SpeedEntry {
    uint32_t baud;
    speed_t code;
};
constexpr SpeedEntry kSpeeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},   {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600}, {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::optional<speed_t> SpeedCode(uint32_t baud) {
    for (const auto& s : kSpeeds) {
        if (s.baud == baud) {
            return s.code;
        }
    }
    return std::nullopt;
}
uint32_t SpeedValue(speed_t code) {
    for (const auto& s : kSpeeds) {
        if (s.code == code) {
            return s.baud;
        }
    }
    return 0;
}

SystemError ErrorFromErrno(int e) {
    SystemError err;
    switch (e) {
        case EACCES:
        case EPERM:
        case EBUSY:
        case EWOULDBLOCK:
            err.code = kErrorAccessDenied;
            break;
        case ENOENT:
        case ENXIO:
        case ENODEV:
            err.code = kErrorFileNotFound;
            break;
        default:
            err.code = static_cast<uint32_t>(e);
    }
    err.text = std::strerror(e);
    return err;
}

}  // namespace

std::optional<unsigned> ComPortNumber(std::string_view name) {
    if (name.size() >= 4 && name.substr(0, 4) == "\\\\.\\") {
        name.remove_prefix(4);
    }
    if (name.size() < 3 || std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
        return std::nullopt;
    }
    name.remove_prefix(3);
    if (!name.empty() && name.back() == ':') {
        name.remove_suffix(1);
    }
    if (name.empty() || name.size() > 6) {
        return std::nullopt;
    }
    unsigned n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

std::string ComPortDevice(unsigned n) {
    std::string key = "COM" + std::to_string(n);
    if (const char* dir = std::getenv("ZELMOSMS_COMPORTS"); dir && *dir) {
        return std::string(dir) + "/" + key;
    }
    std::string mapped = IniGetString(DataRoot() + "/ProgramData/COMPORTS.INI", "Ports", key);
    if (!mapped.empty()) {
        return mapped;
    }
    return n == 0 ? std::string("/dev/null-com0") : "/dev/ttyS" + std::to_string(n - 1);
}

std::string PortNameForDevice(const std::string& device) {
    std::string want = Canonical(device);
    if (const char* dir = std::getenv("ZELMOSMS_COMPORTS"); dir && *dir) {
        for (unsigned n = 1; n <= 256; ++n) {
            std::string link = std::string(dir) + "/COM" + std::to_string(n);
            if (access(link.c_str(), F_OK) == 0 && Canonical(link) == want) {
                return "COM" + std::to_string(n);
            }
        }
        return device;
    }
    std::string map = DataRoot() + "/ProgramData/COMPORTS.INI";
    for (const auto& [key, value] : IniReadSection(map, "Ports")) {
        if (auto n = ComPortNumber(key); n && Canonical(value) == want) {
            return "COM" + std::to_string(*n);
        }
    }
    if (want.rfind("/dev/ttyS", 0) == 0) {
        char* end = nullptr;
        unsigned long k = std::strtoul(want.c_str() + 9, &end, 10);
        if (end && *end == '\0' && end != want.c_str() + 9) {
            return "COM" + std::to_string(k + 1);
        }
    }
    return device;
}

int SerialOpen(const std::string& name, SystemError* error) {
    std::string path;
    if (auto n = ComPortNumber(name)) {
        path = ComPortDevice(*n);
    } else if (!name.empty() && name[0] == '/') {
        path = name;
    } else {
        if (error) {
            *error = ErrorFromErrno(ENOENT);
        }
        return -1;
    }
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) {
            *error = ErrorFromErrno(errno);
        }
        return -1;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        int e = errno;
        close(fd);
        if (error) {
            *error = ErrorFromErrno(e == ENOTTY ? ENXIO : e);
        }
        return -1;
    }
    // The exclusive flag keeps ordinary users out; the lock also keeps out other instances that run
    // with rights that pass the flag.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        int e = errno;
        close(fd);
        if (error) {
            *error = ErrorFromErrno(e);
        }
        return -1;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
    {
        std::lock_guard<std::mutex> lock(g_timeoutLock);
        g_timeouts[fd] = SerialTimeouts{};
    }
    return fd;
}

bool SerialSetupQueues(int fd, uint32_t, uint32_t) {
    termios t{};
    return tcgetattr(fd, &t) == 0;
}

bool SerialGetState(int fd, SerialState* state) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    state->baud = SpeedValue(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            state->dataBits = 5;
            break;
        case CS6:
            state->dataBits = 6;
            break;
        case CS7:
            state->dataBits = 7;
            break;
        default:
            state->dataBits = 8;
    }
    state->parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    state->stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return true;
}

bool SerialSetState(int fd, const SerialState& state) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    auto code = SpeedCode(state.baud);
    if (!code) {
        return false;
    }
    cfsetispeed(&t, *code);
    cfsetospeed(&t, *code);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    t.c_cflag |= state.dataBits == 5   ? CS5
                 : state.dataBits == 6 ? CS6
                 : state.dataBits == 7 ? CS7
                                       : CS8;
    if (state.parity == 'E' || state.parity == 'O') {
        t.c_cflag |= PARENB | (state.parity == 'O' ? PARODD : 0);
    }
    if (state.stopBits == 2) {
        t.c_cflag |= CSTOPB;
    }
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool ApplyCommDefinition(SerialState* state, std::string_view definition) {
    SerialState s = *state;
    std::size_t i = 0;
    while (i < definition.size()) {
        while (i < definition.size() && definition[i] == ' ') {
            ++i;
        }
        if (i >= definition.size()) {
            break;
        }
        std::size_t end = definition.find(' ', i);
        std::string_view item = definition.substr(i, end == std::string_view::npos ? end : end - i);
        i = end == std::string_view::npos ? definition.size() : end;
        std::size_t eq = item.find('=');
        if (eq == std::string_view::npos || eq + 1 >= item.size()) {
            return false;
        }
        std::string key(item.substr(0, eq));
        std::string_view value = item.substr(eq + 1);
        for (char& c : key) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        uint32_t number = 0;
        bool numeric = value.size() <= 9;
        for (char c : value) {
            numeric = numeric && c >= '0' && c <= '9';
            number = number * 10 + static_cast<uint32_t>(c - '0');
        }
        if (key == "baud") {
            if (!numeric || !SpeedCode(number)) {
                return false;
            }
            s.baud = number;
        } else if (key == "parity") {
            char p = static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
            if (value.size() != 1 || (p != 'N' && p != 'E' && p != 'O')) {
                return false;
            }
            s.parity = p;
        } else if (key == "data") {
            if (!numeric || number < 5 || number > 8) {
                return false;
            }
            s.dataBits = static_cast<int>(number);
        } else if (key == "stop") {
            if (!numeric || (number != 1 && number != 2)) {
                return false;
            }
            s.stopBits = static_cast<int>(number);
        } else {
            return false;
        }
    }
    *state = s;
    return true;
}

bool SerialSetTimeouts(int fd, const SerialTimeouts& timeouts) {
    std::lock_guard<std::mutex> lock(g_timeoutLock);
    auto it = g_timeouts.find(fd);
    if (it == g_timeouts.end()) {
        return false;
    }
    it->second = timeouts;
    return true;
}

int PollWait(int fd, short events, uint32_t timeoutMs) {
    const bool real = &Clock() == &SystemTime();
    const uint64_t start = TickMs();
    for (;;) {
        uint64_t elapsed = TickMs() - start;
        uint64_t remaining = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        int slice = real ? static_cast<int>(remaining < INT_MAX ? remaining : INT_MAX)
                         : (remaining == 0 ? 0 : kSliceMs);
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, slice);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (r > 0) {
            if (p.revents & POLLNVAL) {
                return -1;
            }
            NoteActivity();
            return 1;
        }
        if (remaining == 0) {
            return 0;
        }
        if (!real) {
            uint64_t step = kSliceMs;  // a busy peer is waited for at real pace
            // Our own bytes still on their way (unsent or unacknowledged) keep the peer busy.
            int queued = 0;
            Peers peers =
                ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 ? Peers::Busy : PeerState();
            // Bytes just written may still be on their way through the kernel (a pseudo-terminal
            // hands them over from a worker thread), where no probe can see them yet.
            if (peers == Peers::Idle && RealNowMs() - g_lastActivity.load() < kSettleMs) {
                peers = Peers::Busy;
            }
            if (peers == Peers::Idle) {
                // Nothing more can come unless it is already there: look once more, then skip.
                pollfd again{fd, events, 0};
                if (poll(&again, 1, 0) > 0) {
                    continue;
                }
                step = remaining;
            } else if (peers == Peers::None) {
                bool grace = RealNowMs() - g_lastActivity.load() < kGraceMs;
                step = grace ? static_cast<uint64_t>(kSliceMs) : kJumpMs;
            }
            SleepMs(static_cast<uint32_t>(step < remaining ? step : remaining));
        }
    }
}

void AddIdleProbe(const IdleProbe* probe) {
    std::lock_guard<std::mutex> lock(g_probeLock);
    g_probes.push_back(probe);
}

void RemoveIdleProbe(const IdleProbe* probe) {
    std::lock_guard<std::mutex> lock(g_probeLock);
    g_probes.erase(std::remove(g_probes.begin(), g_probes.end(), probe), g_probes.end());
}

namespace {
long ReadLink(int fd, char* buffer, std::size_t size, uint32_t waitMs);
}  // namespace

uint64_t LinkBytesRead() {
    return g_bytesRead.load();
}

long LinkRead(int fd, char* buffer, std::size_t size, uint32_t waitMs) {
    long n = ReadLink(fd, buffer, size, waitMs);
    if (n > 0) {
        g_bytesRead.fetch_add(static_cast<uint64_t>(n));
    }
    return n;
}

namespace {
long ReadLink(int fd, char* buffer, std::size_t size, uint32_t waitMs) {
    if (fd < 0) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    auto timeouts = TimeoutsOf(fd);
    if (!timeouts) {
        // A socket (or another stream): wait for data, then take what is there.
        int r = PollWait(fd, POLLIN, waitMs);
        if (r < 0) {
            return -1;
        }
        if (r == 0) {
            return 0;
        }
        ssize_t n = IsSocket(fd) ? recv(fd, buffer, size, MSG_DONTWAIT) : read(fd, buffer, size);
        if (n > 0) {
            return n;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return 0;
        }
        return -1;  // closed by the peer, or failed
    }
    uint32_t total = waitMs;
    if (timeouts->readTotalMs != 0 && timeouts->readTotalMs < total) {
        total = timeouts->readTotalMs;
    }
    const uint64_t start = TickMs();
    std::size_t got = 0;
    while (got < size) {
        uint64_t elapsed = TickMs() - start;
        if (elapsed >= total && got == 0) {
            break;
        }
        uint64_t wait = elapsed >= total ? 0 : total - elapsed;
        if (got > 0 && timeouts->readIntervalMs != 0 && timeouts->readIntervalMs < wait) {
            wait = timeouts->readIntervalMs;
        }
        int r = PollWait(fd, POLLIN, static_cast<uint32_t>(wait));
        if (r < 0) {
            return got > 0 ? static_cast<long>(got) : -1;
        }
        if (r == 0) {
            break;
        }
        ssize_t n = read(fd, buffer + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else {
            return got > 0 ? static_cast<long>(got) : -1;  // hung up
        }
        if (TickMs() - start >= total) {
            break;
        }
    }
    return static_cast<long>(got);
}
}  // namespace

long LinkWrite(int fd, const char* data, std::size_t size, uint32_t waitMs) {
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return -1;
    }
    uint32_t total = waitMs;
    if (auto t = TimeoutsOf(fd); t && t->writeTotalMs != 0 && t->writeTotalMs < total) {
        total = t->writeTotalMs;
    }
    const bool socket = S_ISSOCK(st.st_mode);
    const uint64_t start = TickMs();
    std::size_t done = 0;
    NoteActivity();
    while (done < size) {
        ssize_t n = socket ? send(fd, data + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL)
                           : write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return done > 0 ? static_cast<long>(done) : -1;
        }
        uint64_t elapsed = TickMs() - start;
        if (elapsed >= total ||
            PollWait(fd, POLLOUT, static_cast<uint32_t>(total - elapsed)) <= 0) {
            break;
        }
    }
    NoteActivity();
    return static_cast<long>(done);
}

void LinkClose(int fd) {
    if (fd < 0) {
        return;
    }
    bool serial = false;
    {
        std::lock_guard<std::mutex> lock(g_timeoutLock);
        serial = g_timeouts.erase(fd) > 0;
    }
    if (serial) {
        ioctl(fd, TIOCNXCL);
        flock(fd, LOCK_UN);
    }
    close(fd);
}

bool IsSocket(int fd) {
    struct stat st {};
    return fd >= 0 && fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

bool SocketHasPeer(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    return IsSocket(fd) && getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
}

}  // namespace platform
