// User directories, the credit balance file and the quota files.
#include "users/credits.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"
#include "platform/fd_io.h"
#include "platform/ini.h"

namespace users {
namespace {

constexpr uint32_t kRetryPauseMs = 100;
// The users directory setting is read as into a buffer of this many characters.
constexpr std::size_t kUsersDirBuffer = 260;

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

void CreateDirectory(const std::string& path) {
    if (!IsDirectory(path)) {
        ::mkdir(path.c_str(), 0775);  // a failure shows later, when the files cannot be opened
    }
}

std::optional<std::string> CreditFilePath(const std::string& usersDir, std::string_view user) {
    if (user.empty()) {
        return std::nullopt;  // the users directory itself has no balance
    }
    std::optional<std::string> dir = GetUserDirectory(usersDir, user);
    if (!dir) {
        return std::nullopt;
    }
    return *dir + kCreditFileName;
}

// a - b, held within the range of 64 bits.
int64_t SaturatedDifference(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_sub_overflow(a, b, &r)) {
        return b < 0 ? INT64_MAX : INT64_MIN;
    }
    return r;
}

void WriteBalance(int fd, int64_t balance) {
    unsigned char bytes[8];
    uint64_t v = static_cast<uint64_t>(balance);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(v >> (8 * i));
    }
    std::size_t done = 0;
    while (done < sizeof bytes) {
        ssize_t n = pwrite(fd, bytes + done, sizeof bytes - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // disk full or rights taken away: nothing to report, as for a failed open
        }
        done += static_cast<std::size_t>(n);
    }
}

constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

}  // namespace

std::string UsersDirectory(const std::string& configFile) {
    std::string dir = platform::IniGetString(configFile, "ZIZOD", "UsersDir", "", kUsersDirBuffer);
    if (dir.empty()) {
        char data[ZOZEZIV_MAX_PATH] = {};
        GetProgramDataDirectory(data);
        dir = std::string(data) + "USERS";
        CreateDirectory(dir);
        return dir + "/";
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string UsersDirectory() {
    char data[ZOZEZIV_MAX_PATH] = {};
    GetProgramDataDirectory(data);
    return UsersDirectory(std::string(data) + "ZIZOD.INI");
}

UserNameProblem CheckUserName(std::string_view user) {
    if (user.empty()) {
        return UserNameProblem::kEmpty;
    }
    if (user.find('\0') != std::string_view::npos) {
        return UserNameProblem::kNul;
    }
    if (user.find('/') != std::string_view::npos) {
        return UserNameProblem::kSlash;
    }
    if (user.find("..") != std::string_view::npos) {
        return UserNameProblem::kDotDot;
    }
    if (user.front() == '.') {
        return UserNameProblem::kLeadingDot;
    }
    return UserNameProblem::kNone;
}

std::optional<std::string> GetUserDirectory(const std::string& usersDir, std::string_view user) {
    std::string dir = usersDir;
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    if (user.empty()) {
        return dir;
    }
    if (CheckUserName(user) != UserNameProblem::kNone) {
        return std::nullopt;
    }
    dir.append(user);
    CreateDirectory(dir);
    return dir + "/";
}

void EnsureDirectoryPath(const std::string& filePath) {
    // The root ("/" of an absolute path) is never created; every directory after it is.
    for (std::size_t slash = filePath.find('/', 1); slash != std::string::npos;
         slash = filePath.find('/', slash + 1)) {
        std::string dir = filePath.substr(0, slash);
        if (!dir.empty() && dir.back() != '/' && !Exists(dir)) {
            ::mkdir(dir.c_str(), 0775);
        }
    }
}

platform::SharedOpenResult OpenFileWithRetry(const std::string& path, platform::FileAccess access,
                                             platform::FileShare share,
                                             platform::FileDisposition disposition,
                                             uint32_t timeoutMs) {
    const uint64_t start = platform::TickMs();
    for (bool first = true;; first = false) {
        if (!first) {
            platform::SleepMs(kRetryPauseMs);
        }
        platform::SharedOpenResult result = platform::OpenShared(path, access, share, disposition);
        if (result.ok() || result.error == platform::FileOpenError::kNotFound ||
            platform::TickMs() >= start + timeoutMs) {
            return result;
        }
    }
}

int64_t DecodeCreditBytes(const unsigned char* data, std::size_t size) {
    int64_t balance = 0;
    if (size >= 8) {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) {
            v = (v << 8) | data[i];
        }
        balance = static_cast<int64_t>(v);
    } else if (size == 4) {
        uint32_t v = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                     static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        balance = static_cast<int64_t>(static_cast<int32_t>(v)) * kCreditUnit;
    }
    return balance < 0 ? 0 : balance;
}

int64_t ReadCreditBalance(int fd) {
    unsigned char bytes[8];
    return DecodeCreditBytes(bytes, platform::ReadFromStart(fd, bytes, sizeof bytes));
}

bool CreditFileExists(const std::string& usersDir, std::string_view user) {
    std::optional<std::string> path = CreditFilePath(usersDir, user);
    struct stat st {};
    return path && stat(path->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t AdjustCredit(const std::string& usersDir, std::string_view user, std::string* message,
                     int64_t amount, bool readOnly) {
    if (config::EqualNoCase(user, "localsystem") || !CreditFileExists(usersDir, user)) {
        return kNoBalance;
    }
    std::string path = *CreditFilePath(usersDir, user);
    EnsureDirectoryPath(path);
    // An update holds the file from its read to its write and lets nobody else write meanwhile;
    // a read lets everybody in.
    platform::SharedOpenResult open = OpenFileWithRetry(
        path, readOnly ? platform::FileAccess::kRead : platform::FileAccess::kReadWrite,
        readOnly ? platform::FileShare::kReadWrite : platform::FileShare::kRead,
        platform::FileDisposition::kOpenExisting, kCreditTimeoutMs);
    if (!open.ok()) {
        return kNoBalance;
    }
    const int64_t balance = ReadCreditBalance(open.file.fd());
    const int64_t result = SaturatedDifference(balance, amount);
    const bool exceeded = balance < amount;
    if (exceeded && message) {
        *message = "Account " + std::string(user) + ":  credit limit exceeded.";
    }
    if (!readOnly) {
        WriteBalance(open.file.fd(), exceeded ? 0 : result);
    }
    return result;
}

int64_t ChargeCredits(const std::string& usersDir, std::string_view user, std::string* message,
                      int32_t credits, bool readOnly) {
    int64_t left = AdjustCredit(usersDir, user, message, int64_t{credits} * kCreditUnit, readOnly);
    return left < 0 ? -1 : left / kCreditUnit;
}

bool CreateCreditFile(const std::string& usersDir, std::string_view user) {
    std::optional<std::string> path = CreditFilePath(usersDir, user);
    if (!path) {
        return false;
    }
    return OpenFileWithRetry(*path, platform::FileAccess::kReadWrite, platform::FileShare::kRead,
                             platform::FileDisposition::kOpenAlways, kCreateCreditTimeoutMs)
        .ok();
}

bool DeleteCreditFile(const std::string& usersDir, std::string_view user) {
    std::optional<std::string> path = CreditFilePath(usersDir, user);
    if (!path) {
        return false;
    }
    platform::DeleteResult result = platform::DeleteShared(*path);
    return result == platform::DeleteResult::kDeleted || result == platform::DeleteResult::kMissing;
}

std::string FormatCredits(int64_t value) {
    // Balances are never negative, but an overdrawn result may be shown: keep its sign whole.
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(magnitude / kCreditUnit);
    unsigned r = static_cast<unsigned>(magnitude % kCreditUnit);
    if (r != 0) {
        text += '.';
        text += static_cast<char>('0' + r / 100);
        if (r % 100 != 0) {
            text += static_cast<char>('0' + (r % 100) / 10);
            if (r % 10 != 0) {
                text += static_cast<char>('0' + r % 10);
            }
        }
    }
    return text;
}

int64_t ParseCredits(std::string_view text) {
    text = config::SkipBlanks(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    std::string_view copy = text.substr(0, 249);
    copy = copy.substr(0, copy.find('\0'));
    std::size_t point = copy.find('.');
    int64_t value = int64_t{config::DecimalInt(copy.substr(0, point))} * kCreditUnit;
    if (point != std::string_view::npos) {
        static constexpr int kWeights[3] = {100, 10, 1};
        std::string_view decimals = copy.substr(point + 1);
        for (std::size_t i = 0; i < 3 && i < decimals.size(); ++i) {
            if (decimals[i] < '0' || decimals[i] > '9') {
                break;
            }
            value += kWeights[i] * (decimals[i] - '0');
        }
    }
    return negative ? -value : value;
}

int QuotaDayIndex(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return -1;
    }
    return kDaysBefore[month - 1] + day - 1 + (monitor::IsLeapYear(year) && month >= 3 ? 1 : 0);
}

int QuotaMonthDays(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return kDays[month - 1] + (month == 2 && monitor::IsLeapYear(year) ? 1 : 0);
}

std::string QuotaFileName(int year) {
    return std::to_string(year) + ".QTA";
}

std::optional<monitor::CounterFile> ReadQuotaFile(const std::string& usersDir,
                                                  std::string_view user, int year) {
    if (user.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> dir = GetUserDirectory(usersDir, user);
    monitor::CounterFile counts;
    if (!dir || !monitor::ReadCounterFile(*dir + QuotaFileName(year), &counts)) {
        return std::nullopt;
    }
    return counts;
}

UserQuota ReadUserQuota(const std::string& usersDir, std::string_view user,
                        const CalendarDate& today) {
    UserQuota quota;
    const int todayIndex = QuotaDayIndex(today.year, today.month, today.day);
    if (todayIndex < 0) {
        return quota;
    }
    std::optional<monitor::CounterFile> counts = ReadQuotaFile(usersDir, user, today.year);
    if (!counts) {
        return quota;
    }
    quota.today = (*counts)[todayIndex];
    const int first = QuotaDayIndex(today.year, today.month, 1);
    const int last =
        QuotaDayIndex(today.year, today.month, QuotaMonthDays(today.year, today.month));
    for (int d = first; d <= last; ++d) {
        quota.month += (*counts)[d];
    }
    return quota;
}

}  // namespace users
