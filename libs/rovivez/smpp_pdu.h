// SMPP 3.3/3.4 protocol data units as the client needs them: building bind, unbind, submit_sm,
// enquire_link_resp and generic_nack, and cutting received bytes into PDUs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rovivez {

enum Command : uint32_t {
    kGenericNack = 0x80000000,
    kBindReceiver = 0x00000001,
    kBindTransmitter = 0x00000002,
    kSubmitSm = 0x00000004,
    kDeliverSm = 0x00000005,
    kUnbind = 0x00000006,
    kBindTransceiver = 0x00000009,
    kEnquireLink = 0x00000015,
    kOutbind = 0x0000000B,
    kAlertNotification = 0x00000102,
    kResponseBit = 0x80000000,
};

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxPduSize = 65536;  // longer frames are refused as over-long

// Largest field sizes of SMPP 3.4, terminating NUL included.
constexpr size_t kMaxSystemId = 16;
constexpr size_t kMaxPassword = 9;
constexpr size_t kMaxSystemType = 13;
constexpr size_t kMaxAddressRange = 41;

struct Pdu {
    uint32_t length = 0;
    uint32_t id = 0;
    uint32_t status = 0;
    uint32_t sequence = 0;
    std::string body;  // the bytes after the header
};

struct BindRequest {
    uint32_t command = kBindTransmitter;
    uint32_t sequence = 1;
    std::string systemId;
    std::string password;
    std::string systemType;
    uint8_t interfaceVersion = 0x34;
    uint8_t addrTon = 0;
    uint8_t addrNpi = 0;
    std::string addressRange;
};

// A PDU with header and body; the length field is filled in.
std::string BuildPdu(uint32_t id, uint32_t status, uint32_t sequence, std::string_view body);
std::string BuildBind(const BindRequest& request);

struct SubmitRequest {
    uint32_t sequence = 1;
    std::string source;
    std::string destination;
    std::string text;
};
// A submit_sm with the text in short_message, or in the message_payload parameter when it is
// longer than 254 bytes.
std::string BuildSubmit(const SubmitRequest& request);

enum class Cut { kNeedMore, kFrame, kGarbage, kTooLong };

// Looks at the start of `buffer`: a complete PDU (taken out of `buffer` into `pdu`), more bytes
// needed, or bytes that cannot be a PDU (a length below the header size or above kMaxPduSize).
Cut CutPdu(std::string& buffer, Pdu* pdu);

// The C-octet string at `offset` of `body` (advances offset); false when no NUL ends it.
bool ReadCString(std::string_view body, size_t* offset, std::string* out);

// Fields of a bind response body: system_id and, when present, sc_interface_version.
struct BindResponse {
    std::string systemId;
    int scInterfaceVersion = -1;
};
// False when the body is malformed (an unterminated string or a parameter running past the end).
bool ParseBindResponse(std::string_view body, BindResponse* out);

// Name of a command id ("bind_transmitter_resp", or "command 0x..." when unknown).
std::string CommandName(uint32_t id);
// One line describing a PDU, with the password masked.
std::string Describe(const Pdu& pdu);

}  // namespace rovivez
