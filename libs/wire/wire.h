// Socket helpers shared by the SMSC protocol clients: connecting the caller's socket with a bounded
// wait, sending and reading through plain TCP or a TLS session of libdeveri, bounded reads, and the
// session transcript (each frame sent and received, decoded) kept for the "Details" view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace wire {

// Failures of the transport shared by all clients. Protocol status codes are positive; these are
// negative so that they never collide with a server's code.
enum Failure : int {
    kSocketError = -1,     // send or receive failed, or the socket is not usable
    kTimedOut = -2,        // no (complete) answer within the time-out
    kPeerClosed = -3,      // the peer closed the connection before answering
    kClosedMidFrame = -4,  // the peer closed the connection inside a frame
    kGarbage = -5,         // bytes that are no frame of the protocol
    kFrameTooLong = -6,    // a frame longer than the protocol allows
    kBadResponse = -7,     // a well-formed frame that does not answer our request
    kBadArgument = -8,     // a missing text or an invalid socket
    kTlsUnavailable = -9,  // a TLS session was given but libdeveri cannot be reached
};

// The TLS entry points of libdeveri used to carry a protocol over a session.
struct TlsOps {
    int (*send)(void* session, const char* data, int length);
    int (*recv)(void* session, char* buffer, int size);
    int (*pending)(void* session);
};

// libdeveri's entry points, resolved once (from the copy already loaded, else from the directory
// of this library). Null when the library cannot be found.
const TlsOps* DeveriOps();

// One connection: the caller's socket and, optionally, a TLS session running over it.
struct Channel {
    int fd = -1;
    void* tls = nullptr;
    const TlsOps* ops = nullptr;  // set when tls is set
    int timeoutMs = 10000;        // longest wait for the peer, per call of ReadUntil
};

// Host text of the caller without the uniqueness suffix ("#" and a number) that titles may carry.
std::string HostWithoutSuffix(std::string_view host);

// Connects the socket to host:port (IPv4), waiting at most timeoutMs. Returns 0 or an errno-style
// failure with a readable reason in `why`.
int ConnectSocket(int fd, const char* host, int port, int timeoutMs, std::string* why);

// Sends all bytes; 0 or kSocketError. Never raises SIGPIPE.
int SendAll(const Channel& channel, const void* data, size_t length);

// Reads whatever is available, waiting until `deadline` (a platform::TickMs() value): the number of
// bytes (> 0), kPeerClosed, kTimedOut or kSocketError.
int ReadSome(const Channel& channel, char* buffer, size_t size, uint64_t deadline);

class Transcript;

// What a protocol calls its read failures: its own codes, and its word for one unit ("PDU",
// "frame", "packet") in the transcript.
struct ReadFailures {
    int closed;     // the server closed the connection before a unit began
    int closedMid;  // ... inside a unit
    int timeout;
    int socket;
    const char* unit;
};

// Appends what arrives before `deadline` to `buffer`. 0 when bytes arrived; otherwise the
// protocol's failure code, with the reason noted in `transcript`.
int ReadMore(const Channel& channel, std::string& buffer, uint64_t deadline,
             const ReadFailures& codes, Transcript& transcript);

// The transcript of one session: lines of text, passwords already masked by the caller.
class Transcript {
  public:
    void Clear();
    void Line(const std::string& text);
    void Frame(const char* direction, std::string_view decoded, std::string_view raw, bool hex);
    std::string Text() const;

  private:
    mutable std::mutex mutex_;
    std::string text_;
};

// The server's own words for the last error code it sent (UCP/EMI and CIMD2 send one beside the
// code), kept for the error-text call of the same library. Thread-safe.
class ServerText {
  public:
    void Clear() { Set(0, {}); }
    void Set(int code, std::string text);
    // Appends " (text)" to the NUL-terminated `buffer` of `size` bytes when `code` is the last
    // code and it came with words.
    void AppendTo(int code, char* buffer, size_t size) const;

  private:
    mutable std::mutex mutex_;
    int code_ = 0;
    std::string text_;
};

// Copies `text` into a caller's buffer of `size` bytes (cut, always NUL-terminated when size > 0)
// and returns the full length, so that a caller can ask again with a larger buffer.
int CopyOut(const std::string& text, char* buffer, int size);

// Printable form of protocol bytes: control characters as <STX>, <ETX>, <TAB> or <xx>.
std::string Printable(std::string_view bytes);
// Hex dump of bytes, 16 per line.
std::string HexDump(std::string_view bytes);

}  // namespace wire
