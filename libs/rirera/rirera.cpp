// The UCP/EMI client library (librirera.so): the C entry points and the login exchange.
#include "libs/rirera/rirera.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "libs/rirera/ucp_frame.h"
#include "libs/wire/wire.h"
#include "platform/clock.h"

namespace rirera {
namespace {

constexpr int kDefaultTimeoutMs = 10000;

std::atomic<int> timeoutMs{kDefaultTimeoutMs};
std::atomic<int> debugMode{0};
std::atomic<int> nextTrn{1};
wire::Transcript transcript;
const wire::ReadFailures kReadFailures{RIRERA_E_CLOSED, RIRERA_E_CLOSED_MID_FRAME, RIRERA_E_TIMEOUT,
                                       RIRERA_E_SOCKET, "frame"};
int transcriptFd = -1;

// The server's own text with the error code it came with, for UCPErrorText.
wire::ServerText serverText;

void Log(const char* direction, const Frame& frame) {
    transcript.Frame(direction, Describe(frame), frame.raw, debugMode.load() != 0);
}

int ReadFrame(const wire::Channel& channel, std::string& buffer, Frame* frame, uint64_t deadline) {
    for (;;) {
        switch (CutFrame(buffer, frame)) {
            case Cut::kFrame:
                Log("received", *frame);
                return 0;
            case Cut::kGarbage:
                transcript.Line("received bytes that are no UCP frame: " +
                                wire::Printable(buffer.substr(0, 32)));
                return RIRERA_E_GARBAGE;
            case Cut::kTooLong:
                transcript.Line("received more than 100001 bytes without an end of frame");
                return RIRERA_E_TOO_LONG;
            case Cut::kMalformed:
                transcript.Line("received a malformed frame: " + wire::Printable(frame->raw));
                return RIRERA_E_BAD_RESPONSE;
            case Cut::kNeedMore:
                break;
        }
        if (int rc = wire::ReadMore(channel, buffer, deadline, kReadFailures, transcript)) {
            return rc;
        }
    }
}

std::string Join(const std::vector<std::string>& fields, size_t from) {
    std::string out;
    for (size_t i = from; i < fields.size(); ++i) {
        out += (i > from ? "/" : "") + fields[i];
    }
    return out;
}

}  // namespace
}  // namespace rirera

using namespace rirera;

extern "C" {

int UCPConnect(int socket, int /*reserved*/, const char* host, int port) {
    transcript.Clear();
    transcriptFd = socket;
    std::string why;
    int rc = wire::ConnectSocket(socket, host, port, timeoutMs.load(), &why);
    transcript.Line("connect to " + wire::HostWithoutSuffix(host ? host : "") + ":" +
                    std::to_string(port) + (rc == 0 ? ": connected" : ": failed, " + why));
    return rc;
}

int UCPBind(int socket, void* tlsSession, const char* user, const char* password) {
    if (socket != transcriptFd) {
        transcript.Clear();
        transcriptFd = socket;
    }
    serverText.Clear();
    wire::Channel channel;
    channel.fd = socket;
    channel.timeoutMs = timeoutMs.load();
    if (socket < 0) {
        return RIRERA_E_ARGUMENT;
    }
    if (tlsSession) {
        channel.tls = tlsSession;
        channel.ops = wire::DeveriOps();
        if (!channel.ops) {
            return RIRERA_E_TLS_UNAVAILABLE;
        }
    }
    LoginRequest request;
    request.trn = nextTrn.fetch_add(1) % 100;
    request.oadc = user ? user : "";
    request.password = password ? password : "";
    std::string raw = BuildLogin(request);
    {
        // Logged from a copy whose password is starred, so that no dump shows it.
        LoginRequest masked = request;
        masked.password.assign(request.password.size(), '*');
        std::string copy = BuildLogin(masked);
        Frame sent;
        CutFrame(copy, &sent);
        Log("sent", sent);
    }
    if (wire::SendAll(channel, raw.data(), raw.size()) != 0) {
        return RIRERA_E_SOCKET;
    }
    std::string buffer;
    uint64_t deadline = platform::TickMs() + static_cast<uint64_t>(channel.timeoutMs);
    for (;;) {
        Frame frame;
        int rc = ReadFrame(channel, buffer, &frame, deadline);
        if (rc != 0) {
            return rc;
        }
        if (frame.kind != 'R' || frame.operation != 60 || frame.trn != request.trn) {
            transcript.Line("not the answer to the login; ignored");
            continue;
        }
        if (!frame.checksumOk) {
            return RIRERA_E_CHECKSUM;
        }
        if (!frame.fields.empty() && frame.fields[0] == "A") {
            return 0;
        }
        if (frame.fields.size() >= 2 && frame.fields[0] == "N") {
            char* end = nullptr;
            long code = std::strtol(frame.fields[1].c_str(), &end, 10);
            if (end == frame.fields[1].c_str() || *end || code <= 0 || code > 99) {
                return RIRERA_E_BAD_RESPONSE;
            }
            serverText.Set(static_cast<int>(code), Join(frame.fields, 2));
            return static_cast<int>(code);
        }
        return RIRERA_E_BAD_RESPONSE;
    }
}

const char* UCPErrorText(int code) {
    static const char* const texts[] = {
        nullptr,
        "Checksum error",
        "Syntax error",
        "Operation not supported by system",
        "Operation not allowed",
        "Call barring active",
        "AdC invalid",
        "Authentication failure",
        "Legitimisation code for all calls, failure",
        "GA not valid",
        "Repetition not allowed",
        "Legitimisation code for repetition, failure",
        "Priority call not allowed",
        "Legitimisation code for priority call, failure",
        "Urgent message not allowed",
        "Legitimisation code for urgent message, failure",
        "Reverse charging not allowed",
        "Legitimisation code for rev. charging, failure",
        "Deferred delivery not allowed",
        "New AC not valid",
        "New legitimisation code not valid",
        "Standard text not valid",
        "Time period not valid",
        "Message type not supported by system",
        "Message too long",
        "Requested standard text not valid",
        "Message type not valid for the pager type",
        "Message not found in SMSC",
        nullptr,
        nullptr,
        "Subscriber hang-up",
        "Fax group not supported",
        "Fax message type not supported",
        "Address already in list",
        "Address not in list",
        "List full, cannot add address to list",
        "RPID already in use",
        "Delivery in progress",
        "Message forwarded",
    };
    static const struct {
        int code;
        const char* text;
    } local[] = {
        {RIRERA_E_SOCKET, "Socket error while talking to the UCP server"},
        {RIRERA_E_TIMEOUT, "No answer from the UCP server within the time-out"},
        {RIRERA_E_CLOSED, "The UCP server closed the connection"},
        {RIRERA_E_CLOSED_MID_FRAME,
         "The UCP server closed the connection in the middle of a frame"},
        {RIRERA_E_GARBAGE, "The server sent data that is not UCP/EMI"},
        {RIRERA_E_TOO_LONG, "The UCP server sent an over-long frame"},
        {RIRERA_E_BAD_RESPONSE, "The UCP server sent a malformed or unexpected response"},
        {RIRERA_E_ARGUMENT, "Invalid socket"},
        {RIRERA_E_TLS_UNAVAILABLE, "The TLS library is not available"},
        {RIRERA_E_CHECKSUM, "The UCP server's response has a wrong checksum"},
    };
    for (const auto& l : local) {
        if (l.code == code) {
            return l.text;
        }
    }
    thread_local char buffer[512];
    const char* text =
        code > 0 && code < static_cast<int>(sizeof texts / sizeof texts[0]) ? texts[code] : nullptr;
    std::snprintf(buffer, sizeof buffer, "%02d: %s", code, text ? text : "Unknown error");
    serverText.AppendTo(code, buffer, sizeof buffer);
    return buffer;
}

void UCPSetDebugMode(int mode) {
    debugMode = mode;
}

void UCPSetTimeout(int milliseconds) {
    timeoutMs = milliseconds > 0 ? milliseconds : kDefaultTimeoutMs;
}

int UCPGetTranscript(char* buffer, int size) {
    return wire::CopyOut(transcript.Text(), buffer, size);
}

}  // extern "C"
