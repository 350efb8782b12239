// Serial ports and the byte links of the modem engine. A "link" is a file descriptor: a serial
// device (termios, raw, held exclusively with TIOCEXCL plus an exclusive flock) or a TCP socket.
// Reads and writes carry time-outs measured on the injectable clock (platform/clock.h), so that
// minutes of modem waiting run in virtual time in tests.
//
// COMn port names: "COMn" (with or without the trailing ":", any letter case) and the
// device-namespace form "\\.\COMn" name the device of the port map: the link COMn in the
// directory $ZELMOSMS_COMPORTS when that variable is set, else key COMn of section [Ports] of
// R/ProgramData/COMPORTS.INI, else /dev/ttyS<n-1>. A name starting with "/" is a device path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A failure as the console reports it: a code (the classic system codes where the console
// compares them: 2 not found, 5 access denied; otherwise the errno value) and the system's text.
struct SystemError {
    uint32_t code = 0;
    std::string text;
};
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;

// The port number of "COMn", "COMn:" or "\\.\COMn" (letter case ignored); nothing otherwise.
std::optional<unsigned> ComPortNumber(std::string_view name);
// The device behind port n through the port map.
std::string ComPortDevice(unsigned n);
// The port name ("COMn") whose device is `device` (compared after resolving links); the device
// path itself when no mapped port matches.
std::string PortNameForDevice(const std::string& device);

// Opens a serial port by port name or device path: read/write, raw, exclusive. Returns the
// descriptor, or -1 with `error` filled; a port held by another program (or by this one through
// another descriptor) fails with kErrorAccessDenied.
int SerialOpen(const std::string& name, SystemError* error = nullptr);

// Queue sizes are the driver's on this host; succeeds for any open serial descriptor.
bool SerialSetupQueues(int fd, uint32_t inputSize, uint32_t outputSize);

// The line settings the console touches.
struct SerialState {
    uint32_t baud = 0;
    int dataBits = 8;
    char parity = 'N';  // N, E, O
    int stopBits = 1;
};
bool SerialGetState(int fd, SerialState* state);
bool SerialSetState(int fd, const SerialState& state);
// Applies a definition text such as "baud=9600 parity=N data=8 stop=1" to `state`; false when the
// text names something this host cannot set (unknown key, unsupported speed, bad value).
bool ApplyCommDefinition(SerialState* state, std::string_view definition);

// The per-port time-outs: a read ends when `readTotalMs` has passed or when `readIntervalMs`
// passes between two bytes; a write is abandoned after `writeTotalMs`. 0 means no limit.
struct SerialTimeouts {
    uint32_t readIntervalMs = 0;
    uint32_t readTotalMs = 0;
    uint32_t writeTotalMs = 0;
};
bool SerialSetTimeouts(int fd, const SerialTimeouts& timeouts);

// ---- Links (serial ports and sockets) -----------------------------------------------------

// Waits until `fd` is ready for `events` (poll flags) or `timeoutMs` of clock time has passed.
// Returns 1 when ready (hang-up and error count as ready), 0 on time-out, -1 on a poll error.
// Under a virtual clock it polls in short real slices. With in-process peers (see IdleProbe) it
// runs at real pace while one is busy and skips to the end once all are idle; otherwise virtual
// time runs at real pace for a short grace after the last link activity (so a peer's prompt answer
// is never late) and then jumps ahead, so long silent waits finish in a fraction of a second.
int PollWait(int fd, short events, uint32_t timeoutMs);

// A peer that runs in this process (a simulator on a thread) can tell the waits above when it has
// taken all input and sent all its answers: while every installed probe says so, a wait under a
// virtual clock skips straight to its end instead of pacing through the grace.
struct IdleProbe {
    bool (*idle)(void* ctx);
    void* ctx;
};
void AddIdleProbe(const IdleProbe* probe);
void RemoveIdleProbe(const IdleProbe* probe);

// Reads into `buffer` (up to `size` bytes), waiting at most `waitMs`; a serial port also ends the
// read by its own time-outs. Returns the byte count (0 when nothing arrived), or -1 when the read
// cannot be done: bad descriptor, the peer has closed the socket, the line is hung up.
long LinkRead(int fd, char* buffer, std::size_t size, uint32_t waitMs);
// Bytes LinkRead has handed to callers in this process so far. An in-process peer (a simulator
// on a thread) can tell from it that what it sent has been taken.
uint64_t LinkBytesRead();
// Writes `size` bytes, waiting at most `waitMs` (and the port's write time-out) for room. Returns
// the count written (less when the wait ran out: the rest is cancelled), -1 when it cannot start.
long LinkWrite(int fd, const char* data, std::size_t size, uint32_t waitMs);
// Closes a link: a serial port gives up its exclusive hold first. Harmless for -1.
void LinkClose(int fd);

bool IsSocket(int fd);
// True when `fd` is a socket with a peer address (connected).
bool SocketHasPeer(int fd);

}  // namespace platform
