// UCP/EMI frames (see ucp_frame.h).
#include "libs/rirera/ucp_frame.h"

#include <cstdio>

namespace rirera {

namespace {

bool AllDigits(std::string_view s, size_t n) {
    if (s.size() != n) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::vector<std::string> Split(std::string_view text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = text.find('/', start);
        if (slash == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, slash - start));
        start = slash + 1;
    }
}

}  // namespace

std::string Checksum(std::string_view text) {
    unsigned sum = 0;
    for (unsigned char c : text) {
        sum += c;
    }
    char out[4];
    std::snprintf(out, sizeof out, "%02X", sum & 0xFF);
    return out;
}

std::string BuildFrame(int trn, char kind, int operation, const std::vector<std::string>& fields) {
    std::string data;
    char op[8];
    std::snprintf(op, sizeof op, "%02d", operation % 100);
    data = std::string(1, kind) + "/" + op + "/";
    for (const std::string& f : fields) {
        data += f + "/";
    }
    char header[16];
    // TRN (2) + "/" + LEN (5) + "/" + data + checksum (2)
    size_t length = 2 + 1 + 5 + 1 + data.size() + 2;
    std::snprintf(header, sizeof header, "%02d/%05zu/", trn % 100, length);
    std::string text = header + data;
    return std::string(1, kStx) + text + Checksum(text) + kEtx;
}

std::string IraHex(std::string_view text) {
    std::string out;
    char hex[4];
    for (unsigned char c : text) {
        std::snprintf(hex, sizeof hex, "%02X", c);
        out += hex;
    }
    return out;
}

std::string BuildLogin(const LoginRequest& r) {
    return BuildFrame(
        r.trn, 'O', 60,
        {r.oadc, r.oton, r.onpi, "1", IraHex(r.password), "", "0100", "", "", "", "", ""});
}

Cut CutFrame(std::string& buffer, Frame* frame) {
    size_t skip = 0;
    while (skip < buffer.size() && (buffer[skip] == '\r' || buffer[skip] == '\n')) {
        ++skip;  // line ends some servers put between frames
    }
    buffer.erase(0, skip);
    if (buffer.empty()) {
        return Cut::kNeedMore;
    }
    if (buffer[0] != kStx) {
        return Cut::kGarbage;
    }
    size_t etx = buffer.find(kEtx);
    if (etx == std::string::npos) {
        return buffer.size() > kMaxFrame ? Cut::kTooLong : Cut::kNeedMore;
    }
    if (etx > kMaxFrame) {
        return Cut::kTooLong;
    }
    std::string text = buffer.substr(1, etx - 1);
    *frame = Frame{};
    frame->raw = buffer.substr(0, etx + 1);
    buffer.erase(0, etx + 1);
    if (text.find(kStx) != std::string::npos || text.size() < 2) {
        return Cut::kMalformed;
    }
    std::vector<std::string> parts = Split(text);
    // TRN, LEN, O/R, OT, ..., checksum
    if (parts.size() < 5 || !AllDigits(parts[0], 2) || !AllDigits(parts[1], 5) ||
        parts[2].size() != 1 || (parts[2][0] != 'O' && parts[2][0] != 'R') ||
        !AllDigits(parts[3], 2)) {
        return Cut::kMalformed;
    }
    if (std::stoul(parts[1]) != text.size()) {
        return Cut::kMalformed;
    }
    frame->trn = std::stoi(parts[0]);
    frame->kind = parts[2][0];
    frame->operation = std::stoi(parts[3]);
    frame->fields.assign(parts.begin() + 4, parts.end() - 1);
    const std::string& sum = parts.back();
    frame->checksumOk = sum.size() == 2 && Checksum(text.substr(0, text.size() - 2)) == sum;
    return Cut::kFrame;
}

std::string Describe(const Frame& f) {
    char head[48];
    std::snprintf(head, sizeof head, "TRN=%02d %s operation %02d", f.trn,
                  f.kind == 'O' ? "request" : "response", f.operation);
    std::string line = head;
    std::vector<std::string> fields = f.fields;
    if (f.kind == 'O' && f.operation == 60 && fields.size() > 4) {
        fields[4] = std::string(fields[4].size(), '*');  // PWD
        if (fields.size() > 5 && !fields[5].empty()) {
            fields[5] = std::string(fields[5].size(), '*');  // NPWD
        }
    }
    line += " fields:";
    for (const std::string& field : fields) {
        line += " [" + field + "]";
    }
    if (!f.checksumOk) {
        line += " (wrong checksum)";
    }
    return line;
}

}  // namespace rirera
