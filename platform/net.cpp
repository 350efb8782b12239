// POSIX sockets behind platform/net.h.
#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

int SystemResolve(void*, const std::string& host, std::vector<uint32_t>* addresses) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) {
        return 1;
    }
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            addresses->push_back(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
        }
    }
    freeaddrinfo(list);
    return addresses->empty() ? 1 : 0;
}

int SystemConnect(void*, int fd, uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    int r;
    do {
        r = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (r != 0 && errno == EINTR);
    return r == 0 ? 0 : 1;
}

const NetOps kSystem{SystemResolve, SystemConnect, nullptr};
std::atomic<const NetOps*> g_ops{&kSystem};

}  // namespace

const NetOps& SystemNetOps() {
    return kSystem;
}
const NetOps& Net() {
    return *g_ops.load();
}
void SetNetOps(const NetOps* ops) {
    g_ops.store(ops ? ops : &kSystem);
}

int TcpSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

bool SetNonBlocking(int fd, bool on) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) {
        return false;
    }
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

bool SetSendBufferSize(int fd, int size) {
    return setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) == 0;
}

bool ShutdownSend(int fd) {
    return shutdown(fd, SHUT_WR) == 0;
}

long BytesWaiting(int fd) {
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

long SocketReadNow(int fd, char* buffer, std::size_t size) {
    ssize_t n = recv(fd, buffer, size, MSG_DONTWAIT);
    return n < 0 ? -1 : static_cast<long>(n);
}

int ListenLoopback(uint16_t* port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        close(fd);
        return -1;
    }
    if (port) {
        *port = ntohs(sa.sin_port);
    }
    return fd;
}

}  // namespace platform
