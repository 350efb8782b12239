// TCP sockets for the console's connection tests and IP modems: IPv4 stream sockets, name
// resolution and connect through a replaceable table (tests record the order of attempts and keep
// every real connect on loopback), readiness waits on the injectable clock, bytes waiting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Name resolution and connect. `resolve` fills IPv4 addresses (network byte order) and returns 0,
// or non-zero when the name cannot be resolved. `connect` connects `fd` to an address (network
// order) and port (host order), blocking with the system's own time-out; 0 on success.
struct NetOps {
    int (*resolve)(void* ctx, const std::string& host, std::vector<uint32_t>* addresses);
    int (*connect)(void* ctx, int fd, uint32_t address, uint16_t port);
    void* ctx;
};
// The system's: getaddrinfo and connect.
const NetOps& SystemNetOps();
const NetOps& Net();
// Installs a table (null restores the system's); the caller keeps it alive while installed.
void SetNetOps(const NetOps* ops);

// A new IPv4 TCP socket (close-on-exec), or -1.
int TcpSocket();
bool SetNonBlocking(int fd, bool on);
bool SetSendBufferSize(int fd, int size);
// Shuts down the sending direction.
bool ShutdownSend(int fd);
// Bytes waiting to be read (FIONREAD), or -1 when the query fails.
long BytesWaiting(int fd);
// Reads what is there without waiting; the count, 0 when the peer has closed, -1 on error (also
// when nothing is waiting).
long SocketReadNow(int fd, char* buffer, std::size_t size);

// A listening IPv4 TCP socket on 127.0.0.1 with a system-chosen port (for tests and simulators);
// -1 on failure. `port` receives the port.
int ListenLoopback(uint16_t* port);

}  // namespace platform
