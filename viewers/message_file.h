// The gateway's queued and received SMS files (".REQ", ".IN", ".REC", ".SMS") as the viewers read
// them, and the conversions that turn their stored message text into text for the screen.
//
// A message file is 8-bit text in INI style: a message section headed "[SMS]" or "[SMS-IN]" and a
// retry section headed "[ErrorDetail]", each with key=value lines. The console never writes these
// files; the gateway may rewrite or delete them while they are read, so reading takes no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace viewers {

// A date-time as stored in the files; day of week and milliseconds are always 0.
struct MessageTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
    bool operator==(const MessageTime&) const = default;
};

// Bits of QueuedMessage::receiptFlags.
constexpr uint32_t kReplyRequested = 1;
constexpr uint32_t kReceiptRequested = 2;
constexpr uint32_t kIsReceipt = 4;  // set with each of the three receipt kinds below
constexpr uint32_t kReceiptDelivered = 8;
constexpr uint32_t kReceiptIntransit = 16;
constexpr uint32_t kReceiptFailed = 32;
constexpr uint32_t kNonDelReceiptRequested = 64;

// The longest value each text field keeps; longer values are cut there.
constexpr std::size_t kMaxRecipient = 149;
constexpr std::size_t kMaxSender = 149;
constexpr std::size_t kMaxText = 8191;  // cut before the "\r" and "\n" escapes are replaced
constexpr std::size_t kMaxUdh = 499;
constexpr std::size_t kMaxSubmittedBy = 499;
constexpr std::size_t kMaxSubmitUser = 249;
constexpr std::size_t kMaxServiceType = 99;
constexpr std::size_t kMaxRouteToLocalUser = 99;
constexpr std::size_t kMaxSmppOptions = 499;
constexpr std::size_t kMaxSmscRoute = 99;
constexpr std::size_t kMaxValidity = 49;
constexpr std::size_t kMaxBillingInfo = 49;
constexpr std::size_t kMaxLastErrorInfo = 199;
constexpr std::size_t kMaxModemName = 149;
constexpr std::size_t kMaxReceiptMessageId = 149;

// One message file, decoded. A field whose key is absent is empty, zero or (the two times) all
// zero.
struct QueuedMessage {
    std::string recipient;         // "PhoneNumber=": the recipient, or the sender's phone number
    std::string sender;            // "Sender="
    std::string text;              // "Data=", with "\r" and "\n" turned into CR and LF
    std::string udh;               // "udh=": user data header, hexadecimal
    std::string submittedBy;       // "SubmittedBy="
    std::string submitUser;        // "SubmitUser=": the user account that submitted it
    std::string serviceType;       // "ServiceType="
    std::string routeToLocalUser;  // "RouteToLocalUser="
    std::string smppOptions;       // "SMPPOptions="
    std::string smscRoute;         // "SMSCRoute="
    std::string validity;          // "Validity="
    std::string billingInfo;       // "BillingInfo="
    std::string lastErrorInfo;     // "LastErrorInfo=" of the retry section
    std::string modemName;         // "ModemName="
    uint8_t pid = 0;               // "pid=", hexadecimal
    uint8_t dcs = 0;               // "dcs=", hexadecimal
    uint32_t binary = 0;           // "binary=": the text is data written as hexadecimal digits
    int32_t retryCount = 0;        // "RetryCount=" of the retry section
    uint32_t receiptFlags = 0;     // the k... bits above
    MessageTime lastRetryTime;     // "LastRetryTime=" of the retry section
    MessageTime firstAttemptTime;  // "FirstAttemptTime=" of the retry section
    std::string receiptMessageId;  // "ReceiptMessageId="
};

// Decodes the content of a message file. Text after a NUL byte is not read. Never fails: what
// cannot be understood is left empty or zero.
QueuedMessage ParseQueuedMessageText(std::string_view content);

// Reads and decodes an open message file from its start (the caller opens and closes it). A file
// whose size cannot be had gives the empty record. Only the first 16 MiB of a file are read.
QueuedMessage ParseQueuedMessage(int fd);

// Opens `path` for reading without a lock (the gateway may be writing), decodes it and closes it.
// Nothing when the file cannot be opened (it may have been deleted since it was listed).
std::optional<QueuedMessage> ReadQueuedMessageFile(const std::string& path);

// The value of the leading hexadecimal digits; 0 when there are none. Wraps past 32 bits.
uint32_t ParseHexNumber(std::string_view text);

// "YYYYMMDDhhmmss" (the first 14 characters, digits only, values not range-checked); anything
// else gives 1 January 2000, 00:00:00.
MessageTime ParseStamp14(std::string_view text);

// Data coding schemes of the GSM 7-bit default alphabet and of UCS-2.
bool IsGsm7Dcs(uint8_t dcs);
bool IsUcs2Dcs(uint8_t dcs);

// Hexadecimal UCS-2 (four digits a unit, the first most significant) to UTF-8, each unit encoded
// by itself. Reading stops at the first character that is not a hexadecimal digit; a unit 0 ends
// the output. The result is never longer than the input.
std::string HexUcs2ToUtf8(std::string_view text);

// Turns 8-bit message text into well-formed UTF-8 for the screen, in place. The text is decoded
// into at most 8,192 16-bit units with the lenient rules of the gateway's files (a byte below 0xC0
// stands for itself, so stray Latin-1 bytes show as their characters; longer sequences keep their
// low 16 bits; a sequence cut off by the end of the text, and every unit 0, become '-'), then
// written back as UTF-8 in at most `capacity - 1` bytes, never splitting a character. Surrogate
// pairs are joined; a lone surrogate shows as U+FFFD.
void Utf8ToDisplayText(std::string& text, std::size_t capacity);

// The support library's converter of hexadecimal GSM 7-bit data (with its user data header) to
// UTF-8 in a buffer of `size` bytes, `GSM7ToUTF8StringN` in libs/zozeziv/zozeziv.h. Passed in so
// that this folder does not link the support library and tests can stand in for it.
using Gsm7Converter = void (*)(const char* udh, const char* text, char* output, unsigned size);

// The capacity the received-SMS viewer displays a message text with.
constexpr std::size_t kDisplayTextCapacity = 7168;

// The text a viewer shows for a message. Binary messages are decoded first: GSM 7-bit data with
// `gsm7` (left as hexadecimal digits when `gsm7` is null), UCS-2 data with HexUcs2ToUtf8, other
// data stays hexadecimal. Then Utf8ToDisplayText with `capacity`.
std::string MessageDisplayText(const QueuedMessage& message, Gsm7Converter gsm7,
                               std::size_t capacity = kDisplayTextCapacity);

}  // namespace viewers
