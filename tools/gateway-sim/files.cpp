// The gateway's files of files.h.
#include "tools/gateway-sim/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "libs/zozeziv/zozeziv.h"
#include "platform/dirs.h"
#include "platform/eventlog.h"
#include "platform/fd_io.h"
#include "platform/ini.h"
#include "platform/share.h"

namespace gatewaysim {
namespace {

constexpr std::size_t kCounterBytes = 366 * 4;
constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

std::string SupportDirectory(void (*get)(char*)) {
    std::string buffer(ZOZEZIV_MAX_PATH, '\0');
    get(buffer.data());
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string TempNameFor(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + ".~" + name + "." + std::to_string(::getpid()) + ".tmp";
}

std::string ReadHead(const std::string& path, std::size_t max) {
    std::string out;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return out;
    }
    out.resize(max);
    std::size_t got = 0;
    while (got < max) {
        ssize_t n = ::read(fd, out.data() + got, max - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    ::close(fd);
    return out;
}

// Opens an existing credit file the way a writer that lets others only read does: an exclusive
// lock taken without waiting. Holds no file when it is missing, held elsewhere or unwritable;
// `missing` tells the first case.
platform::SharedFile OpenForUpdate(const std::string& path, bool* missing) {
    platform::SharedOpenResult r =
        platform::OpenShared(path, platform::FileAccess::kReadWrite, platform::FileShare::kRead,
                             platform::FileDisposition::kOpenExisting);
    *missing = r.error == platform::FileOpenError::kNotFound;
    return std::move(r.file);
}

int64_t ReadBalance(int fd) {
    unsigned char bytes[8] = {};
    ssize_t n = ::pread(fd, bytes, sizeof bytes, 0);
    int64_t value = 0;
    if (n == 8) {
        uint64_t raw = 0;
        for (int i = 7; i >= 0; --i) {
            raw = (raw << 8) | bytes[i];
        }
        value = static_cast<int64_t>(raw);
    } else if (n == 4) {
        uint32_t raw = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
        value = int64_t{static_cast<int32_t>(raw)} * 1000;
    }
    return value < 0 ? 0 : value;
}

bool WriteBalance(int fd, int64_t value) {
    unsigned char bytes[8];
    uint64_t raw = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(raw >> (8 * i));
    }
    return ::pwrite(fd, bytes, sizeof bytes, 0) == 8;
}

// UTF-8 to code points; a broken sequence gives U+FFFD.
std::vector<uint32_t> CodePoints(std::string_view utf8) {
    std::vector<uint32_t> out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int more = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (more < 0 || (more > 0 && i + static_cast<std::size_t>(more) >= utf8.size())) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        uint32_t cp = more == 0 ? c : c & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(more) + 1;
    }
    return out;
}

// The GSM 7-bit default alphabet, septet value to code point.
constexpr uint16_t kGsm7[128] = {
    '@',   0xA3,   '$',  0xA5,  0xE8, 0xE9,  0xF9,  0xEC,  0xF2,  0xC7,  '\n',  0xD8,  0xF8,
    '\r',  0xC5,   0xE5, 0x394, '_',  0x3A6, 0x393, 0x39B, 0x3A9, 0x3A0, 0x3A8, 0x3A3, 0x398,
    0x39E, 0xFFFF, 0xC6, 0xE6,  0xDF, 0xC9,  ' ',   '!',   '"',   '#',   0xA4,  '%',   '&',
    '\'',  '(',    ')',  '*',   '+',  ',',   '-',   '.',   '/',   '0',   '1',   '2',   '3',
    '4',   '5',    '6',  '7',   '8',  '9',   ':',   ';',   '<',   '=',   '>',   '?',   0xA1,
    'A',   'B',    'C',  'D',   'E',  'F',   'G',   'H',   'I',   'J',   'K',   'L',   'M',
    'N',   'O',    'P',  'Q',   'R',  'S',   'T',   'U',   'V',   'W',   'X',   'Y',   'Z',
    0xC4,  0xD6,   0xD1, 0xDC,  0xA7, 0xBF,  'a',   'b',   'c',   'd',   'e',   'f',   'g',
    'h',   'i',    'j',  'k',   'l',  'm',   'n',   'o',   'p',   'q',   'r',   's',   't',
    'u',   'v',    'w',  'x',   'y',  'z',   0xE4,  0xF6,  0xF1,  0xFC,  0xE0,
};
// Characters of the extension table, reached through the escape septet 0x1B.
constexpr std::pair<uint16_t, uint8_t> kGsm7Extension[] = {
    {'^', 0x14}, {'{', 0x28}, {'}', 0x29}, {'\\', 0x2F},   {'[', 0x3C},
    {'~', 0x3D}, {']', 0x3E}, {'|', 0x40}, {0x20AC, 0x65},
};

void AppendSeptets(uint32_t cp, std::vector<uint8_t>& septets) {
    for (uint8_t s = 0; s < 128; ++s) {
        if (s != 0x1B && kGsm7[s] == cp) {
            septets.push_back(s);
            return;
        }
    }
    for (auto [ext, s] : kGsm7Extension) {
        if (ext == cp) {
            septets.push_back(0x1B);
            septets.push_back(s);
            return;
        }
    }
    septets.push_back('?');
}

void AppendHex(std::string& out, unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int d = digits - 1; d >= 0; --d) {
        out += kDigits[(value >> (4 * d)) & 0xF];
    }
}

}  // namespace

SimPaths ResolvePaths() {
    SimPaths p;
    p.programData = SupportDirectory(GetProgramDataDirectory);
    p.privateData = SupportDirectory(GetPrivateDataDirectory);
    p.configFile = p.programData + "ZIZOD.INI";
    auto dir = [&](const char* key, const char* fallback) {
        std::string value = platform::IniGetString(p.configFile, "ZIZOD", key, "", 260);
        return value.empty() ? p.programData + fallback : WithSlash(value);
    };
    p.queueDir = dir("QDir", "Q/");
    p.smsInDir = dir("SmsInDir", "SMS-IN/");
    p.mmsDir = dir("MMSDir", "MMS-IN/");
    p.usersDir = dir("UsersDir", "USERS/");
    p.eventLog = platform::ApplicationEventLogPath();
    return p;
}

std::string FileSafe(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c == ':' || c == '/' || c == '\\') {
            c = '-';
        }
    }
    return out;
}

bool WriteFileAtomic(const std::string& path, std::string_view content) {
    platform::MakeDirectories(DirectoryOf(path));
    std::string temp = TempNameFor(path);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
    if (fd < 0) {
        return false;
    }
    bool ok = platform::WriteAllFd(fd, content);
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
    }
    return ok;
}

// ---- Counters ----------------------------------------------------------------------------------

Day DayBefore(std::time_t now, int daysBack) {
    std::tm tm{};
    ::localtime_r(&now, &tm);
    // Noon keeps the step of whole days clear of daylight-saving shifts.
    tm.tm_hour = 12;
    tm.tm_min = tm.tm_sec = 0;
    tm.tm_mday -= daysBack;
    tm.tm_isdst = -1;
    std::time_t then = std::mktime(&tm);
    ::localtime_r(&then, &tm);
    int year = tm.tm_year + 1900;
    int index = kDaysBefore[tm.tm_mon] + tm.tm_mday - 1 + (year % 4 == 0 && tm.tm_mon >= 2);
    return {year, index};
}

int LastEntryOfYear(int year) {
    return year % 4 == 0 ? 365 : 364;
}

bool UpdateCounter(const std::string& path, const std::vector<std::pair<int, uint32_t>>& entries,
                   bool add) {
    std::string bytes = ReadHead(path, kCounterBytes);
    bytes.resize(kCounterBytes, '\0');
    for (auto [index, value] : entries) {
        if (index < 0 || index >= 366) {
            continue;
        }
        auto* at = reinterpret_cast<unsigned char*>(bytes.data()) + index * 4;
        uint32_t old = at[0] | (at[1] << 8) | (at[2] << 16) | (uint32_t{at[3]} << 24);
        uint32_t now = add ? old + value : value;
        for (int i = 0; i < 4; ++i) {
            at[i] = static_cast<unsigned char>(now >> (8 * i));
        }
    }
    return WriteFileAtomic(path, bytes);
}

bool SetFirstEntry(const std::string& path, uint32_t value) {
    return UpdateCounter(path, {{0, value}}, false);
}

std::string GatewayCounterPath(const SimPaths& p, std::string_view name, int year) {
    return p.privateData + "STATS/" + std::string(name) + "-" + std::to_string(year) + ".CTR";
}

std::string QueueCounterPath(const SimPaths& p, std::string_view name) {
    return p.privateData + "STATS/" + std::string(name) + ".CTR";
}

std::string ConnectionCounterPath(const SimPaths& p, std::string_view title, int year) {
    return p.privateData + FileSafe(title) + "-" + std::to_string(year) + ".CTR";
}

// ---- Messages ----------------------------------------------------------------------------------

std::string FormatSmsFile(const SmsFile& file) {
    std::string out = file.received ? "[SMS-IN]\r\n" : "[SMS]\r\n";
    for (const auto& [key, value] : file.keys) {
        out += key + "=";
        for (char c : value) {
            out += c == '\r'   ? std::string("\\r")
                   : c == '\n' ? std::string("\\n")
                               : std::string(1, c);
        }
        out += "\r\n";
    }
    if (file.retry) {
        out += "[ErrorDetail]\r\n";
        out += "RetryCount=" + std::to_string(file.retryCount) + "\r\n";
        out += "LastRetryTime=" + file.lastRetryTime + "\r\n";
        out += "FirstAttemptTime=" + file.firstAttemptTime + "\r\n";
        out += "LastErrorInfo=" + file.lastErrorInfo + "\r\n";
    }
    return out;
}

std::string Ucs2Hex(std::string_view utf8) {
    std::string out;
    for (uint32_t cp : CodePoints(utf8)) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            AppendHex(out, 0xD800 + (cp >> 10), 4);
            AppendHex(out, 0xDC00 + (cp & 0x3FF), 4);
        } else {
            AppendHex(out, cp, 4);
        }
    }
    return out;
}

std::string Gsm7PackedHex(std::string_view utf8) {
    std::vector<uint8_t> septets;
    for (uint32_t cp : CodePoints(utf8)) {
        AppendSeptets(cp, septets);
    }
    std::string out;
    unsigned carry = 0;
    int bits = 0;
    for (uint8_t s : septets) {
        carry |= unsigned{s} << bits;
        bits += 7;
        while (bits >= 8) {
            AppendHex(out, carry & 0xFF, 2);
            carry >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) {
        AppendHex(out, carry & 0xFF, 2);
    }
    return out;
}

std::string Stamp14(std::time_t when) {
    std::tm tm{};
    ::localtime_r(&when, &tm);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// ---- Errors and users ------------------------------------------------------------------------

std::string ConnectionErrorPath(const SimPaths& p, std::string_view title) {
    return p.privateData + FileSafe(title) + ".ERR";
}

std::string RouteErrorPath(const SimPaths& p, std::string_view route) {
    return p.privateData + FileSafe("MMSCROUTE--" + std::string(route)) + ".ERR";
}

int64_t ParseCreditText(std::string_view text) {
    bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    int64_t whole = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        whole = whole * 10 + (text[i] - '0');
    }
    int64_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        int scale = 100;
        for (++i; i < text.size() && scale > 0 && text[i] >= '0' && text[i] <= '9'; ++i) {
            fraction += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    int64_t value = whole * 1000 + fraction;
    return negative ? -value : value;
}

bool WriteCreditBalance(const std::string& path, int64_t thousandths) {
    bool missing = false;
    platform::SharedFile file = OpenForUpdate(path, &missing);
    if (!file.IsOpen() && missing) {
        platform::MakeDirectories(DirectoryOf(path));
        // A new file appears whole under its name, already holding its balance.
        std::string bytes(8, '\0');
        for (int i = 0; i < 8; ++i) {
            bytes[static_cast<std::size_t>(i)] =
                static_cast<char>(static_cast<uint64_t>(thousandths) >> (8 * i));
        }
        return WriteFileAtomic(path, bytes);
    }
    return file.IsOpen() && WriteBalance(file.fd(), thousandths);
}

bool DebitCredit(const std::string& path, int64_t amount) {
    bool missing = false;
    platform::SharedFile file = OpenForUpdate(path, &missing);
    if (!file.IsOpen()) {
        return false;
    }
    int64_t balance = ReadBalance(file.fd());
    return WriteBalance(file.fd(), balance < amount ? 0 : balance - amount);
}

// ---- Held files ------------------------------------------------------------------------------

bool HeldFile::Create(const std::string& path, std::string_view content, bool exclusive) {
    Release();
    platform::MakeDirectories(DirectoryOf(path));
    std::string temp = TempNameFor(path);
    // Letting others read and write takes a shared lock; letting them only read, an exclusive one.
    platform::SharedOpenResult r = platform::OpenShared(
        temp, platform::FileAccess::kReadWrite,
        exclusive ? platform::FileShare::kRead : platform::FileShare::kReadWrite,
        platform::FileDisposition::kCreateAlways);
    if (!r.ok() || !platform::WriteAllFd(r.file.fd(), content) ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        r.file.Close();
        ::unlink(temp.c_str());
        return false;
    }
    file_ = std::move(r.file);
    path_ = path;
    return true;
}

void HeldFile::Release() {
    file_.Close();
}

void HeldFile::Remove() {
    if (file_.IsOpen()) {
        ::unlink(path_.c_str());
    }
    Release();
}

std::string FlagFilePath(const SimPaths& p, std::string_view clientKey,
                         std::string_view connectionKey, std::string_view bind,
                         std::string_view user) {
    return p.privateData + "SMPPData/ActiveUsers/" + std::string(clientKey) + "-" +
           std::string(connectionKey) + "-" + std::string(bind) + "-" + std::string(user) + ".FLG";
}

std::string ModemReservationPath(const SimPaths& p, std::string_view modem) {
    return p.privateData + "ModemReservations/" + FileSafe(modem) + ".RSV";
}

}  // namespace gatewaysim
