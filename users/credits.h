// User directories and the counter files the console shares with the gateway service in them: the
// credit balance "SMS.CTR" and the yearly quota files "%d.QTA". The gateway debits balances and
// counts messages; the console shows both and adds, removes, switches on and off credit.
//
// Every operation takes the users directory (resolved once with UsersDirectory(), or a test's own
// folder) and opens, uses and closes its file. None shows a message. Concurrent updates are kept
// apart by the sharing rule of platform/share.h, which the gateway follows too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/counters.h"
#include "platform/share.h"

namespace users {

// ---- Directories ----------------------------------------------------------------------------

// The users directory, ending in "/": `UsersDir` of section [ZIZOD] in `configFile` (ZIZOD.INI,
// read as into a 260-character buffer), used as it stands and not created; when that is empty,
// the support library's program data directory + "USERS", created when missing.
std::string UsersDirectory(const std::string& configFile);
// The same with ZIZOD.INI of the program data directory.
std::string UsersDirectory();

// Why a user name cannot name a directory, if it cannot. User names become directory names, so a
// name must not lead out of the users directory or into a hidden entry of it.
enum class UserNameProblem {
    kNone,
    kEmpty,
    kSlash,       // holds "/"
    kDotDot,      // holds ".."
    kNul,         // holds a NUL character
    kLeadingDot,  // begins with "."
};
UserNameProblem CheckUserName(std::string_view user);

// The user's directory, `usersDir` + user + "/", created when missing; `usersDir` itself (with a
// trailing "/") for an empty name. Nothing for a name CheckUserName refuses: no directory is
// created or looked at then.
std::optional<std::string> GetUserDirectory(const std::string& usersDir, std::string_view user);

// Creates every missing directory on the way to the file `filePath` (not the file itself).
void EnsureDirectoryPath(const std::string& filePath);

// Opens a shared file, trying again every 100 ms (on the injectable clock) while another process
// holds it with a conflicting sharing mode, until `timeoutMs` have passed. A missing file is not
// waited for. Failure: the result holds no file and says why.
platform::SharedOpenResult OpenFileWithRetry(const std::string& path, platform::FileAccess access,
                                             platform::FileShare share,
                                             platform::FileDisposition disposition,
                                             uint32_t timeoutMs);

// ---- Credit balance -------------------------------------------------------------------------

// Balances are in thousandths of a credit.
constexpr int64_t kCreditUnit = 1000;
// What AdjustCredit answers when no balance applies (no credit file, "localsystem", the file
// could not be opened, a refused name): one thousand credits.
constexpr int64_t kNoBalance = 1000000;
constexpr const char* kCreditFileName = "SMS.CTR";
// The credit file stays locked by another process longer than this: the update is given up.
constexpr uint32_t kCreditTimeoutMs = 60000;
constexpr uint32_t kCreateCreditTimeoutMs = 2000;

// The balance held by the first bytes of a credit file (`size` is how many could be read, at most
// 8 are looked at): 8 bytes are the signed 64-bit little-endian balance; exactly 4 bytes are the
// older form, signed 32-bit whole credits; other sizes read as 0; negative values read as 0.
int64_t DecodeCreditBytes(const unsigned char* data, std::size_t size);
// Reads the balance from the start of an open credit file by the rule above.
int64_t ReadCreditBalance(int fd);

// True when the user directory holds "SMS.CTR" as a file (a directory of that name does not
// count). Finding the path creates the user directory. False for a refused name.
bool CreditFileExists(const std::string& usersDir, std::string_view user);

// Takes `amount` thousandths off the balance and answers the balance before the call minus
// `amount` (negative when the balance did not cover it). Unless `readOnly`, the new balance is
// written: never below 0. When the balance does not cover `amount` and `message` is given, it
// receives "Account <user>:  credit limit exceeded.". No balance applies (kNoBalance is answered,
// nothing written) for "localsystem" in any case, a user without a credit file, a refused name, or
// a file another process keeps locked for kCreditTimeoutMs.
// Reading is AdjustCredit(dir, user, nullptr, 0, true); adding N is AdjustCredit(.., -N, false).
int64_t AdjustCredit(const std::string& usersDir, std::string_view user, std::string* message,
                     int64_t amount, bool readOnly);

// Charges whole credits: the whole credits left, or -1 when the balance did not cover the charge.
int64_t ChargeCredits(const std::string& usersDir, std::string_view user, std::string* message,
                      int32_t credits, bool readOnly);

// Switches the balance on: creates an empty "SMS.CTR" (balance 0) when there is none; an existing
// file keeps its balance. False when the file could not be opened within
// kCreateCreditTimeoutMs or the name is refused.
bool CreateCreditFile(const std::string& usersDir, std::string_view user);

// Switches the balance off: deletes "SMS.CTR". True when no credit file is left (also when there
// was none); false when the gateway holds the file or the name is refused.
bool DeleteCreditFile(const std::string& usersDir, std::string_view user);

// "1.5" for 1500: whole credits, then up to three decimals without trailing zeros.
std::string FormatCredits(int64_t value);
// Credits typed by the operator ("2.5", "-1.25", " 3", ".5") to thousandths; digits past the third
// decimal are ignored, text that is not a number gives 0.
int64_t ParseCredits(std::string_view text);

// ---- Quota files ----------------------------------------------------------------------------

// Dates and the 366-day counter layout are those of the gateway's statistics counters.
using monitor::CalendarDate;
using monitor::LocalDate;  // callers pass LocalDate(platform::WallSeconds()) as "today"

// The counter of a date in the 366-day layout: day of the year from 0, one more from March on in
// years divisible by 4 (so 29 February is 59, and 1 March 60 in a leap year, 59 otherwise). -1 for
// a month outside 1 ... 12 or a day outside 1 ... 31.
int QuotaDayIndex(int year, int month, int day);
// Days of a month, February with 29 in years divisible by 4; 0 outside 1 ... 12.
int QuotaMonthDays(int year, int month);

// The name of a year's quota file: "2013.QTA".
std::string QuotaFileName(int year);

// The 366 daily counts of the user's quota file of `year` (missing days 0); nothing when there is
// no such file or the name is refused. For the per-user statistics.
std::optional<monitor::CounterFile> ReadQuotaFile(const std::string& usersDir,
                                                  std::string_view user, int year);

struct UserQuota {
    uint32_t today = 0;
    uint64_t month = 0;
};

// Messages the user sent on `today` and in its month, from the quota file of its year. A missing
// or unreadable file (or a refused name) gives 0 and 0; a short file has 0 for the missing days.
UserQuota ReadUserQuota(const std::string& usersDir, std::string_view user,
                        const CalendarDate& today);

}  // namespace users
