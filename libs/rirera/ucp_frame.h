// UCP/EMI frames as the client needs them: building operation 60 (session management) and cutting
// received bytes into frames with their length and checksum checked.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rirera {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr size_t kMaxFrame = 99999 + 2;  // the length field has five digits

// The checksum of the text between STX and the checksum itself: the sum of its bytes, modulo 256,
// as two upper-case hex digits.
std::string Checksum(std::string_view text);

// A frame "<STX>TRN/LEN/O|R/OT/field/.../CC<ETX>" with the length and checksum filled in.
std::string BuildFrame(int trn, char kind, int operation, const std::vector<std::string>& fields);

// Text as IRA characters in hex, two digits per byte ("Password" -> "50617373776F7264").
std::string IraHex(std::string_view text);

struct LoginRequest {
    int trn = 1;
    std::string oadc;  // the user name
    std::string oton = "6";
    std::string onpi = "5";
    std::string password;
};
// Operation 60, open session (STYP 1), interface version 0100.
std::string BuildLogin(const LoginRequest& request);

struct Frame {
    int trn = -1;
    char kind = 0;  // 'O' or 'R'
    int operation = -1;
    std::vector<std::string> fields;  // after the operation type, checksum excluded
    bool checksumOk = false;
    std::string raw;  // STX to ETX
};

enum class Cut { kNeedMore, kFrame, kGarbage, kTooLong, kMalformed };

// Looks at the start of `buffer`: a complete frame (taken out into `frame`), more bytes needed,
// bytes before an STX (kGarbage), no ETX within kMaxFrame (kTooLong), or a frame whose header or
// length field is wrong (kMalformed; taken out). A wrong checksum is reported in the frame.
Cut CutFrame(std::string& buffer, Frame* frame);

// One line describing a frame, with the password of an operation 60 masked.
std::string Describe(const Frame& frame);

}  // namespace rirera
