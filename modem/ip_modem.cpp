// IP modems over TCP with telnet negotiation, and the TCP connect and close helpers.
#include "modem/ip_modem.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "config/text.h"
#include "modem/box.h"
#include "platform/clock.h"
#include "platform/ini.h"
#include "platform/net.h"
#include "platform/serial_port.h"

namespace modem {
namespace {

constexpr std::size_t kAlternativesMax = 1023;
constexpr std::size_t kHostMax = 249;
constexpr std::size_t kSettingSize = 500;

bool AllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void Replace(std::string& text, std::string_view from, std::string_view to) {
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

void SendCommand(int socket, unsigned char verb, unsigned char option) {
    const char reply[3] = {static_cast<char>(kIac), static_cast<char>(verb),
                           static_cast<char>(option)};
    ModemWrite(socket, std::string_view(reply, 3));
}

// Handles the telnet commands at the head of the buffer. Returns false when the head holds a
// command whose rest has not arrived yet (it stays until it does).
bool HandleCommands(int socket, char* buffer, std::size_t& count, bool& offered, bool& text) {
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(buffer[i]); };
    auto remove = [&](std::size_t n) {
        std::memmove(buffer, buffer + n, count - n);
        count -= n;
        std::memset(buffer + count, 0, n);
    };
    while (!text && count >= 1 && at(0) == kIac) {
        if (count < 2) {
            return false;
        }
        unsigned char verb = at(1);
        if (verb == kIac) {
            // An escaped data byte: the text begins here.
            remove(1);
            text = true;
            break;
        }
        if (verb < kSe) {
            text = true;  // not a command: data
            break;
        }
        if (verb >= kWill) {  // WILL, WONT, DO, DONT
            if (count < 3) {
                return false;
            }
            unsigned char option = at(2);
            if (verb == kDo) {
                if (!offered) {
                    offered = true;
                    SendCommand(socket, kDo, kSuppressGoAhead);
                    SendCommand(socket, kWill, kSuppressGoAhead);
                }
                SendCommand(socket, option == kSuppressGoAhead ? kWill : kWont, option);
            } else if (verb == kDont) {
                SendCommand(socket, kWont, option);
            }
            remove(3);
        } else if (verb == kSb) {
            std::size_t end = 2;
            while (end + 1 < count && !(at(end) == kIac && at(end + 1) == kSe)) {
                ++end;
            }
            if (end + 1 >= count) {
                return false;  // its IAC SE has not arrived yet
            }
            remove(end + 2);
        } else {
            remove(2);  // GA, EL, EC, AYT, AO, IP, BRK, DM, NOP, SE
        }
    }
    if (count > 0 && at(0) != kIac) {
        text = true;
    }
    return true;
}

bool Matches(const char* buffer, std::size_t count, std::string_view alternatives) {
    std::string_view received(buffer, count);
    std::size_t start = 0;
    while (start <= alternatives.size()) {
        std::size_t end = alternatives.find("+++", start);
        std::string_view alt = alternatives.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (alt.empty()) {
            return false;
        }
        if (received.find(alt) != std::string_view::npos) {
            return true;
        }
        if (end == std::string_view::npos) {
            return false;
        }
        start = end + 3;
    }
    return false;
}

void Fail(int& socket, const std::string& text) {
    ShowError(text);
    platform::LinkClose(socket);
    socket = -1;
}

}  // namespace

std::size_t WaitForPrompt(int socket, char* buffer, std::size_t size, std::string_view alternatives,
                          unsigned seconds) {
    if (size == 0) {
        return 0;
    }
    alternatives = alternatives.substr(0, std::min(alternatives.size(), kAlternativesMax));
    std::memset(buffer, 0, size);
    const std::size_t capacity = size - 1;
    const uint64_t limit = uint64_t{seconds} * 1000;
    const uint64_t start = platform::TickMs();
    std::size_t count = 0;
    bool offered = false;  // the suppress-go-ahead offers went out in this wait
    bool text = false;     // ordinary text has arrived: later commands are data
    for (;;) {
        uint64_t elapsed = platform::TickMs() - start;
        if (elapsed > limit) {
            return 0;
        }
        if (count >= capacity) {
            // Full without a match: keep the newest part, long enough for any alternative.
            std::size_t keep = std::min(capacity / 2, kAlternativesMax);
            std::memmove(buffer, buffer + count - keep, keep);
            std::memset(buffer + keep, 0, size - keep);
            count = keep;
            text = true;
        }
        long n = platform::LinkRead(socket, buffer + count, capacity - count,
                                    static_cast<uint32_t>(limit - elapsed));
        if (n < 0) {
            return 0;
        }
        count += static_cast<std::size_t>(n);
        bool complete = HandleCommands(socket, buffer, count, offered, text);
        if (complete && count > 0 && Matches(buffer, count, alternatives)) {
            return count;
        }
        if (n == 0 && platform::TickMs() - start >= limit) {
            return 0;
        }
    }
}

bool NormalizeDottedIpv4(std::string& text) {
    config::TrimRight(text);
    std::string_view s = config::SkipBlanks(std::string_view(text));
    long groups[4] = {0, 0, 0, 0};
    int dots = 0;
    bool digits = false;
    for (char c : s) {
        if (c == '.') {
            if (++dots > 3) {
                return false;
            }
            digits = false;
        } else if (c >= '0' && c <= '9') {
            groups[dots] = groups[dots] * 10 + (c - '0');
            if (groups[dots] > 255) {
                return false;
            }
            digits = true;
        } else {
            return false;
        }
    }
    (void)digits;
    text = Format("%ld.%ld.%ld.%ld", groups[0], groups[1], groups[2], groups[3]);
    return true;
}

int ConnectTcp(int socket, std::string_view host, uint16_t port) {
    std::string name(host.substr(0, std::min(host.size(), kHostMax)));
    if (std::size_t hash = name.find('#');
        hash != std::string::npos && AllDigits(std::string_view(name).substr(hash + 1))) {
        name.resize(hash);
    }
    const platform::NetOps& net = platform::Net();
    if (NormalizeDottedIpv4(name)) {
        in_addr addr{};
        if (inet_pton(AF_INET, name.c_str(), &addr) != 1) {
            return 1;
        }
        return net.connect(net.ctx, socket, addr.s_addr, port) == 0 ? 0 : 1;
    }
    std::vector<uint32_t> addresses;
    if (net.resolve(net.ctx, name, &addresses) != 0 || addresses.empty()) {
        return 1;
    }
    const std::size_t n = addresses.size();
    const std::size_t first = static_cast<std::size_t>(platform::TickMs() % n);
    for (std::size_t i = 0; i < n; ++i) {
        if (net.connect(net.ctx, socket, addresses[(first + i) % n], port) == 0) {
            return 0;
        }
    }
    return 1;
}

void DrainSocket(int socket, unsigned seconds) {
    const uint64_t start = platform::TickMs();
    const uint64_t limit = uint64_t{seconds} * 1000;
    while (platform::TickMs() - start < limit) {
        int r = platform::PollWait(socket, POLLIN, 5000);
        if (r < 0) {
            return;
        }
        if (r == 0) {
            platform::SleepMs(100);
            continue;
        }
        long waiting = platform::BytesWaiting(socket);
        if (waiting <= 0) {
            return;
        }
        char discard[500];
        long got = platform::SocketReadNow(
            socket, discard, static_cast<std::size_t>(std::min<long>(waiting, sizeof discard)));
        if (got <= 0) {
            return;
        }
    }
}

void CloseSocketGracefully(int socket) {
    if (socket < 0) {
        return;
    }
    if (platform::SocketHasPeer(socket)) {
        platform::ShutdownSend(socket);
        DrainSocket(socket, 60);
    }
    platform::LinkClose(socket);
}

void UnescapeCrLf(std::string& text) {
    Replace(text, "\\r", "\r");
    Replace(text, "\\n", "\n");
}

std::string IpModemSectionName(std::string_view title) {
    std::string s(title);
    Replace(s, "[", "\\x5B");
    Replace(s, "]", "\\x5D");
    return s;
}

ModemConnection OpenIpModem(const std::string& title) {
    ModemConnection c;
    std::string rest = title.size() > 10 ? title.substr(10) : std::string();
    std::size_t colon = rest.find(':');
    std::string host = rest.substr(0, colon);
    long port = colon == std::string::npos ? 0 : config::DecimalValue(rest.substr(colon + 1));
    if (port <= 0 || port > 65535) {
        ShowError("Cannot parse port number for IP Modem - " + rest);
        return c;
    }
    int s = platform::TcpSocket();
    if (s < 0) {
        ShowError("IP Modem Failure -- General Socket Error");
        return c;
    }
    if (ConnectTcp(s, host, static_cast<uint16_t>(port)) != 0) {
        Fail(s, Format("Cannot connect to IP Modem at %s:%u", host.c_str(),
                       static_cast<unsigned>(port)));
        return c;
    }
    SetIpModemFlag();
    platform::SetNonBlocking(s, true);
    platform::SetSendBufferSize(s, 0);

    const std::string file = ModemConfigFile();
    const std::string section = IpModemSectionName(title);
    auto setting = [&](const std::string& key) {
        return platform::IniGetString(file, section, key, "", kSettingSize);
    };
    std::vector<char> buffer(kPromptBufferSize);
    auto wait = [&](std::string_view alternatives, unsigned seconds) {
        return WaitForPrompt(s, buffer.data(), buffer.size(), alternatives, seconds) != 0;
    };

    if (std::string user = setting("Username"); !user.empty()) {
        if (!wait("Username+++User name+++User+++Login", 10)) {
            Fail(s, "IP Modem connection failed, waiting for login/username prompt");
            return c;
        }
        ModemWrite(s, user + "\r\n");
    }
    if (std::string password = setting("Password"); !password.empty()) {
        if (!wait("Password+++pass", 10)) {
            Fail(s, "IP Modem connection failed, waiting for password prompt");
            return c;
        }
        ModemWrite(s, password + "\r\n");
    }
    for (unsigned n = 1; n <= 1000; ++n) {
        std::string waitFor = setting("IPModemInitWaitFor" + std::to_string(n));
        if (waitFor.empty()) {
            break;
        }
        UnescapeCrLf(waitFor);
        if (!wait(waitFor, 30)) {
            Fail(s, "IP Modem connection failed, waiting for prompt:  " + waitFor);
            return c;
        }
        std::string send = setting("IPModemInitSend" + std::to_string(n));
        if (!send.empty()) {
            UnescapeCrLf(send);
            ModemWrite(s, send);
            platform::SleepMs(1000);
        }
    }

    platform::SleepMs(3000);
    ModemDrain(s);
    ModemWrite(s, "\r");
    platform::SleepMs(1000);
    ModemWrite(s, "\r");
    platform::SleepMs(1000);
    ModemWrite(s, "ATE1\r");
    platform::SleepMs(100);

    const char* kNoOk = "IP Modem connection failed, waiting for prompt:  OK";
    if (wait("OK", 30)) {
        ModemWrite(s, "AT\r");
        if (wait("OK", 30)) {
            c.link = s;
            return c;
        }
        Fail(s, kNoOk);
        return c;
    }
    std::string_view received(buffer.data());
    if (config::FindNoCase(received, "Username") || config::FindNoCase(received, "User") ||
        config::FindNoCase(received, "Login")) {
        Fail(s,
             "IP Modem requires username for connection.\r\nEdit ZIZOD.INI, and add Username= "
             "setting under [" +
                 section + "] header.");
        return c;
    }
    ShowError(kNoOk);
    ModemWrite(s, "AT\r");
    if (wait("OK", 30)) {
        c.link = s;
        return c;
    }
    Fail(s, kNoOk);
    return c;
}

}  // namespace modem
