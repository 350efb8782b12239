// The modem simulator: an AT command interpreter fed from a pseudo-terminal or a terminal-server
// connection, on one thread that waits on both with poll.
#include "tools/modemsim/modemsim.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/net.h"
#include "platform/serial_port.h"

namespace modemsim {
namespace {

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return u;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

uint32_t SpeedOf(speed_t code) {
    static const std::pair<speed_t, uint32_t> kSpeeds[] = {
        {B300, 300},       {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
        {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
        {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    for (auto [c, v] : kSpeeds) {
        if (c == code) {
            return v;
        }
    }
    return 0;
}

std::string Unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char n = s[i + 1];
            if (n == 'r') {
                out += '\r';
                ++i;
                continue;
            }
            if (n == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (n == 'x' && i + 3 < s.size() &&
                std::isxdigit(static_cast<unsigned char>(s[i + 2])) &&
                std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
                out += static_cast<char>(std::stoi(std::string(s.substr(i + 2, 2)), nullptr, 16));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::vector<std::string> Split(std::string_view s, char separator = ',') {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t end = s.find(separator, start);
        std::string item(s.substr(start, end == std::string_view::npos ? end : end - start));
        if (!item.empty()) {
            out.push_back(item);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string Escape(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        switch (c) {
            case '\r':
                out += "<CR>";
                break;
            case '\n':
                out += "<LF>";
                break;
            case 27:
                out += "<ESC>";
                break;
            case 26:
                out += "<SUB>";
                break;
            case 255:
                out += "<IAC>";
                break;
            default:
                if (c < 32 || c >= 127) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "<x%02X>", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

bool ParseProfile(std::string_view text, Profile* p, std::string* error) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.remove_suffix(1);
        }
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            *error = "no '=' in: " + std::string(line);
            return false;
        }
        std::string key(line.substr(0, eq));
        std::string value(line.substr(eq + 1));
        auto flag = [&](bool* target) {
            std::string v = Upper(value);
            if (v == "1" || v == "YES" || v == "TRUE" || v == "ON") {
                *target = true;
            } else if (v == "0" || v == "NO" || v == "FALSE" || v == "OFF") {
                *target = false;
            } else {
                return false;
            }
            return true;
        };
        auto number = [&](int* target) {
            if (value.empty() || !std::all_of(value.begin(), value.end(), ::isdigit) ||
                value.size() > 6) {
                return false;
            }
            *target = std::stoi(value);
            return true;
        };
        bool ok = true;
        if (key == "speeds") {
            p->speeds.clear();
            for (const auto& s : Split(value)) {
                int v = 0;
                std::string saved = value;
                value = s;
                ok = ok && number(&v);
                value = saved;
                p->speeds.push_back(static_cast<uint32_t>(v));
            }
        } else if (key == "echo") {
            ok = flag(&p->echo);
        } else if (key == "verbose") {
            ok = flag(&p->verbose);
        } else if (key == "pin") {
            p->pin = value;
        } else if (key == "cfun") {
            ok = number(&p->cfun);
        } else if (key == "cops-after") {
            ok = number(&p->copsAfter);
        } else if (key == "cpms-errors") {
            ok = number(&p->cpmsErrors);
        } else if (key == "csms0") {
            ok = flag(&p->csms0);
        } else if (key == "csms128") {
            ok = flag(&p->csms128);
        } else if (key == "pdu") {
            ok = flag(&p->pdu);
        } else if (key == "text") {
            ok = flag(&p->text);
        } else if (key == "cmgs") {
            std::string v = Upper(value);
            if (v == "PROMPT") {
                p->cmgs = CmgsAnswer::Prompt;
            } else if (v == "ERROR") {
                p->cmgs = CmgsAnswer::Error;
            } else if (v == "OK") {
                p->cmgs = CmgsAnswer::Ok;
            } else if (v == "SILENCE") {
                p->cmgs = CmgsAnswer::Silence;
            } else {
                ok = false;
            }
        } else if (key == "resets") {
            p->resets = Split(value, ';');
        } else if (key == "pieces") {
            ok = number(&p->pieces);
        } else if (key == "piece-delay-ms") {
            ok = number(&p->pieceDelayMs);
        } else if (key == "garbage") {
            p->garbage = Unescape(value);
        } else if (key == "cfun-stuck") {
            ok = flag(&p->cfunStuck);
        } else if (key.rfind("reply:", 0) == 0 && key.size() > 6) {
            p->replies[Upper(key.substr(6))] = Unescape(value);
        } else if (key == "silent") {
            ok = flag(&p->silent);
        } else {
            *error = "unknown key: " + key;
            return false;
        }
        if (!ok) {
            *error = "bad value for " + key + ": " + value;
            return false;
        }
    }
    return true;
}

struct Simulator::Impl {
    Profile profile;
    // Modem state.
    bool echo = true;
    bool verbose = true;
    bool pinLocked = false;
    int cfun = 1;
    int copsQueries = 0;
    int cpmsQueries = 0;
    bool textEntry = false;
    bool garbageSent = false;
    std::string line;
    bool lineEchoed = false;
    std::string body;
    // Channels.
    int master = -1;
    int slave = -1;
    std::string device;
    int listener = -1;
    int client = -1;
    uint16_t port = 0;
    ServerOptions server;
    std::size_t step = 0;
    bool inModem = false;
    std::string serverLine;
    std::string telnet;  // an incomplete telnet command from the client
    int out = -1;        // where answers go now
    int stopPipe[2] = {-1, -1};
    std::thread thread;
    bool running = false;
    // What the console's waits ask (see platform::IdleProbe): busy while input is handled.
    std::atomic<bool> busy{false};
    std::atomic<int> clientFd{-1};
    platform::IdleProbe probe{&Impl::Idle, this};

    static bool Idle(void* ctx) {
        Impl* m = static_cast<Impl*>(ctx);
        if (m->busy.load()) {
            return false;
        }
        int n = 0;
        if (m->master >= 0 && ioctl(m->master, FIONREAD, &n) == 0 && n > 0) {
            return false;
        }
        int c = m->clientFd.load();
        if (c >= 0 && ioctl(c, FIONREAD, &n) == 0 && n > 0) {
            return false;
        }
        if (c >= 0 && ioctl(c, TIOCOUTQ, &n) == 0 && n > 0) {
            return false;  // answers still on their way to the caller
        }
        if (m->listener >= 0) {
            pollfd p{m->listener, POLLIN, 0};
            if (poll(&p, 1, 0) > 0) {
                return false;
            }
        }
        // Answers just sent may still be on their way through the kernel.
        if (std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                    .count() -
                m->lastSent.load() <
            kSettleMs) {
            return false;
        }
        return !m->busy.load();
    }
    static constexpr int64_t kSettleMs = 100;  // as the waits allow (platform/serial_port.cpp)
    std::atomic<int64_t> lastSent{0};
    void NoteSent() {
        lastSent.store(std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count());
    }
    // Records.
    mutable std::mutex lock;
    std::vector<std::string> transcript;
    std::string received;
    std::vector<std::string> commands;
    int connections = 0;

    void Note(std::string entry) {
        std::lock_guard<std::mutex> g(lock);
        transcript.push_back(std::move(entry));
    }

    void ResetState() {
        echo = profile.echo;
        verbose = profile.verbose;
        pinLocked = !profile.pin.empty();
        cfun = profile.cfun;
    }

    void SendRaw(std::string_view bytes, bool record = true) {
        if (out < 0 || bytes.empty()) {
            return;
        }
        std::size_t done = 0;
        auto start = std::chrono::steady_clock::now();
        while (done < bytes.size()) {
            ssize_t n = out == client
                            ? send(out, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                            : write(out, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR) &&
                std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
                pollfd p{out, POLLOUT, 0};
                poll(&p, 1, 10);
                continue;
            }
            break;  // the other side is not reading: the rest is lost
        }
        NoteSent();
        if (record) {
            Note("-> " + Escape(bytes.substr(0, done)));
        }
    }

    void Send(const std::string& answer) {
        int pieces = std::max(1, profile.pieces);
        std::size_t size = (answer.size() + static_cast<std::size_t>(pieces) - 1) /
                           static_cast<std::size_t>(pieces);
        uint64_t before = 0;
        std::size_t previous = 0;
        for (std::size_t at = 0; at < answer.size(); at += size) {
            if (at > 0) {
                AwaitTaken(before, previous);
                if (profile.pieceDelayMs > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(profile.pieceDelayMs));
                }
            }
            before = platform::LinkBytesRead();
            std::string_view piece = std::string_view(answer).substr(at, size);
            previous = piece.size();
            SendRaw(piece);
        }
    }

    // Waits until the caller in this process has read `bytes` more than it had at `before`, so
    // that a piece never joins the one before it however slowly the caller is scheduled. Bounded,
    // for a caller that stopped reading or reads some other way.
    static void AwaitTaken(uint64_t before, std::size_t bytes) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (platform::LinkBytesRead() < before + bytes &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::string Final(bool ok) const {
        if (verbose) {
            return ok ? "\r\nOK\r\n" : "\r\nERROR\r\n";
        }
        return ok ? "0\r" : "4\r";
    }
    std::string Info(const std::string& text) const { return "\r\n" + text + "\r\n"; }
    bool Knows(const char* reset) const {
        return std::find(profile.resets.begin(), profile.resets.end(), reset) !=
               profile.resets.end();
    }

    // The answer to one command line (upper-cased in `u`, as typed in `cmd`).
    std::string Respond(const std::string& u, const std::string& cmd) {
        if (auto it = profile.replies.find(u); it != profile.replies.end()) {
            return it->second;
        }
        if (u == "AT+CFUN?") {
            return Info("+CFUN: " + std::to_string(cfun)) + Final(true);
        }
        if (u == "AT+CFUN=?") {
            return Info(Knows("AT+CFUN=1,1") ? "+CFUN: (0,1,4),(0-1)" : "+CFUN: (0,1,4)") +
                   Final(true);
        }
        if (u == "AT+CFUN=1") {
            if (!profile.cfunStuck) {
                cfun = 1;
            }
            return Final(true);
        }
        if (u == "AT+CFUN=1,1" || u == "AT*E2RESET" || u == "AT!RESET") {
            if (!Knows(u.c_str())) {
                return Final(false);
            }
            Note("-- reset");
            std::string answer = Final(true);
            ResetState();
            return answer;
        }
        if (u == "AT*E2RESET=?") {
            return Final(Knows("AT*E2RESET"));
        }
        if (u == "AT+COPS?") {
            ++copsQueries;
            if (cfun != 1 || copsQueries <= profile.copsAfter) {
                return Info("+COPS: 0") + Final(true);
            }
            return Info("+COPS: 0,0,\"ZELMO NET\"") + Final(true);
        }
        if (u == "AT+CPMS?") {
            ++cpmsQueries;
            if (cpmsQueries <= profile.cpmsErrors) {
                return Info("+CMS ERROR: 314");
            }
            return Info("+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20") + Final(true);
        }
        if (u == "AT+CPIN?") {
            return Info(pinLocked ? "+CPIN: SIM PIN" : "+CPIN: READY") + Final(true);
        }
        if (StartsWith(u, "AT+CPIN=")) {
            std::string given = cmd.substr(8);
            if (given.size() >= 2 && given.front() == '"' && given.back() == '"') {
                given = given.substr(1, given.size() - 2);
            }
            if (!pinLocked) {
                return Info("+CME ERROR: 3");
            }
            if (given == profile.pin) {
                pinLocked = false;
                return Final(true);
            }
            return Info("+CME ERROR: 16");
        }
        if (u == "AT+CSMS=0" || u == "AT+CSMS=128") {
            bool accept = u == "AT+CSMS=0" ? profile.csms0 : profile.csms128;
            return accept ? Info("+CSMS: 1,1,1") + Final(true) : Final(false);
        }
        if (u == "AT+CSMS?") {
            return Info("+CSMS: 0,1,1,1") + Final(true);
        }
        if (u == "AT+CMGF=0") {
            return Final(profile.pdu);
        }
        if (u == "AT+CMGF=1") {
            return Final(profile.text);
        }
        if (StartsWith(u, "AT+CMGS=")) {
            switch (profile.cmgs) {
                case CmgsAnswer::Prompt:
                    textEntry = true;
                    return "\r\n> ";
                case CmgsAnswer::Error:
                    return Final(false);
                case CmgsAnswer::Ok:
                    return Final(true);
                case CmgsAnswer::Silence:
                    textEntry = true;
                    return "";
            }
        }
        if (u.find_first_of("+*!&") == std::string::npos) {
            // Basic commands: E, V, H, Z, Q with optional digits.
            for (std::size_t i = 2; i < u.size(); ++i) {
                char c = u[i];
                int digit = i + 1 < u.size() && std::isdigit(static_cast<unsigned char>(u[i + 1]))
                                ? u[++i] - '0'
                                : 0;
                if (c == 'E') {
                    echo = digit != 0;
                } else if (c == 'V') {
                    verbose = digit != 0;
                } else if (c == 'Z') {
                    ResetState();
                } else if (c != 'H' && c != 'Q' && c != ' ') {
                    return Final(false);
                }
            }
            return Final(true);
        }
        return Final(false);
    }

    void Command(std::string cmd) {
        if (StartsWith(cmd, "+++")) {
            Note("-- escape +++");
            cmd = cmd.substr(3);
        }
        if (cmd.empty()) {
            return;
        }
        {
            std::lock_guard<std::mutex> g(lock);
            commands.push_back(cmd);
        }
        if (profile.silent) {
            return;
        }
        std::string u = Upper(cmd);
        if (!StartsWith(u, "AT")) {
            return;
        }
        if (inModem && server.userPromptForever) {
            Send("\r\nUsername: ");
            return;
        }
        std::string answer = Respond(u, cmd);
        if (!garbageSent && !profile.garbage.empty()) {
            garbageSent = true;
            answer = profile.garbage + answer;
        }
        Send(answer);
    }

    // Bytes for the modem (from the serial line, or from the server after its steps).
    void Feed(std::string_view bytes) {
        std::string echoed;
        for (char c : bytes) {
            if (textEntry) {
                if (c == 27 || c == 26) {
                    textEntry = false;
                    Note("<- " + Escape(body + c));
                    {
                        std::lock_guard<std::mutex> g(lock);
                        commands.push_back(c == 27 ? "<ESC>" : "<SUB>");
                    }
                    body.clear();
                    if (c == 26) {
                        Send(Info("+CMGS: 1") + Final(true));
                    }
                } else if (body.size() < 4096) {
                    body += c;
                }
                continue;
            }
            if (echo) {
                echoed += c;
                lineEchoed = true;
            }
            if (c == '\r') {
                if (!echoed.empty()) {
                    SendRaw(echoed, false);
                    echoed.clear();
                }
                Note("<- " + Escape(line + "\r") + (lineEchoed ? "  (echoed)" : ""));
                lineEchoed = false;
                std::string cmd = line;
                line.clear();
                Command(cmd);
            } else if (c != '\n' && line.size() < 4096) {
                line += c;
            }
        }
        if (!echoed.empty()) {
            SendRaw(echoed, false);
        }
    }

    void OnSerial(std::string_view bytes) {
        out = master;
        if (!profile.speeds.empty()) {
            termios t{};
            uint32_t speed = tcgetattr(master, &t) == 0 ? SpeedOf(cfgetospeed(&t)) : 0;
            if (std::find(profile.speeds.begin(), profile.speeds.end(), speed) ==
                profile.speeds.end()) {
                Note("-- not heard at " + std::to_string(speed) + " bit/s: " + Escape(bytes));
                line.clear();
                return;
            }
        }
        Feed(bytes);
    }

    // Closes the caller's connection; only a close of the server's own making is recorded (the
    // moment a caller's close is noticed varies, so transcripts stay comparable).
    void CloseClient(bool ours = true) {
        if (client >= 0) {
            clientFd.store(-1);
            close(client);
            if (ours) {
                Note("-- connection closed");
            }
        }
        client = -1;
        out = -1;
    }

    // Runs the server's steps from `step` until one waits for a line.
    void RunSteps() {
        while (client >= 0 && !inModem) {
            if (server.closeAtStep == static_cast<int>(step)) {
                CloseClient();
                return;
            }
            if (step >= server.steps.size()) {
                inModem = true;
                return;
            }
            if (server.steps[step].delayMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(server.steps[step].delayMs));
            }
            SendRaw(server.steps[step].send);
            if (!server.steps[step].expect.empty()) {
                return;
            }
            ++step;
        }
    }

    void OnServerLine(const std::string& text) {
        Note("<- " + Escape(text));
        if (text != server.steps[step].expect) {
            SendRaw("\r\nLogin incorrect\r\n");
            CloseClient();
            return;
        }
        ++step;
        RunSteps();
    }

    void OnClient(std::string_view bytes) {
        out = client;
        {
            std::lock_guard<std::mutex> g(lock);
            received.append(bytes);
        }
        // Telnet commands from the caller are recorded and taken out of the data.
        std::string data;
        std::string all = telnet + std::string(bytes);
        telnet.clear();
        for (std::size_t i = 0; i < all.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(all[i]);
            if (c != 255) {
                data += all[i];
                continue;
            }
            std::size_t len =
                i + 1 < all.size() && static_cast<unsigned char>(all[i + 1]) >= 251 ? 3 : 2;
            if (i + len > all.size()) {
                telnet = all.substr(i);
                break;
            }
            Note("<- " + Escape(all.substr(i, len)));
            i += len - 1;
        }
        if (inModem) {
            Feed(data);
            return;
        }
        for (char c : data) {
            if (client < 0 || inModem) {
                break;
            }
            if (c == '\r' || c == '\n') {
                if (!serverLine.empty()) {
                    std::string text = serverLine;
                    serverLine.clear();
                    OnServerLine(text);
                }
            } else if (serverLine.size() < 4096) {
                serverLine += c;
            }
        }
    }

    void Loop() {
        for (;;) {
            pollfd fds[4];
            int n = 0;
            fds[n++] = {stopPipe[0], POLLIN, 0};
            int im = -1, il = -1, ic = -1;
            if (master >= 0) {
                im = n;
                fds[n++] = {master, POLLIN, 0};
            }
            if (listener >= 0) {
                il = n;
                fds[n++] = {listener, POLLIN, 0};
            }
            if (client >= 0) {
                ic = n;
                fds[n++] = {client, POLLIN, 0};
            }
            if (poll(fds, static_cast<nfds_t>(n), -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (fds[0].revents) {
                return;
            }
            busy.store(true);
            HandleReady(fds, im, il, ic);
            busy.store(false);
        }
    }

    void HandleReady(const pollfd* fds, int im, int il, int ic) {
        {
            char buf[4096];
            if (im >= 0 && fds[im].revents) {
                ssize_t r = read(master, buf, sizeof buf);
                if (r > 0) {
                    OnSerial(std::string_view(buf, static_cast<std::size_t>(r)));
                } else if (r < 0 && errno != EAGAIN && errno != EINTR) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
            if (ic >= 0 && client >= 0 && fds[ic].revents) {
                ssize_t r = recv(client, buf, sizeof buf, 0);
                if (r > 0) {
                    OnClient(std::string_view(buf, static_cast<std::size_t>(r)));
                } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                    CloseClient(false);
                }
            }
            if (il >= 0 && fds[il].revents) {
                int c = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    CloseClient();
                    client = c;
                    clientFd.store(c);
                    out = c;
                    step = 0;
                    inModem = false;
                    serverLine.clear();
                    telnet.clear();
                    line.clear();
                    {
                        std::lock_guard<std::mutex> g(lock);
                        ++connections;
                    }
                    Note("-- connection accepted");
                    RunSteps();
                }
            }
        }
    }

    bool EnsureThread() {
        if (running) {
            return true;
        }
        if (pipe2(stopPipe, O_CLOEXEC) != 0) {
            return false;
        }
        running = true;
        platform::AddIdleProbe(&probe);
        thread = std::thread([this] { Loop(); });
        return true;
    }
};

Simulator::Simulator(Profile profile) : impl_(std::make_unique<Impl>()) {
    impl_->profile = std::move(profile);
    impl_->ResetState();
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::StartSerial() {
    Impl& m = *impl_;
    if (m.running) {
        return false;
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        return false;
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return false;
    }
    int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        close(master);
        return false;
    }
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m.master = master;
    m.slave = slave;  // kept open so that the line never hangs up between callers
    m.device = name;
    m.Note("-- serial modem on " + m.device);
    return m.EnsureThread();
}

bool Simulator::StartServer(const ServerOptions& options) {
    Impl& m = *impl_;
    if (m.running) {
        return false;
    }
    m.listener = platform::ListenLoopback(&m.port);
    if (m.listener < 0) {
        return false;
    }
    m.server = options;
    m.Note("-- terminal server on 127.0.0.1:" + std::to_string(m.port));
    return m.EnsureThread();
}

void Simulator::Stop() {
    Impl& m = *impl_;
    if (m.running) {
        char c = 0;
        ssize_t r = write(m.stopPipe[1], &c, 1);
        (void)r;
        m.thread.join();
        m.running = false;
        platform::RemoveIdleProbe(&m.probe);
    }
    for (int* fd : {&m.master, &m.slave, &m.listener, &m.client, &m.stopPipe[0], &m.stopPipe[1]}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

const std::string& Simulator::devicePath() const {
    return impl_->device;
}
uint16_t Simulator::port() const {
    return impl_->port;
}

std::string Simulator::Transcript() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    std::string text;
    for (const auto& entry : impl_->transcript) {
        text += entry;
        text += '\n';
    }
    return text;
}

std::string Simulator::ServerReceived() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->received;
}

std::vector<std::string> Simulator::Commands() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->commands;
}

int Simulator::Connections() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->connections;
}

}  // namespace modemsim
