// The SMPP client library (librovivez.so): the C entry points and the request/response exchange.
#include "libs/rovivez/rovivez.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "libs/rovivez/smpp_pdu.h"
#include "libs/wire/wire.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"

namespace rovivez {
namespace {

constexpr int kDefaultTimeoutMs = 10000;
constexpr uint32_t kTemporaryAppError = 0x64;  // ESME_RX_T_APPN: the server keeps the message
constexpr uint32_t kInvalidCommand = 0x03;

std::atomic<int> timeoutMs{kDefaultTimeoutMs};
std::atomic<int> debugMode{0};
std::atomic<uint32_t> nextSequence{1};
wire::Transcript transcript;
const wire::ReadFailures kReadFailures{ROVIVEZ_E_CLOSED, ROVIVEZ_E_CLOSED_MID_PDU,
                                       ROVIVEZ_E_TIMEOUT, ROVIVEZ_E_SOCKET, "PDU"};

// Bytes received after the last complete PDU of a call, kept for the next call on that socket.
std::mutex pendingMutex;
int pendingFd = -1;
std::string pendingBytes;
int transcriptFd = -1;

uint32_t NextSequence() {
    uint32_t s = nextSequence.fetch_add(1);
    if (s == 0 || s > 0x7FFFFFFF) {
        nextSequence = 2;
        s = 1;
    }
    return s;
}

void StartTranscriptFor(int fd) {
    if (fd != transcriptFd) {
        transcript.Clear();
        transcriptFd = fd;
    }
}

void Log(const char* direction, const Pdu& pdu, const std::string& raw) {
    transcript.Frame(direction, Describe(pdu), raw, debugMode.load() != 0);
}

int OpenChannel(int fd, void* tls, wire::Channel* channel) {
    channel->fd = fd;
    channel->timeoutMs = timeoutMs.load();
    if (tls) {
        channel->tls = tls;
        channel->ops = wire::DeveriOps();
        if (!channel->ops) {
            return ROVIVEZ_E_TLS_UNAVAILABLE;
        }
    }
    return fd < 0 ? ROVIVEZ_E_ARGUMENT : 0;
}

// Sends a PDU and logs it; `logged` is what the transcript shows instead (the bind with the
// password starred), when given.
int SendPdu(const wire::Channel& channel, const std::string& raw,
            const std::string* logged = nullptr) {
    Pdu pdu;
    std::string copy = logged ? *logged : raw;
    CutPdu(copy, &pdu);
    Log("sent", pdu, logged ? *logged : raw);
    return wire::SendAll(channel, raw.data(), raw.size()) == 0 ? 0 : ROVIVEZ_E_SOCKET;
}

// Reads the next PDU from the server, reassembling it from as many reads as it takes.
int ReadPdu(const wire::Channel& channel, std::string& buffer, Pdu* pdu, uint64_t deadline) {
    for (;;) {
        std::string before = buffer;
        switch (CutPdu(buffer, pdu)) {
            case Cut::kFrame:
                Log("received", *pdu, before.substr(0, pdu->length));
                return 0;
            case Cut::kGarbage:
                transcript.Line("received bytes that are no SMPP PDU: " +
                                wire::Printable(buffer.substr(0, 32)));
                return ROVIVEZ_E_GARBAGE;
            case Cut::kTooLong:
                transcript.Line("received a PDU header announcing more than 65536 bytes");
                return ROVIVEZ_E_TOO_LONG;
            case Cut::kNeedMore:
                break;
        }
        if (int rc = wire::ReadMore(channel, buffer, deadline, kReadFailures, transcript)) {
            return rc;
        }
    }
}

// Sends a request and waits for its response (or a generic_nack for it). Requests of the server
// met meanwhile are answered: enquire_link with its response, deliveries with a temporary error.
int Exchange(const wire::Channel& channel, const std::string& request, uint32_t id,
             uint32_t sequence, Pdu* response, const std::string* logged = nullptr) {
    std::string buffer;
    {
        std::lock_guard<std::mutex> lock(pendingMutex);
        if (pendingFd == channel.fd) {
            buffer.swap(pendingBytes);
        }
        pendingFd = -1;
        pendingBytes.clear();
    }
    int rc = SendPdu(channel, request, logged);
    uint64_t deadline = platform::TickMs() + static_cast<uint64_t>(channel.timeoutMs);
    while (rc == 0) {
        rc = ReadPdu(channel, buffer, response, deadline);
        if (rc != 0) {
            break;
        }
        if (response->id == (id | kResponseBit) && response->sequence == sequence) {
            break;
        }
        if (response->id == kGenericNack &&
            (response->sequence == sequence || response->sequence == 0)) {
            break;
        }
        if (response->id & kResponseBit) {
            continue;  // a late answer to something else
        }
        if (response->id == kAlertNotification || response->id == kOutbind) {
            continue;  // requests that have no response PDU: any answer would be a protocol error
        }
        uint32_t answerStatus = response->id == kEnquireLink ? 0
                                : response->id == kDeliverSm ? kTemporaryAppError
                                                             : kInvalidCommand;
        uint32_t answerId =
            (response->id == kEnquireLink || response->id == kDeliverSm || response->id == kUnbind)
                ? (response->id | kResponseBit)
                : kGenericNack;
        if (response->id == kUnbind) {
            answerStatus = 0;
        }
        std::string body = answerId == (kDeliverSm | kResponseBit) ? std::string(1, '\0') : "";
        rc = SendPdu(channel, BuildPdu(answerId, answerStatus, response->sequence, body));
        if (rc == 0 && response->id == kUnbind) {
            transcript.Line("the server ended the session");
            return ROVIVEZ_E_CLOSED;
        }
    }
    if (!buffer.empty()) {
        std::lock_guard<std::mutex> lock(pendingMutex);
        pendingFd = channel.fd;
        pendingBytes = buffer;
    }
    return rc;
}

// A server's command_status as a result. Statuses that do not fit a positive int would read as
// one of the library's own (negative) failures, so they are reported as a malformed response.
int StatusResult(uint32_t status) {
    if (status > 0x7FFFFFFF) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", status);
        transcript.Line(std::string("the server's command_status ") + hex + " is no SMPP status");
        return ROVIVEZ_E_BAD_RESPONSE;
    }
    return static_cast<int>(status);
}

std::string ReadSmppKey(const char* key) {
    char value[512] = "";
    SMSIniGetProfileString("SMPP", key, "", value, sizeof value);
    return value;
}

// A TON or NPI key: a decimal number from 0 to 255, 0 when empty.
uint8_t NumberKey(const char* key) {
    std::string text = ReadSmppKey(key);
    if (text.empty()) {
        return 0;
    }
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || v < 0 || v > 255) {
        transcript.Line(std::string(key) + " \"" + text +
                        "\" is no number from 0 to 255: 0 is used");
        return 0;
    }
    return static_cast<uint8_t>(v);
}

void NoteLength(const char* field, const std::string& value, size_t max, bool masked) {
    if (value.size() + 1 > max) {
        transcript.Line(std::string(field) + " has " + std::to_string(value.size()) +
                        " characters, more than the " + std::to_string(max - 1) +
                        " SMPP 3.4 allows; sent as given" + (masked ? "" : ": \"" + value + "\""));
    }
}

}  // namespace
}  // namespace rovivez

using namespace rovivez;

extern "C" {

int SMPPConnect(int socket, int /*reserved*/, const char* host, int port) {
    transcript.Clear();
    transcriptFd = socket;
    {
        std::lock_guard<std::mutex> lock(pendingMutex);
        pendingFd = -1;
        pendingBytes.clear();
    }
    std::string why;
    int rc = wire::ConnectSocket(socket, host, port, timeoutMs.load(), &why);
    transcript.Line("connect to " + wire::HostWithoutSuffix(host ? host : "") + ":" +
                    std::to_string(port) + (rc == 0 ? ": connected" : ": failed, " + why));
    return rc;
}

int SMPPBind(int socket, void* tlsSession, int /*reserved*/, int version, int command,
             const char* systemId, const char* password, const char* systemType) {
    StartTranscriptFor(socket);
    wire::Channel channel;
    int rc = OpenChannel(socket, tlsSession, &channel);
    if (rc != 0) {
        return rc;
    }
    if ((version != 0x33 && version != 0x34) ||
        (command != kBindReceiver && command != kBindTransmitter && command != kBindTransceiver)) {
        transcript.Line("invalid interface version or bind command");
        return ROVIVEZ_E_ARGUMENT;
    }
    BindRequest request;
    request.command = static_cast<uint32_t>(command);
    request.sequence = NextSequence();
    request.systemId = systemId ? systemId : "";
    request.password = password ? password : "";
    request.systemType = systemType ? systemType : "";
    request.interfaceVersion = static_cast<uint8_t>(version);
    request.addressRange = ReadSmppKey("AddressRange");
    request.addrTon = NumberKey("BindTON");
    request.addrNpi = NumberKey("BindNPI");
    NoteLength("system_id", request.systemId, kMaxSystemId, false);
    NoteLength("password", request.password, kMaxPassword, true);
    NoteLength("system_type", request.systemType, kMaxSystemType, false);
    NoteLength("address_range", request.addressRange, kMaxAddressRange, false);
    if (tlsSession) {
        transcript.Line("over the TLS session");
    }

    BindRequest masked = request;
    masked.password.assign(request.password.size(), '*');
    std::string logged = BuildBind(masked);
    Pdu response;
    rc = Exchange(channel, BuildBind(request), request.command, request.sequence, &response,
                  &logged);
    if (rc != 0) {
        return rc;
    }
    if (response.id == kGenericNack) {
        if (command == kBindTransceiver) {
            transcript.Line("the server does not know bind_transceiver (an SMPP 3.3 server)");
            return ROVIVEZ_E_NO_TRANSCEIVER;
        }
        return response.status != 0 ? StatusResult(response.status) : ROVIVEZ_E_BAD_RESPONSE;
    }
    if (response.status != 0) {
        return StatusResult(response.status);
    }
    BindResponse fields;
    if (!ParseBindResponse(response.body, &fields)) {
        transcript.Line("the bind response body is malformed");
        return ROVIVEZ_E_BAD_RESPONSE;
    }
    transcript.Line("bound to \"" + fields.systemId + "\"");
    return 0;
}

int SMPPUnbind(int socket, void* tlsSession, int /*reserved*/, int /*version*/) {
    StartTranscriptFor(socket);
    wire::Channel channel;
    int rc = OpenChannel(socket, tlsSession, &channel);
    if (rc != 0) {
        return rc;
    }
    uint32_t sequence = NextSequence();
    Pdu response;
    rc = Exchange(channel, BuildPdu(kUnbind, 0, sequence, ""), kUnbind, sequence, &response);
    if (rc == 0 && response.id == kGenericNack) {
        rc = response.status != 0 ? StatusResult(response.status) : ROVIVEZ_E_BAD_RESPONSE;
    } else if (rc == 0) {
        rc = StatusResult(response.status);
    }
    return rc;
}

int SMPPSubmitMessage(int socket, void* tlsSession, int /*reserved*/, const char* source,
                      const char* destination, const char* text, char* messageId,
                      int messageIdSize) {
    StartTranscriptFor(socket);
    if (messageId && messageIdSize > 0) {
        messageId[0] = '\0';
    }
    wire::Channel channel;
    int rc = OpenChannel(socket, tlsSession, &channel);
    if (rc != 0) {
        return rc;
    }
    if (!destination || !*destination || !text || std::strlen(text) > 65535) {
        return ROVIVEZ_E_ARGUMENT;
    }
    SubmitRequest request;
    request.sequence = NextSequence();
    request.source = source ? source : "";
    request.destination = destination;
    request.text = text;
    Pdu response;
    rc = Exchange(channel, BuildSubmit(request), kSubmitSm, request.sequence, &response);
    if (rc != 0) {
        return rc;
    }
    if (response.status != 0 || response.id == kGenericNack) {
        return response.status != 0 ? StatusResult(response.status) : ROVIVEZ_E_BAD_RESPONSE;
    }
    size_t offset = 0;
    std::string id;
    if (!ReadCString(response.body, &offset, &id)) {
        return ROVIVEZ_E_BAD_RESPONSE;
    }
    wire::CopyOut(id, messageId, messageIdSize);
    return 0;
}

const char* SMPPErrorText(int code) {
    static const struct {
        int code;
        const char* name;
        const char* text;
    } statuses[] = {
        {0x00, "ESME_ROK", "No Error"},
        {0x01, "ESME_RINVMSGLEN", "Message Length is invalid"},
        {0x02, "ESME_RINVCMDLEN", "Command Length is invalid"},
        {0x03, "ESME_RINVCMDID", "Invalid Command ID"},
        {0x04, "ESME_RINVBNDSTS", "Incorrect BIND Status for given command"},
        {0x05, "ESME_RALYBND", "ESME Already in Bound State"},
        {0x06, "ESME_RINVPRTFLG", "Invalid Priority Flag"},
        {0x07, "ESME_RINVREGDLVFLG", "Invalid Registered Delivery Flag"},
        {0x08, "ESME_RSYSERR", "System Error"},
        {0x0A, "ESME_RINVSRCADR", "Invalid Source Address"},
        {0x0B, "ESME_RINVDSTADR", "Invalid Dest Addr"},
        {0x0C, "ESME_RINVMSGID", "Message ID is invalid"},
        {0x0D, "ESME_RBINDFAIL", "Bind Failed"},
        {0x0E, "ESME_RINVPASWD", "Invalid Password"},
        {0x0F, "ESME_RINVSYSID", "Invalid System ID"},
        {0x11, "ESME_RCANCELFAIL", "Cancel SM Failed"},
        {0x13, "ESME_RREPLACEFAIL", "Replace SM Failed"},
        {0x14, "ESME_RMSGQFUL", "Message Queue Full"},
        {0x15, "ESME_RINVSERTYP", "Invalid Service Type"},
        {0x33, "ESME_RINVNUMDESTS", "Invalid number of destinations"},
        {0x34, "ESME_RINVDLNAME", "Invalid Distribution List name"},
        {0x40, "ESME_RINVDESTFLAG", "Destination flag is invalid"},
        {0x42, "ESME_RINVSUBREP", "Invalid 'submit with replace' request"},
        {0x43, "ESME_RINVESMCLASS", "Invalid esm_class field data"},
        {0x44, "ESME_RCNTSUBDL", "Cannot Submit to Distribution List"},
        {0x45, "ESME_RSUBMITFAIL", "submit_sm or submit_multi failed"},
        {0x48, "ESME_RINVSRCTON", "Invalid Source address TON"},
        {0x49, "ESME_RINVSRCNPI", "Invalid Source address NPI"},
        {0x50, "ESME_RINVDSTTON", "Invalid Destination address TON"},
        {0x51, "ESME_RINVDSTNPI", "Invalid Destination address NPI"},
        {0x53, "ESME_RINVSYSTYP", "Invalid system_type field"},
        {0x54, "ESME_RINVREPFLAG", "Invalid replace_if_present flag"},
        {0x55, "ESME_RINVNUMMSGS", "Invalid number of messages"},
        {0x58, "ESME_RTHROTTLED", "Throttling error (ESME has exceeded allowed message limits)"},
        {0x61, "ESME_RINVSCHED", "Invalid Scheduled Delivery Time"},
        {0x62, "ESME_RINVEXPIRY", "Invalid message validity period (Expiry time)"},
        {0x63, "ESME_RINVDFTMSGID", "Predefined Message Invalid or Not Found"},
        {0x64, "ESME_RX_T_APPN", "ESME Receiver Temporary App Error Code"},
        {0x65, "ESME_RX_P_APPN", "ESME Receiver Permanent App Error Code"},
        {0x66, "ESME_RX_R_APPN", "ESME Receiver Reject Message Error Code"},
        {0x67, "ESME_RQUERYFAIL", "query_sm request failed"},
        {0xC0, "ESME_RINVOPTPARSTREAM", "Error in the optional part of the PDU Body"},
        {0xC1, "ESME_ROPTPARNOTALLWD", "Optional Parameter not allowed"},
        {0xC2, "ESME_RINVPARLEN", "Invalid Parameter Length"},
        {0xC3, "ESME_RMISSINGOPTPARAM", "Expected Optional Parameter missing"},
        {0xC4, "ESME_RINVOPTPARAMVAL", "Invalid Optional Parameter Value"},
        {0xFE, "ESME_RDELIVERYFAILURE", "Delivery Failure"},
        {0xFF, "ESME_RUNKNOWNERR", "Unknown Error"},
    };
    static const struct {
        int code;
        const char* text;
    } local[] = {
        {ROVIVEZ_E_SOCKET, "Socket error while talking to the SMPP server"},
        {ROVIVEZ_E_TIMEOUT, "No answer from the SMPP server within the time-out"},
        {ROVIVEZ_E_CLOSED, "The SMPP server closed the connection"},
        {ROVIVEZ_E_CLOSED_MID_PDU, "The SMPP server closed the connection in the middle of a PDU"},
        {ROVIVEZ_E_GARBAGE, "The server sent data that is not SMPP"},
        {ROVIVEZ_E_TOO_LONG, "The SMPP server sent an over-long PDU"},
        {ROVIVEZ_E_BAD_RESPONSE, "The SMPP server sent a malformed or unexpected response"},
        {ROVIVEZ_E_ARGUMENT, "Invalid socket, interface version or bind command"},
        {ROVIVEZ_E_TLS_UNAVAILABLE, "The TLS library is not available"},
        {ROVIVEZ_E_NO_TRANSCEIVER,
         "transceiver not supported by the server (bind_transceiver answered with generic_nack, "
         "as SMPP v3.3 servers do)"},
    };
    thread_local char buffer[256];
    for (const auto& s : statuses) {
        if (s.code == code) {
            std::snprintf(buffer, sizeof buffer, "%s (0x%08X): %s", s.name,
                          static_cast<unsigned>(code), s.text);
            return buffer;
        }
    }
    for (const auto& l : local) {
        if (l.code == code) {
            return l.text;
        }
    }
    if (code >= 0x400 && code <= 0x4FF) {
        std::snprintf(buffer, sizeof buffer, "0x%08X: SMSC vendor-specific error",
                      static_cast<unsigned>(code));
    } else {
        std::snprintf(buffer, sizeof buffer, "0x%08X: Unknown SMPP error",
                      static_cast<unsigned>(code));
    }
    return buffer;
}

void SMPPSetDebugMode(int mode) {
    debugMode = mode;
}

void SMPPSetTimeout(int milliseconds) {
    timeoutMs = milliseconds > 0 ? milliseconds : kDefaultTimeoutMs;
}

int SMPPGetTranscript(char* buffer, int size) {
    return wire::CopyOut(transcript.Text(), buffer, size);
}

}  // extern "C"
