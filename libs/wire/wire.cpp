// Socket helpers shared by the SMSC protocol clients (see wire.h).
#include "libs/wire/wire.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"

namespace wire {

namespace {

// Waits for `events` on fd until the deadline; 1 ready, 0 timed out, -1 failed.
int WaitFor(int fd, short events, uint64_t deadline) {
    for (;;) {
        uint64_t now = platform::TickMs();
        int wait =
            now >= deadline ? 0 : static_cast<int>(std::min<uint64_t>(deadline - now, 60000));
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, wait);
        if (r > 0) {
            return 1;
        }
        if (r < 0 && errno != EINTR) {
            return -1;
        }
        if (r == 0 && platform::TickMs() >= deadline) {
            return 0;
        }
    }
}

}  // namespace

const TlsOps* DeveriOps() {
    static const TlsOps* ops = []() -> const TlsOps* {
        void* lib = dlopen("libdeveri.so", RTLD_NOW | RTLD_NOLOAD);
        if (!lib) {
            Dl_info info{};
            if (dladdr(reinterpret_cast<void*>(&DeveriOps), &info) && info.dli_fname) {
                std::string path = info.dli_fname;
                size_t slash = path.rfind('/');
                path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                       "libdeveri.so";
                lib = dlopen(path.c_str(), RTLD_NOW);
            }
        }
        if (!lib) {
            return nullptr;
        }
        static TlsOps found{};
        found.send = reinterpret_cast<int (*)(void*, const char*, int)>(dlsym(lib, "sslSend"));
        found.recv = reinterpret_cast<int (*)(void*, char*, int)>(dlsym(lib, "sslRecv"));
        found.pending = reinterpret_cast<int (*)(void*)>(dlsym(lib, "sslDataPending"));
        if (!found.send || !found.recv || !found.pending) {
            dlclose(lib);  // incomplete: nothing of it stays bound
            found = TlsOps{};
            return nullptr;
        }
        return &found;
    }();
    return ops;
}

std::string HostWithoutSuffix(std::string_view host) {
    size_t hash = host.rfind('#');
    if (hash != std::string_view::npos && hash + 1 < host.size()) {
        bool digits = true;
        for (size_t i = hash + 1; i < host.size(); ++i) {
            digits = digits && host[i] >= '0' && host[i] <= '9';
        }
        if (digits) {
            host = host.substr(0, hash);
        }
    }
    return std::string(host);
}

int ConnectSocket(int fd, const char* host, int port, int timeoutMs, std::string* why) {
    if (fd < 0 || !host || port <= 0 || port > 65535) {
        *why = "invalid socket, host or port";
        return EINVAL;
    }
    std::string name = HostWithoutSuffix(host);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(name.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (rc != 0 || !list) {
        *why = "cannot resolve \"" + name + "\": " + gai_strerror(rc);
        return EHOSTUNREACH;
    }
    int flags = fcntl(fd, F_GETFL);
    int error = ECONNREFUSED;
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            error = 0;
            break;
        }
        error = errno;
        if (error != EINPROGRESS) {
            continue;
        }
        int ready = WaitFor(fd, POLLOUT, platform::TickMs() + static_cast<uint64_t>(timeoutMs));
        if (ready <= 0) {
            error = ready == 0 ? ETIMEDOUT : errno;
            break;  // the socket is now in an undefined state; a second address cannot use it
        }
        socklen_t len = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        break;
    }
    fcntl(fd, F_SETFL, flags);
    freeaddrinfo(list);
    if (error != 0) {
        *why = std::strerror(error);
    }
    return error;
}

int SendAll(const Channel& channel, const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    uint64_t deadline = platform::TickMs() + static_cast<uint64_t>(channel.timeoutMs);
    while (length > 0) {
        long n;
        if (channel.tls) {
            n = channel.ops->send(channel.tls, p,
                                  static_cast<int>(std::min<size_t>(length, 16384)));
        } else {
            if (WaitFor(channel.fd, POLLOUT, deadline) <= 0) {
                return kSocketError;
            }
            n = send(channel.fd, p, length, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
        }
        if (n <= 0) {
            return kSocketError;
        }
        p += n;
        length -= static_cast<size_t>(n);
    }
    return 0;
}

int ReadSome(const Channel& channel, char* buffer, size_t size, uint64_t deadline) {
    for (;;) {
        if (!(channel.tls && channel.ops->pending(channel.tls) > 0)) {
            int ready = WaitFor(channel.fd, POLLIN, deadline);
            if (ready == 0) {
                return kTimedOut;
            }
            if (ready < 0) {
                return kSocketError;
            }
        }
        long n;
        if (channel.tls) {
            n = channel.ops->recv(channel.tls, buffer,
                                  static_cast<int>(std::min<size_t>(size, 65536)));
            if (n == 0) {
                return kPeerClosed;
            }
            return n < 0 ? kSocketError : static_cast<int>(n);
        }
        n = recv(channel.fd, buffer, size, MSG_DONTWAIT);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0 || errno == ECONNRESET) {  // a reset: the peer closed without reading all
            return kPeerClosed;
        }
        if (errno != EAGAIN && errno != EINTR) {
            return kSocketError;
        }
    }
}

int ReadMore(const Channel& channel, std::string& buffer, uint64_t deadline,
             const ReadFailures& codes, Transcript& transcript) {
    char chunk[4096];
    int n = ReadSome(channel, chunk, sizeof chunk, deadline);
    if (n > 0) {
        buffer.append(chunk, static_cast<size_t>(n));
        return 0;
    }
    if (n == kPeerClosed) {
        transcript.Line(buffer.empty() ? std::string("the server closed the connection")
                                       : std::string("the server closed the connection inside a ") +
                                             codes.unit);
        return buffer.empty() ? codes.closed : codes.closedMid;
    }
    if (n == kTimedOut) {
        transcript.Line("no complete answer from the server within " +
                        std::to_string(channel.timeoutMs) + " ms");
        return codes.timeout;
    }
    transcript.Line(std::string("receive failed: ") + std::strerror(errno));
    return codes.socket;
}

void Transcript::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.clear();
}

void Transcript::Line(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ += text;
    text_ += '\n';
}

void Transcript::Frame(const char* direction, std::string_view decoded, std::string_view raw,
                       bool hex) {
    std::string line = std::string(direction) + " " + std::string(decoded) + "\n";
    if (hex) {
        line += HexDump(raw);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    text_ += line;
}

std::string Transcript::Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

void ServerText::Set(int code, std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    code_ = code;
    text_ = std::move(text);
}

void ServerText::AppendTo(int code, char* buffer, size_t size) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (code == code_ && !text_.empty()) {
        size_t used = std::strlen(buffer);
        std::snprintf(buffer + used, size - used, " (%s)", text_.c_str());
    }
}

int CopyOut(const std::string& text, char* buffer, int size) {
    if (buffer && size > 0) {
        size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(text.size());
}

std::string Printable(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == 2) {
            out += "<STX>";
        } else if (c == 3) {
            out += "<ETX>";
        } else if (c == 9) {
            out += "<TAB>";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string HexDump(std::string_view bytes) {
    std::string out;
    char cell[8];
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += (i % 16 == 0) ? "    " : " ";
        std::snprintf(cell, sizeof cell, "%02X", static_cast<unsigned char>(bytes[i]));
        out += cell;
        if (i % 16 == 15 || i + 1 == bytes.size()) {
            out += '\n';
        }
    }
    return out;
}

}  // namespace wire
