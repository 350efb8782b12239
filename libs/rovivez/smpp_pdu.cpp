// SMPP protocol data units (see smpp_pdu.h).
#include "libs/rovivez/smpp_pdu.h"

#include <cstdio>

namespace rovivez {

namespace {

void Put32(std::string& out, uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

uint32_t Get32(std::string_view s, size_t at) {
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(s[at + i])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

void PutCString(std::string& out, std::string_view text) {
    out += text;
    out += '\0';
}

std::string Hex32(uint32_t v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", v);
    return buffer;
}

}  // namespace

std::string BuildPdu(uint32_t id, uint32_t status, uint32_t sequence, std::string_view body) {
    std::string out;
    Put32(out, static_cast<uint32_t>(kHeaderSize + body.size()));
    Put32(out, id);
    Put32(out, status);
    Put32(out, sequence);
    out += body;
    return out;
}

std::string BuildBind(const BindRequest& r) {
    std::string body;
    PutCString(body, r.systemId);
    PutCString(body, r.password);
    PutCString(body, r.systemType);
    body += static_cast<char>(r.interfaceVersion);
    body += static_cast<char>(r.addrTon);
    body += static_cast<char>(r.addrNpi);
    PutCString(body, r.addressRange);
    return BuildPdu(r.command, 0, r.sequence, body);
}

std::string BuildSubmit(const SubmitRequest& r) {
    auto address = [](std::string_view a, uint8_t* ton, uint8_t* npi) {
        bool plus = !a.empty() && a[0] == '+';
        if (plus) {
            a.remove_prefix(1);
        }
        bool digits = !a.empty();
        for (char c : a) {
            digits = digits && c >= '0' && c <= '9';
        }
        *ton =
            digits ? (plus ? 1 : 0) : (a.empty() ? 0 : 5);  // international, unknown, alphanumeric
        *npi = digits ? 1 : 0;
        return std::string(a);
    };
    uint8_t sourceTon, sourceNpi, destTon, destNpi;
    std::string source = address(r.source, &sourceTon, &sourceNpi);
    std::string destination = address(r.destination, &destTon, &destNpi);
    std::string body;
    PutCString(body, "");  // service_type
    body += static_cast<char>(sourceTon);
    body += static_cast<char>(sourceNpi);
    PutCString(body, source);
    body += static_cast<char>(destTon);
    body += static_cast<char>(destNpi);
    PutCString(body, destination);
    body += std::string(3, '\0');  // esm_class, protocol_id, priority_flag
    PutCString(body, "");          // schedule_delivery_time
    PutCString(body, "");          // validity_period
    body +=
        std::string(4, '\0');  // registered_delivery, replace_if_present, data_coding, default id
    if (r.text.size() <= 254) {
        body += static_cast<char>(r.text.size());
        body += r.text;
    } else {
        body += '\0';
        body += "\x04\x24";  // message_payload
        body += static_cast<char>(r.text.size() >> 8);
        body += static_cast<char>(r.text.size());
        body += r.text;
    }
    return BuildPdu(kSubmitSm, 0, r.sequence, body);
}

Cut CutPdu(std::string& buffer, Pdu* pdu) {
    if (buffer.size() < 4) {
        return Cut::kNeedMore;
    }
    uint32_t length = Get32(buffer, 0);
    if (length < kHeaderSize) {
        return Cut::kGarbage;
    }
    if (length > kMaxPduSize) {
        return Cut::kTooLong;
    }
    if (buffer.size() < length) {
        return Cut::kNeedMore;
    }
    pdu->length = length;
    pdu->id = Get32(buffer, 4);
    pdu->status = Get32(buffer, 8);
    pdu->sequence = Get32(buffer, 12);
    pdu->body = buffer.substr(kHeaderSize, length - kHeaderSize);
    buffer.erase(0, length);
    return Cut::kFrame;
}

bool ReadCString(std::string_view body, size_t* offset, std::string* out) {
    if (*offset > body.size()) {
        return false;
    }
    size_t end = body.find('\0', *offset);
    if (end == std::string_view::npos) {
        return false;
    }
    *out = std::string(body.substr(*offset, end - *offset));
    *offset = end + 1;
    return true;
}

bool ParseBindResponse(std::string_view body, BindResponse* out) {
    size_t offset = 0;
    if (body.empty()) {
        return true;  // a response without body (some servers answer errors so)
    }
    if (!ReadCString(body, &offset, &out->systemId)) {
        return false;
    }
    while (offset < body.size()) {
        if (body.size() - offset < 4) {
            return false;
        }
        uint32_t tag = static_cast<unsigned char>(body[offset]) << 8 |
                       static_cast<unsigned char>(body[offset + 1]);
        uint32_t length = static_cast<unsigned char>(body[offset + 2]) << 8 |
                          static_cast<unsigned char>(body[offset + 3]);
        offset += 4;
        if (body.size() - offset < length) {
            return false;
        }
        if (tag == 0x0210 && length == 1) {
            out->scInterfaceVersion = static_cast<unsigned char>(body[offset]);
        }
        offset += length;
    }
    return true;
}

std::string CommandName(uint32_t id) {
    static const struct {
        uint32_t id;
        const char* name;
    } names[] = {
        {0x80000000, "generic_nack"},     {0x00000001, "bind_receiver"},
        {0x00000002, "bind_transmitter"}, {0x00000003, "query_sm"},
        {0x00000004, "submit_sm"},        {0x00000005, "deliver_sm"},
        {0x00000006, "unbind"},           {0x00000007, "replace_sm"},
        {0x00000008, "cancel_sm"},        {0x00000009, "bind_transceiver"},
        {0x0000000B, "outbind"},          {0x00000015, "enquire_link"},
        {0x00000021, "submit_multi"},     {0x00000102, "alert_notification"},
        {0x00000103, "data_sm"},
    };
    for (const auto& n : names) {
        if (n.id == id) {
            return n.name;
        }
        if (id != kGenericNack && (id & ~kResponseBit) == n.id && (id & kResponseBit)) {
            return std::string(n.name) + "_resp";
        }
    }
    return "command " + Hex32(id);
}

std::string Describe(const Pdu& pdu) {
    std::string line = CommandName(pdu.id) + " seq=" + std::to_string(pdu.sequence) +
                       " status=" + Hex32(pdu.status) + " length=" + std::to_string(pdu.length);
    size_t offset = 0;
    std::string text;
    switch (pdu.id) {
        case kBindReceiver:
        case kBindTransmitter:
        case kBindTransceiver: {
            std::string systemId, password, systemType, range;
            if (ReadCString(pdu.body, &offset, &systemId) &&
                ReadCString(pdu.body, &offset, &password) &&
                ReadCString(pdu.body, &offset, &systemType) && pdu.body.size() >= offset + 3) {
                char version[16];
                std::snprintf(version, sizeof version, "0x%02X",
                              static_cast<unsigned char>(pdu.body[offset]));
                int ton = static_cast<unsigned char>(pdu.body[offset + 1]);
                int npi = static_cast<unsigned char>(pdu.body[offset + 2]);
                offset += 3;
                ReadCString(pdu.body, &offset, &range);
                line += " system_id=\"" + systemId + "\" password=\"" +
                        std::string(password.size(), '*') + "\" system_type=\"" + systemType +
                        "\" interface_version=" + version + " addr_ton=" + std::to_string(ton) +
                        " addr_npi=" + std::to_string(npi) + " address_range=\"" + range + "\"";
            }
            break;
        }
        default:
            if ((pdu.id & kResponseBit) && pdu.id != kGenericNack && !pdu.body.empty()) {
                BindResponse response;
                if ((pdu.id & ~kResponseBit) <= 9 && ParseBindResponse(pdu.body, &response)) {
                    line += " id=\"" + response.systemId + "\"";
                    if (response.scInterfaceVersion >= 0) {
                        char version[16];
                        std::snprintf(version, sizeof version, "0x%02X",
                                      response.scInterfaceVersion);
                        line += std::string(" sc_interface_version=") + version;
                    }
                }
            }
            break;
    }
    return line;
}

}  // namespace rovivez
