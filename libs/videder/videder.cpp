// The CIMD2 client library (libvideder.so): the C entry points and the login/logout exchange.
#include "libs/videder/videder.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "libs/videder/cimd_packet.h"
#include "libs/wire/wire.h"
#include "platform/clock.h"

namespace videder {
namespace {

constexpr int kDefaultTimeoutMs = 10000;

std::atomic<int> timeoutMs{kDefaultTimeoutMs};
std::atomic<int> debugMode{0};
std::atomic<int> nextNumber{1};
wire::Transcript transcript;
const wire::ReadFailures kReadFailures{VIDEDER_E_CLOSED, VIDEDER_E_CLOSED_MID_PACKET,
                                       VIDEDER_E_TIMEOUT, VIDEDER_E_SOCKET, "packet"};
int transcriptFd = -1;

wire::ServerText serverText;

// Packet numbers of the client are odd, from 001 to 255.
int NextNumber() {
    int n = nextNumber.fetch_add(2);
    if (n > 255) {
        nextNumber = 3;
        n = 1;
    }
    return n;
}

void Log(const char* direction, const Packet& packet) {
    transcript.Frame(direction, Describe(packet), packet.raw, debugMode.load() != 0);
}

int ReadPacket(const wire::Channel& channel, std::string& buffer, Packet* packet,
               uint64_t deadline) {
    for (;;) {
        switch (CutPacket(buffer, packet)) {
            case Cut::kFrame:
                Log("received", *packet);
                return 0;
            case Cut::kGarbage:
                transcript.Line("received bytes that are no CIMD2 packet: " +
                                wire::Printable(buffer.substr(0, 32)));
                return VIDEDER_E_GARBAGE;
            case Cut::kTooLong:
                transcript.Line("received more than 8192 bytes without an end of packet");
                return VIDEDER_E_TOO_LONG;
            case Cut::kMalformed:
                transcript.Line("received a malformed packet: " + wire::Printable(packet->raw));
                return VIDEDER_E_BAD_RESPONSE;
            case Cut::kNeedMore:
                break;
        }
        if (int rc = wire::ReadMore(channel, buffer, deadline, kReadFailures, transcript)) {
            return rc;
        }
    }
}

// Sends a request and waits for the answer with operation request + 50, a nack (98) or a general
// error response (99). Returns 0 with the answer in `answer`, or a failure code.
int Exchange(const wire::Channel& channel, const std::string& raw, const std::string& logged,
             int operation, int number, std::string& buffer, Packet* answer) {
    Packet sent;
    std::string copy = logged;
    CutPacket(copy, &sent);
    Log("sent", sent);
    if (wire::SendAll(channel, raw.data(), raw.size()) != 0) {
        return VIDEDER_E_SOCKET;
    }
    uint64_t deadline = platform::TickMs() + static_cast<uint64_t>(channel.timeoutMs);
    for (;;) {
        int rc = ReadPacket(channel, buffer, answer, deadline);
        if (rc != 0) {
            return rc;
        }
        bool ours =
            answer->number == number && (answer->operation == operation + 50 ||
                                         answer->operation == 98 || answer->operation == 99);
        if (!ours) {
            transcript.Line("not the answer to our request; ignored");
            continue;
        }
        if (!answer->checksumOk) {
            return VIDEDER_E_CHECKSUM;
        }
        return 0;
    }
}

// The error of an answer: 0 when it carries none, the code of parameter 900 otherwise.
int AnswerError(const Packet& answer) {
    const std::string* code = answer.Find(900);
    if (answer.operation == 98) {
        return VIDEDER_E_NACK;
    }
    if (!code) {
        return answer.operation == 99 ? VIDEDER_E_BAD_RESPONSE : 0;
    }
    char* end = nullptr;
    long value = std::strtol(code->c_str(), &end, 10);
    if (end == code->c_str() || *end || value < 0 || value > 999) {
        return VIDEDER_E_BAD_RESPONSE;
    }
    if (value == 0) {
        return 0;  // "no error"
    }
    const std::string* text = answer.Find(901);
    serverText.Set(static_cast<int>(value), text ? *text : "");
    return static_cast<int>(value);
}

}  // namespace
}  // namespace videder

using namespace videder;

extern "C" {

int CIMDConnect(const char* /*reserved*/, int socket, const char* host, int port) {
    transcript.Clear();
    transcriptFd = socket;
    std::string why;
    int rc = wire::ConnectSocket(socket, host, port, timeoutMs.load(), &why);
    transcript.Line("connect to " + wire::HostWithoutSuffix(host ? host : "") + ":" +
                    std::to_string(port) + (rc == 0 ? ": connected" : ": failed, " + why));
    return rc;
}

int CIMDBind(const char* /*reserved*/, int socket, const char* user, const char* password) {
    if (socket != transcriptFd) {
        transcript.Clear();
        transcriptFd = socket;
    }
    serverText.Clear();
    if (socket < 0) {
        return VIDEDER_E_ARGUMENT;
    }
    wire::Channel channel;
    channel.fd = socket;
    channel.timeoutMs = timeoutMs.load();
    std::string userText = user ? user : "";
    std::string passwordText = password ? password : "";
    int number = NextNumber();
    std::string buffer;
    Packet answer;
    int rc = Exchange(channel, BuildLogin(number, userText, passwordText),
                      BuildLogin(number, userText, std::string(passwordText.size(), '*')), 1,
                      number, buffer, &answer);
    if (rc == 0) {
        rc = AnswerError(answer);
    }
    if (rc != 0) {
        return rc;
    }
    transcript.Line("logged in");
    // Log out again so that the caller closes a socket with no session on it. The login result
    // stands whatever the logout brings.
    number = NextNumber();
    std::string logout = BuildLogout(number);
    if (Exchange(channel, logout, logout, 2, number, buffer, &answer) == 0 &&
        AnswerError(answer) == 0) {
        transcript.Line("logged out");
    }
    return 0;
}

const char* CIMDErrorText(int code) {
    static const struct {
        int code;
        const char* text;
    } texts[] = {
        {1, "Unexpected operation"},
        {2, "Syntax error"},
        {3, "Unsupported parameter error"},
        {4, "Connection to SMSC lost"},
        {5, "No response from SMSC"},
        {6, "General system error"},
        {7, "Cannot find information"},
        {8, "Parameter formatting error"},
        {9, "Requested operation failed"},
        {10, "Temporary congestion error"},
        {100, "Invalid login"},
        {101, "Incorrect access type"},
        {102, "Too many users with this login ID"},
        {103, "Login refused by SMSC"},
        {104, "Invalid window size"},
        {105, "Windowing disabled"},
        {106, "Virtual SMS Center-based barring"},
        {107, "Invalid subaddr"},
        {108, "Alias account, login refused"},
        {VIDEDER_E_SOCKET, "Socket error while talking to the CIMD server"},
        {VIDEDER_E_TIMEOUT, "No answer from the CIMD server within the time-out"},
        {VIDEDER_E_CLOSED, "The CIMD server closed the connection"},
        {VIDEDER_E_CLOSED_MID_PACKET,
         "The CIMD server closed the connection in the middle of a packet"},
        {VIDEDER_E_GARBAGE, "The server sent data that is not CIMD2"},
        {VIDEDER_E_TOO_LONG, "The CIMD server sent an over-long packet"},
        {VIDEDER_E_BAD_RESPONSE, "The CIMD server sent a malformed or unexpected response"},
        {VIDEDER_E_ARGUMENT, "Invalid socket"},
        {VIDEDER_E_CHECKSUM, "The CIMD server's response has a wrong checksum"},
        {VIDEDER_E_NACK, "The CIMD server refused the login packet (nack)"},
    };
    const char* text = nullptr;
    for (const auto& t : texts) {
        if (t.code == code) {
            text = t.text;
        }
    }
    if (code < 0) {
        return text ? text : "Unknown error";
    }
    thread_local char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%d: %s", code, text ? text : "CIMD error");
    serverText.AppendTo(code, buffer, sizeof buffer);
    return buffer;
}

void CIMDSetDebugMode(int mode) {
    debugMode = mode;
}

void CIMDSetTimeout(int milliseconds) {
    timeoutMs = milliseconds > 0 ? milliseconds : kDefaultTimeoutMs;
}

int CIMDGetTranscript(char* buffer, int size) {
    return wire::CopyOut(transcript.Text(), buffer, size);
}

}  // extern "C"
