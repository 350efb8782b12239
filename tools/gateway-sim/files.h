// The files the gateway service leaves for the console, written the way the console reads them:
// daily counter files, queue and received message files, MMS header files with their content,
// last-error files, users' credit and quota files, SMPP client flag files and modem reservations.
// Every whole-file write goes to a temporary name in the same directory first and is renamed into
// place, so a reader never meets a half-written file; the temporary names end in ".tmp" and match
// none of the console's listings.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/share.h"

namespace gatewaysim {

// Where the gateway keeps its files, each directory ending in "/".
struct SimPaths {
    std::string programData;
    std::string privateData;
    std::string configFile;  // ZIZOD.INI
    std::string queueDir;    // QDir, else programData + "Q/"
    std::string smsInDir;    // SmsInDir, else programData + "SMS-IN/"
    std::string mmsDir;      // MMSDir, else programData + "MMS-IN/"
    std::string usersDir;    // UsersDir, else programData + "USERS/"
    std::string eventLog;    // R/Logs/APPLICATION.EVT
};
// The support library's directories and the overrides of section ZIZOD; creates nothing.
SimPaths ResolvePaths();

// ':', '/' and '\' replaced by '-'.
std::string FileSafe(std::string_view name);

// Writes `content` to `path` through a temporary file and a rename, creating missing directories.
bool WriteFileAtomic(const std::string& path, std::string_view content);

// ---- Daily counters ----------------------------------------------------------------------------

struct Day {
    int year;
    int index;  // 0 to 365: day-of-year - 1
};
// The local date `daysBack` days before `now`, as a counter entry.
Day DayBefore(std::time_t now, int daysBack);
// Entry of 31 December of `year` minus `daysBack` days (within that year).
int LastEntryOfYear(int year);

// Adds to (or, without `add`, sets) entries of a 1,464-byte counter file (a shorter or missing
// file counts as zeros), through write and rename. `entries` holds (index, value) pairs.
bool UpdateCounter(const std::string& path, const std::vector<std::pair<int, uint32_t>>& entries,
                   bool add);
// Sets entry 0 of a counter file (the year-less queue-size counter) and leaves the others.
bool SetFirstEntry(const std::string& path, uint32_t value);

// privateData + "STATS/" + name + "-" + year + ".CTR", the year-less form, and a connection's.
std::string GatewayCounterPath(const SimPaths& p, std::string_view name, int year);
std::string QueueCounterPath(const SimPaths& p, std::string_view name);
std::string ConnectionCounterPath(const SimPaths& p, std::string_view title, int year);

// Lays down counts going back from `now`: values[0] today, values[1] yesterday ..., into the
// files of whichever years those days fall in; `lastYear` goes back from 31 December of last year.
// `pathOf(year)` names the file of a year. The entries given are set (two values for one day are
// added up); the other entries of the files are kept. False when a file could not be written.
template <typename PathOf>
bool LayDownCounts(PathOf pathOf, std::time_t now, const std::vector<uint32_t>& values,
                   const std::vector<uint32_t>& lastYear);

// ---- Messages ----------------------------------------------------------------------------------

// One queued or received SMS file: the message section and, when `retry` is set, the retry
// section. Values are written as given, except that CR and LF in the text become "\r" and "\n".
struct SmsFile {
    bool received = false;                                  // "[SMS-IN]" instead of "[SMS]"
    std::vector<std::pair<std::string, std::string>> keys;  // in the message section, in order
    bool retry = false;
    int retryCount = 0;
    std::string lastRetryTime, firstAttemptTime, lastErrorInfo;
};
std::string FormatSmsFile(const SmsFile& file);

// The text as hexadecimal UCS-2 (four digits a unit, UTF-16 for characters beyond 0xFFFF).
std::string Ucs2Hex(std::string_view utf8);
// The text in the GSM 7-bit default alphabet, septets packed as in an SMS's user data and written
// as hexadecimal digits; characters outside the alphabet become '?'.
std::string Gsm7PackedHex(std::string_view utf8);

// 14 digits "YYYYMMDDhhmmss" of the local time `when`.
std::string Stamp14(std::time_t when);

// ---- Last errors, users --------------------------------------------------------------------

std::string ConnectionErrorPath(const SimPaths& p, std::string_view title);
std::string RouteErrorPath(const SimPaths& p, std::string_view route);

// "12.5" as thousandths of a credit (12500); a text without digits is 0.
int64_t ParseCreditText(std::string_view text);
// Writes the 8-byte balance of a user's "SMS.CTR". An existing file is updated in place under an
// exclusive lock taken without waiting, the console's rule for a writer; false when the console
// holds it (try again later) or it cannot be written. A missing file is created.
bool WriteCreditBalance(const std::string& path, int64_t thousandths);
// Reads and lowers the balance by `amount` (not below 0) under the same lock; false when busy or
// missing, which leaves the file as it was.
bool DebitCredit(const std::string& path, int64_t amount);

// ---- Files held open -----------------------------------------------------------------------

// A file held open, with the lock its sharing mode calls for, for as long as the object lives (or
// until Release); the file stays on disk after.
class HeldFile {
  public:
    // Writes `content` to a temporary name, opens it without delete sharing (letting others read
    // and write: a shared lock; with `exclusive`, letting them only read: an exclusive lock) and
    // renames it to `path`, so the file is never seen unheld. False when it cannot.
    bool Create(const std::string& path, std::string_view content, bool exclusive);
    bool IsHeld() const { return file_.IsOpen(); }
    const std::string& path() const { return path_; }
    // Closes the file (the lock goes with it); the file stays.
    void Release();
    // Deletes the file and then releases it.
    void Remove();

  private:
    platform::SharedFile file_;
    std::string path_;
};

// privateData + "SMPPData/ActiveUsers/" + client-connection-bind-user + ".FLG".
std::string FlagFilePath(const SimPaths& p, std::string_view clientKey,
                         std::string_view connectionKey, std::string_view bind,
                         std::string_view user);
// privateData + "ModemReservations/" + file-safe modem name + ".RSV".
std::string ModemReservationPath(const SimPaths& p, std::string_view modem);

// ---- Template definitions ------------------------------------------------------------------

template <typename PathOf>
bool LayDownCounts(PathOf pathOf, std::time_t now, const std::vector<uint32_t>& values,
                   const std::vector<uint32_t>& lastYear) {
    std::vector<std::pair<int, std::vector<std::pair<int, uint32_t>>>> byYear;
    auto add = [&](int year, int index, uint32_t value) {
        for (auto& [y, entries] : byYear) {
            if (y == year) {
                for (auto& [i, v] : entries) {
                    if (i == index) {
                        v += value;
                        return;
                    }
                }
                entries.emplace_back(index, value);
                return;
            }
        }
        byYear.push_back({year, {{index, value}}});
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        Day d = DayBefore(now, static_cast<int>(i));
        add(d.year, d.index, values[i]);
    }
    int previous = DayBefore(now, 0).year - 1;
    for (std::size_t i = 0; i < lastYear.size(); ++i) {
        int index = LastEntryOfYear(previous) - static_cast<int>(i);
        if (index >= 0) {
            add(previous, index, lastYear[i]);
        }
    }
    bool ok = true;
    for (const auto& [year, entries] : byYear) {
        ok = UpdateCounter(pathOf(year), entries, false) && ok;
    }
    return ok;
}

}  // namespace gatewaysim
