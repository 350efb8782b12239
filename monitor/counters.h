// What the gateway service leaves in its data directories for the console to show: the queue and
// received-message directories, the daily counter files, the outbound queue size and the last
// error of each connection and MMSC route. Everything here only reads (the directory resolvers
// create missing queue directories); no operation reports an error: what cannot be opened counts
// as zero or as an empty text.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace monitor {

// The directories the support library reports, each ending in "/", and ZIZOD.INI.
struct DataPaths {
    std::string programData;
    std::string privateData;
    std::string configFile;  // ZIZOD.INI, read directly for QDir and CacheQSize
};

// The paths of the running console: the support library's program-data and private-data
// directories and programData + "ZIZOD.INI". Cheap, but callers that do many reads take it once.
DataPaths CurrentDataPaths();

// The name with every ':', '/' and '\' replaced by '-'.
std::string FileSafeName(std::string_view name);

// ---- Directories (each returned with a trailing "/") -----------------------------------------

// `QDir` of section ZIZOD, else programData + "Q" (created when missing). With a route, its
// file-safe subdirectory, created when missing; when it cannot be created, the queue directory.
std::string ResolveQDir(const DataPaths& paths, std::string_view route = {});
// `SmsInDir`, `MMSDir` and `PHPDir`, read through the support library, else programData + "SMS-IN",
// "MMS-IN" (created when missing) and "PHP".
std::string ResolveSmsInDir(const DataPaths& paths);
std::string ResolveMMSDir(const DataPaths& paths);
std::string ResolvePHPDir(const DataPaths& paths);

// ---- Daily counter files ---------------------------------------------------------------------

// A local calendar date.
struct CalendarDate {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
};
CalendarDate LocalDate(std::time_t when);

// A year divisible by 4 (the counter files know no century rule).
bool IsLeapYear(int year);
// 1 to 366: the day of the month plus the days before the month, one more from March on in a leap
// year.
int DayOfYear(const CalendarDate& date);

// One year of daily counts, entry k for day-of-year k + 1: 366 unsigned 32-bit little-endian
// values, 1,464 bytes.
inline constexpr std::size_t kCounterDays = 366;
inline constexpr std::size_t kCounterFileSize = kCounterDays * 4;
using CounterFile = std::array<uint32_t, kCounterDays>;

// Reads a counter file; a shorter file reads as if filled up with zero bytes, bytes beyond 1,464
// are ignored. False (and all zeros) when the file cannot be opened.
bool ReadCounterFile(const std::string& path, CounterFile* counts);

// privateData + "STATS/" + name + "-" + year + ".CTR".
std::string GatewayCounterPath(const DataPaths& paths, std::string_view name, int year);
// privateData + "STATS/" + name + ".CTR": the year-less queue-size counter ("SMSQSIZE").
std::string QueueCounterPath(const DataPaths& paths, std::string_view name);
// privateData + file-safe title + "-" + year + ".CTR": a connection's own counter.
std::string ConnectionCounterPath(const DataPaths& paths, std::string_view title, int year);

struct DailyCounts {
    uint32_t today = 0;
    uint32_t last7 = 0;
    uint32_t last30 = 0;
};

// Today, the last 7 and the last 30 days of the gateway counter `name` on `today`; the first days
// of a year continue into the previous year's file. A name holding both "SMS" and "QSIZE" reads
// the year-less file, whose first entry gives all three values. Sums wrap at 32 bits.
DailyCounts ReadDailyCounter(const DataPaths& paths, std::string_view name,
                             const CalendarDate& today);

// ---- Outbound queue --------------------------------------------------------------------------

// The number of "*.REQ" files (letter case ignored) directly in the queue directory and in its
// direct subdirectories. With `CacheQSize` set, the SMS part is the first entry of "SMSQSIZE" and
// only subdirectories starting with "MMSQ__" are listed. Safe to call from any thread.
uint32_t CountOutboundQueue(const DataPaths& paths);

// The last count, program-wide; 0 until the first refresh. Written by the restart watcher, read by
// the pages, without a lock.
uint32_t CachedQueueSize();
void SetCachedQueueSize(uint32_t size);

// The queue-size refresh of the restart watcher: begin it when the watcher starts, then run one
// pass in each loop of the watcher.
struct QueueSizeRefresh {
    DataPaths paths;
    std::time_t periodSeconds = 10;  // 3 with CacheQSize
    std::time_t lastRefresh = 0;     // 0: the first pass refreshes at once
};
// Reads `CacheQSize` from paths.configFile to fix the period.
QueueSizeRefresh BeginQueueSizeRefresh(const DataPaths& paths);
// When the period has passed since the last refresh (calendar seconds of the injectable clock), or
// the clock was set back before it, counts the queue into CachedQueueSize and returns true.
bool RunQueueSizeRefresh(QueueSizeRefresh& refresh);

// ---- Last-error files ------------------------------------------------------------------------

// At most 250 bytes of privateData + file-safe title + ".ERR", up to the first NUL; "" when the
// file is absent.
std::string ReadConnectionError(const DataPaths& paths, std::string_view title);
// The same for privateData + file-safe ("MMSCROUTE--" + route) + ".ERR".
std::string ReadMmscRouteError(const DataPaths& paths, std::string_view route);

// The error lines of the connections listed in "Modem%u" (the 201 rule, values read with buffers
// of `titleSize` characters): for each title with an error, its route display name, " (" title ")"
// when that differs from the title, " : ", the error and CR LF; every append bounded to a text of
// `capacity` characters including the terminator. Empty when no connection has an error.
std::string ConnectionErrorLines(const DataPaths& paths, std::size_t titleSize,
                                 std::size_t capacity);

}  // namespace monitor
