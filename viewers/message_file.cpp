// Reading the gateway's message files into QueuedMessage, and the message text conversions.
#include "viewers/message_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <vector>

#include "config/text.h"
#include "platform/fd_io.h"
#include "platform/share.h"

namespace viewers {
namespace {

// Files are read whole; beyond this size only the beginning is read, so that a damaged or sparse
// file cannot make the viewer allocate without bound.
constexpr std::size_t kMaxFileRead = std::size_t{16} << 20;
constexpr std::size_t kSmallFile = 8192;
constexpr std::size_t kMaxDisplayUnits = 8192;

enum class Form { kText, kData, kPid, kDcs, kBinary, kFlags, kDecimal, kLastRetry, kFirstAttempt };

struct Key {
    std::string_view name;  // including the "="
    Form form;
    std::string QueuedMessage::*field = nullptr;
    std::size_t max = 0;
    uint32_t bits = 0;
};

// The keys of the message section, matched in this order.
constexpr std::array kMessageKeys{
    Key{"PhoneNumber=", Form::kText, &QueuedMessage::recipient, kMaxRecipient},
    Key{"Sender=", Form::kText, &QueuedMessage::sender, kMaxSender},
    Key{"Data=", Form::kData, &QueuedMessage::text, kMaxText},
    Key{"udh=", Form::kText, &QueuedMessage::udh, kMaxUdh},
    Key{"SubmittedBy=", Form::kText, &QueuedMessage::submittedBy, kMaxSubmittedBy},
    Key{"SubmitUser=", Form::kText, &QueuedMessage::submitUser, kMaxSubmitUser},
    Key{"ServiceType=", Form::kText, &QueuedMessage::serviceType, kMaxServiceType},
    Key{"RouteToLocalUser=", Form::kText, &QueuedMessage::routeToLocalUser, kMaxRouteToLocalUser},
    Key{"SMPPOptions=", Form::kText, &QueuedMessage::smppOptions, kMaxSmppOptions},
    Key{"SMSCRoute=", Form::kText, &QueuedMessage::smscRoute, kMaxSmscRoute},
    Key{"Validity=", Form::kText, &QueuedMessage::validity, kMaxValidity},
    Key{"BillingInfo=", Form::kText, &QueuedMessage::billingInfo, kMaxBillingInfo},
    Key{"ModemName=", Form::kText, &QueuedMessage::modemName, kMaxModemName},
    Key{"pid=", Form::kPid},
    Key{"dcs=", Form::kDcs},
    Key{"binary=", Form::kBinary},
    Key{"ReplyRequested=", Form::kFlags, nullptr, 0, kReplyRequested},
    Key{"ReceiptRequested=", Form::kFlags, nullptr, 0, kReceiptRequested},
    Key{"ReceiptDelivered=", Form::kFlags, nullptr, 0, kIsReceipt | kReceiptDelivered},
    Key{"ReceiptIntransit=", Form::kFlags, nullptr, 0, kIsReceipt | kReceiptIntransit},
    Key{"ReceiptFailed=", Form::kFlags, nullptr, 0, kIsReceipt | kReceiptFailed},
    Key{"NonDelReceiptRequested=", Form::kFlags, nullptr, 0, kNonDelReceiptRequested},
    Key{"ReceiptMessageId=", Form::kText, &QueuedMessage::receiptMessageId, kMaxReceiptMessageId},
};

// The keys of the retry section.
constexpr std::array kRetryKeys{
    Key{"RetryCount=", Form::kDecimal},
    Key{"LastRetryTime=", Form::kLastRetry},
    Key{"FirstAttemptTime=", Form::kFirstAttempt},
    Key{"LastErrorInfo=", Form::kText, &QueuedMessage::lastErrorInfo, kMaxLastErrorInfo},
};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

// The "\r" and "\n" escapes of a "Data=" value, read left to right.
std::string Unescape(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() &&
            (value[i + 1] == 'r' || value[i + 1] == 'n')) {
            out.push_back(value[i + 1] == 'r' ? '\r' : '\n');
            ++i;
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

void Apply(QueuedMessage& m, const Key& key, std::string_view value) {
    switch (key.form) {
        case Form::kText:
            m.*key.field = value.substr(0, key.max);
            break;
        case Form::kData:
            m.*key.field = Unescape(value.substr(0, key.max));
            break;
        case Form::kPid:
            m.pid = static_cast<uint8_t>(ParseHexNumber(value));
            break;
        case Form::kDcs:
            m.dcs = static_cast<uint8_t>(ParseHexNumber(value));
            break;
        case Form::kBinary:
            m.binary = config::IsYes(value) ? 1 : 0;
            break;
        case Form::kFlags:
            if (config::IsYes(value)) {
                m.receiptFlags |= key.bits;
            }
            break;
        case Form::kDecimal:
            m.retryCount = config::DecimalInt(value);
            break;
        case Form::kLastRetry:
            m.lastRetryTime = ParseStamp14(value);
            break;
        case Form::kFirstAttempt:
            m.firstAttemptTime = ParseStamp14(value);
            break;
    }
}

// Walks the lines of a text: blanks, line ends and other control characters before a line are
// skipped; a line ends at CR, LF or the end.
class LineWalk {
  public:
    explicit LineWalk(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= 32) {
            ++pos_;
        }
        if (pos_ >= text_.size()) {
            return false;
        }
        std::size_t end = pos_;
        while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') {
            ++end;
        }
        line = text_.substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

template <std::size_t N>
void ReadSection(QueuedMessage& m, LineWalk& walk, const std::array<Key, N>& keys) {
    std::string_view line;
    while (walk.Next(line) && line.front() != '[') {
        for (const Key& key : keys) {
            if (StartsWithNoCase(line, key.name)) {
                Apply(m, key, line.substr(key.name.size()));
                break;
            }
        }
    }
}

// Positions the walk just after the first line that begins with one of `heads`.
bool FindSection(LineWalk& walk, std::string_view head1, std::string_view head2) {
    std::string_view line;
    while (walk.Next(line)) {
        if (line.front() == '[' &&
            (StartsWithNoCase(line, head1) || (!head2.empty() && StartsWithNoCase(line, head2)))) {
            return true;
        }
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Appends the UTF-8 form of a code point below 0x110000.
void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::size_t Utf8Length(uint32_t cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

}  // namespace

QueuedMessage ParseQueuedMessageText(std::string_view content) {
    QueuedMessage m;
    // The file is handled as one terminated text: a NUL ends it.
    content = content.substr(0, content.find('\0'));
    LineWalk messageWalk(content);
    if (FindSection(messageWalk, "[SMS]", "[SMS-IN]")) {
        ReadSection(m, messageWalk, kMessageKeys);
    }
    LineWalk retryWalk(content);
    if (FindSection(retryWalk, "[ErrorDetail]", {})) {
        ReadSection(m, retryWalk, kRetryKeys);
    }
    return m;
}

QueuedMessage ParseQueuedMessage(int fd) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        return {};
    }
    std::size_t size = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    if (size > kMaxFileRead) {
        size = kMaxFileRead;
    }
    char small[kSmallFile];
    std::unique_ptr<char[]> large;
    char* buffer = small;
    if (size > sizeof small) {
        large.reset(new char[size]);
        buffer = large.get();
    }
    // The file may shrink while it is read: what was read is what there is.
    std::size_t got = platform::ReadFromStart(fd, buffer, size);
    return ParseQueuedMessageText(std::string_view(buffer, got));
}

std::optional<QueuedMessage> ReadQueuedMessageFile(const std::string& path) {
    platform::SharedOpenResult open =
        platform::OpenShared(path, platform::FileAccess::kRead, platform::FileShare::kReadWrite,
                             platform::FileDisposition::kOpenExisting);
    if (!open.ok()) {
        return std::nullopt;
    }
    return ParseQueuedMessage(open.file.fd());
}

uint32_t ParseHexNumber(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) {
            break;
        }
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return value;
}

MessageTime ParseStamp14(std::string_view text) {
    MessageTime t;
    bool digits = text.size() >= 14;
    for (std::size_t i = 0; digits && i < 14; ++i) {
        digits = text[i] >= '0' && text[i] <= '9';
    }
    if (!digits) {
        t.year = 2000;
        t.month = 1;
        t.day = 1;
        return t;
    }
    auto number = [&](std::size_t from, std::size_t count) {
        uint16_t v = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            v = static_cast<uint16_t>(v * 10 + (text[i] - '0'));
        }
        return v;
    };
    t.year = number(0, 4);
    t.month = number(4, 2);
    t.day = number(6, 2);
    t.hour = number(8, 2);
    t.minute = number(10, 2);
    t.second = number(12, 2);
    return t;
}

bool IsGsm7Dcs(uint8_t dcs) {
    if ((dcs & 0xC0) == 0x00 && (dcs & 0x0C) == 0x00) {
        return true;
    }
    if ((dcs & 0xF0) == 0xF0 && (dcs & 0x04) == 0) {
        return true;
    }
    return (dcs & 0xF0) == 0xD0 || (dcs & 0xF0) == 0xC0;
}

bool IsUcs2Dcs(uint8_t dcs) {
    return ((dcs & 0xC0) == 0x00 && (dcs & 0x08) != 0) || (dcs & 0xF0) == 0xE0;
}

std::string HexUcs2ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        uint32_t unit = 0;
        int digits = 0;
        while (digits < 4 && i < text.size()) {
            int d = HexDigit(text[i]);
            if (d < 0) {
                break;
            }
            unit = (unit << 4) | static_cast<uint32_t>(d);
            ++digits;
            ++i;
        }
        if (digits == 0 || unit == 0) {
            break;
        }
        AppendUtf8(out, unit);
        if (digits < 4) {
            break;
        }
    }
    return out;
}

void Utf8ToDisplayText(std::string& text, std::size_t capacity) {
    // Step 1: the lenient decoding into 16-bit units.
    std::vector<uint16_t> units;
    units.reserve(std::min(text.size(), kMaxDisplayUnits));
    const std::size_t size = text.find('\0') == std::string::npos ? text.size() : text.find('\0');
    std::size_t i = 0;
    while (i < size && units.size() < kMaxDisplayUnits) {
        unsigned char lead = static_cast<unsigned char>(text[i++]);
        uint32_t value;
        int more;
        if (lead < 0xC0) {
            value = lead;
            more = 0;
        } else if (lead < 0xE0) {
            value = lead & 0x1F;
            more = 1;
        } else if (lead < 0xF0) {
            value = lead & 0x0F;
            more = 2;
        } else if (lead < 0xF8) {
            value = lead & 0x07;
            more = 3;
        } else if (lead < 0xFC) {
            value = lead & 0x03;
            more = 4;
        } else {
            value = lead & 0x01;
            more = 5;
        }
        for (; more > 0; --more) {
            if (i >= size) {
                value = 0;  // cut off by the end of the text
                break;
            }
            value = (value << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
        }
        uint16_t unit = static_cast<uint16_t>(value & 0xFFFF);
        units.push_back(unit == 0 ? uint16_t{'-'} : unit);
    }

    // Step 2: back to UTF-8 within the capacity.
    std::string out;
    const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    out.reserve(std::min(limit, units.size() * 3));
    for (std::size_t u = 0; u < units.size(); ++u) {
        uint32_t cp = units[u];
        if (cp >= 0xD800 && cp <= 0xDBFF && u + 1 < units.size() && units[u + 1] >= 0xDC00 &&
            units[u + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[u + 1] - 0xDC00u);
            ++u;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (out.size() + Utf8Length(cp) > limit) {
            break;
        }
        AppendUtf8(out, cp);
    }
    text = std::move(out);
}

std::string MessageDisplayText(const QueuedMessage& message, Gsm7Converter gsm7,
                               std::size_t capacity) {
    std::string text = message.text;
    if (message.binary) {
        if (IsGsm7Dcs(message.dcs)) {
            if (gsm7) {
                // Each two hexadecimal digits carry at most 8/7 characters of at most 3 bytes.
                std::vector<char> output(text.size() * 2 + 64, '\0');
                gsm7(message.udh.c_str(), text.c_str(), output.data(),
                     static_cast<unsigned>(output.size()));
                text = output.data();
            }
        } else if (IsUcs2Dcs(message.dcs)) {
            text = HexUcs2ToUtf8(text);
        }
    }
    Utf8ToDisplayText(text, capacity);
    return text;
}

}  // namespace viewers
