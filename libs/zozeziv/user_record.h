/* One user account as the support library's user-file calls exchange it: a fixed 522-byte block.
 * Text fields are NUL-terminated single-byte strings; numbers are little-endian. Every member is a
 * byte or a byte array, so the block has no padding and no alignment needs. C++ code reads and
 * writes the fields through the typed accessors at the end of this header. */
#ifndef ZOZEZIV_USER_RECORD_H
#define ZOZEZIV_USER_RECORD_H

#include <stddef.h>

#define USER_RECORD_SIZE 522

/* Field sizes, terminating NUL included. */
#define USER_NAME_SIZE 51
#define USER_PASSWORD_SIZE 51
#define USER_FULL_NAME_SIZE 101
#define USER_RESTRICT_IP_SIZE 50
#define USER_FORCED_SENDER_SIZE 51
#define USER_SPEED_LIMIT_SIZE 10

/* Values of the web menu option byte. */
#define USER_WEB_MENU_ALL 0xB0
#define USER_WEB_MENU_TEXT_SMS 0xB1
#define USER_WEB_MENU_SMS_MMS 0xB2
#define USER_WEB_MENU_SMS_WAP_MM 0xB3
#define USER_WEB_MENU_SMS_MMS_WAP_MM 0xB4
/* The admin access byte of an account that may edit accounts through the web interface. */
#define USER_ADMIN_ACCESS 0x6A

typedef struct UserRecord {
    char userName[USER_NAME_SIZE];              /*   0: the key; also the user directory's name */
    char password[USER_PASSWORD_SIZE];          /*  51: stored as typed */
    char fullName[USER_FULL_NAME_SIZE];         /* 102 */
    unsigned char webLoginDisabled;             /* 203: 0 = web login enabled, 1 = disabled */
    unsigned char smppLoginEnabled;             /* 204: 1 = enabled */
    unsigned char smtpLoginEnabled;             /* 205: 1 = enabled */
    unsigned char maxPerDay[4];                 /* 206: 32-bit little-endian, 0 = not set */
    unsigned char maxPerMonth[4];               /* 210: 32-bit little-endian */
    unsigned char reserved214[11];              /* 214: zero */
    char restrictIp[USER_RESTRICT_IP_SIZE];     /* 225: allowed IP address(es) as typed */
    unsigned char reserved275;                  /* 275: zero */
    char forcedSender[USER_FORCED_SENDER_SIZE]; /* 276 */
    unsigned char reserved327[82];              /* 327: zero */
    char speedLimit[USER_SPEED_LIMIT_SIZE];     /* 409: "messages/seconds", empty = no limit */
    unsigned char webMenuOption;                /* 419: USER_WEB_MENU_... */
    unsigned char adminAccess;                  /* 420: USER_ADMIN_ACCESS or 0 */
    unsigned char acceptReceived;               /* 421: 1 = received messages routed here */
    unsigned char reserved422[100];             /* 422: zero */
} UserRecord;

#ifdef __cplusplus
static_assert(sizeof(UserRecord) == USER_RECORD_SIZE, "UserRecord is 522 bytes");
static_assert(alignof(UserRecord) == 1, "UserRecord has no alignment needs");
static_assert(offsetof(UserRecord, password) == 51);
static_assert(offsetof(UserRecord, fullName) == 102);
static_assert(offsetof(UserRecord, webLoginDisabled) == 203);
static_assert(offsetof(UserRecord, smppLoginEnabled) == 204);
static_assert(offsetof(UserRecord, smtpLoginEnabled) == 205);
static_assert(offsetof(UserRecord, maxPerDay) == 206);
static_assert(offsetof(UserRecord, maxPerMonth) == 210);
static_assert(offsetof(UserRecord, reserved214) == 214);
static_assert(offsetof(UserRecord, restrictIp) == 225);
static_assert(offsetof(UserRecord, reserved275) == 275);
static_assert(offsetof(UserRecord, forcedSender) == 276);
static_assert(offsetof(UserRecord, reserved327) == 327);
static_assert(offsetof(UserRecord, speedLimit) == 409);
static_assert(offsetof(UserRecord, webMenuOption) == 419);
static_assert(offsetof(UserRecord, adminAccess) == 420);
static_assert(offsetof(UserRecord, acceptReceived) == 421);
static_assert(offsetof(UserRecord, reserved422) == 422);
#else
_Static_assert(sizeof(UserRecord) == USER_RECORD_SIZE, "UserRecord is 522 bytes");
_Static_assert(offsetof(UserRecord, speedLimit) == 409, "UserRecord layout");
#endif

#ifdef __cplusplus

#include <cstdint>
#include <cstring>
#include <string_view>

namespace zozeziv {

// A record with every byte zero: no name, every login disabled but the web one, no limits.
inline UserRecord EmptyUserRecord() {
    UserRecord r;
    std::memset(&r, 0, sizeof r);
    return r;
}

// The block as the C calls take it.
inline char* RecordBytes(UserRecord& r) {
    return reinterpret_cast<char*>(&r);
}
inline const char* RecordBytes(const UserRecord& r) {
    return reinterpret_cast<const char*>(&r);
}

// Text of a field: up to its first NUL, never beyond the field.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    const void* nul = std::memchr(field, '\0', N);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : N};
}

// Stores `text` cut to N - 1 bytes; the rest of the field is zero, so it is always terminated.
template <std::size_t N>
void SetFieldText(char (&field)[N], std::string_view text) {
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n > 0) {
        std::memcpy(field, text.data(), n);
    }
    std::memset(field + n, 0, N - n);
}

inline std::uint32_t ReadLe32(const unsigned char (&b)[4]) {
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}
inline void WriteLe32(unsigned char (&b)[4], std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

inline std::string_view UserName(const UserRecord& r) {
    return FieldText(r.userName);
}
inline void SetUserName(UserRecord& r, std::string_view v) {
    SetFieldText(r.userName, v);
}
inline std::string_view Password(const UserRecord& r) {
    return FieldText(r.password);
}
inline void SetPassword(UserRecord& r, std::string_view v) {
    SetFieldText(r.password, v);
}
inline std::string_view FullName(const UserRecord& r) {
    return FieldText(r.fullName);
}
inline void SetFullName(UserRecord& r, std::string_view v) {
    SetFieldText(r.fullName, v);
}
inline std::string_view RestrictIp(const UserRecord& r) {
    return FieldText(r.restrictIp);
}
inline void SetRestrictIp(UserRecord& r, std::string_view v) {
    SetFieldText(r.restrictIp, v);
}
inline std::string_view ForcedSender(const UserRecord& r) {
    return FieldText(r.forcedSender);
}
inline void SetForcedSender(UserRecord& r, std::string_view v) {
    SetFieldText(r.forcedSender, v);
}

// The receive speed limit, "messages/seconds". A value whose first character is not a decimal
// digit is stored empty (no limit).
inline std::string_view SpeedLimit(const UserRecord& r) {
    return FieldText(r.speedLimit);
}
inline void SetSpeedLimit(UserRecord& r, std::string_view v) {
    bool digit = !v.empty() && v[0] >= '0' && v[0] <= '9';
    SetFieldText(r.speedLimit, digit ? v : std::string_view{});
}

// The web login byte has the inverted sense: 0 means enabled.
inline bool WebLoginEnabled(const UserRecord& r) {
    return r.webLoginDisabled == 0;
}
inline void SetWebLoginEnabled(UserRecord& r, bool on) {
    r.webLoginDisabled = on ? 0 : 1;
}
inline bool SmppLoginEnabled(const UserRecord& r) {
    return r.smppLoginEnabled != 0;
}
inline void SetSmppLoginEnabled(UserRecord& r, bool on) {
    r.smppLoginEnabled = on ? 1 : 0;
}
inline bool SmtpLoginEnabled(const UserRecord& r) {
    return r.smtpLoginEnabled != 0;
}
inline void SetSmtpLoginEnabled(UserRecord& r, bool on) {
    r.smtpLoginEnabled = on ? 1 : 0;
}

inline std::uint32_t MaxMessagesPerDay(const UserRecord& r) {
    return ReadLe32(r.maxPerDay);
}
inline void SetMaxMessagesPerDay(UserRecord& r, std::uint32_t v) {
    WriteLe32(r.maxPerDay, v);
}
inline std::uint32_t MaxMessagesPerMonth(const UserRecord& r) {
    return ReadLe32(r.maxPerMonth);
}
inline void SetMaxMessagesPerMonth(UserRecord& r, std::uint32_t v) {
    WriteLe32(r.maxPerMonth, v);
}

enum class WebMenuOption : unsigned char {
    kAllOptions = USER_WEB_MENU_ALL,
    kTextSmsOnly = USER_WEB_MENU_TEXT_SMS,
    kSmsMmsOnly = USER_WEB_MENU_SMS_MMS,
    kSmsWapMultimediaOnly = USER_WEB_MENU_SMS_WAP_MM,
    kSmsMmsWapMmOnly = USER_WEB_MENU_SMS_MMS_WAP_MM,
};
// Any value outside 0xB0 ... 0xB4 reads as all options enabled.
inline WebMenuOption GetWebMenuOption(const UserRecord& r) {
    unsigned char v = r.webMenuOption;
    return v >= USER_WEB_MENU_ALL && v <= USER_WEB_MENU_SMS_MMS_WAP_MM
               ? static_cast<WebMenuOption>(v)
               : WebMenuOption::kAllOptions;
}
inline void SetWebMenuOption(UserRecord& r, WebMenuOption v) {
    r.webMenuOption = static_cast<unsigned char>(v);
}

inline bool AdminAccess(const UserRecord& r) {
    return r.adminAccess == USER_ADMIN_ACCESS;
}
inline void SetAdminAccess(UserRecord& r, bool on) {
    r.adminAccess = on ? USER_ADMIN_ACCESS : 0;
}
inline bool AcceptsReceivedMessages(const UserRecord& r) {
    return r.acceptReceived != 0;
}
inline void SetAcceptsReceivedMessages(UserRecord& r, bool on) {
    r.acceptReceived = on ? 1 : 0;
}

}  // namespace zozeziv

#endif /* __cplusplus */

#endif /* ZOZEZIV_USER_RECORD_H */
