// Directories, counter files, the outbound queue count and last-error files of monitor/counters.h.
#include "monitor/counters.h"

#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "config/connections.h"
#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"
#include "platform/dirs.h"
#include "platform/file_scan.h"
#include "platform/ini.h"

namespace monitor {
namespace {

constexpr std::string_view kZizod = "ZIZOD";
constexpr std::size_t kErrorBytes = 250;
constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

std::atomic<uint32_t> g_cachedQueueSize{0};

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string SupportDirectory(void (*get)(char*)) {
    std::string buffer(ZOZEZIV_MAX_PATH, '\0');
    get(buffer.data());
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

// A ZIZOD value read through the support library.
std::string SupportValue(const char* key, std::size_t size) {
    std::string buffer(size, '\0');
    SMSIniGetProfileString(kZizod.data(), key, "", buffer.data(), static_cast<unsigned>(size));
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

bool CacheQSizeSet(const DataPaths& paths) {
    return config::IsYes(platform::IniGetString(paths.configFile, kZizod, "CacheQSize", "", 500));
}

uint32_t Entry(const CounterFile& counts, int index) {
    return counts[static_cast<std::size_t>(index)];
}

// Sums `days` entries from entry `from` backwards, stopping after entry 0.
uint32_t SumBackwards(const CounterFile& counts, int from, int days) {
    uint32_t sum = 0;
    for (int i = from; i >= 0 && days > 0; --i, --days) {
        sum += Entry(counts, i);
    }
    return sum;
}

bool EndsWithReq(std::string_view name) {
    return name.size() >= 4 && config::EqualNoCase(name.substr(name.size() - 4), ".REQ");
}

uint32_t CountRequestFiles(const std::string& dir) {
    uint32_t count = 0;
    platform::ListDirectory(dir, [&](std::string_view name, platform::EntryType type) {
        if (type == platform::EntryType::kFile && EndsWithReq(name)) {
            ++count;
        }
    });
    return count;
}

std::string ReadErrorFile(const std::string& path) {
    std::string text;
    platform::ReadFileHead(path, kErrorBytes, &text);
    text.resize(std::strlen(text.c_str()));  // the text ends at the first NUL
    return text;
}

}  // namespace

DataPaths CurrentDataPaths() {
    DataPaths paths;
    paths.programData = SupportDirectory(GetProgramDataDirectory);
    paths.privateData = SupportDirectory(GetPrivateDataDirectory);
    paths.configFile = paths.programData + "ZIZOD.INI";
    return paths;
}

std::string FileSafeName(std::string_view name) {
    std::string safe(name);
    for (char& c : safe) {
        if (c == ':' || c == '/' || c == '\\') {
            c = '-';
        }
    }
    return safe;
}

// ---- Directories -----------------------------------------------------------------------------

std::string ResolveQDir(const DataPaths& paths, std::string_view route) {
    std::string dir = platform::IniGetString(paths.configFile, kZizod, "QDir", "", 260);
    if (dir.empty()) {
        dir = paths.programData + "Q";
        if (!platform::IsDirectory(dir)) {
            platform::MakeDirectories(dir);
        }
    }
    dir = WithSlash(std::move(dir));
    if (route.empty()) {
        return dir;
    }
    std::string sub = dir + FileSafeName(route);
    // Two attempts, as the service may be creating or removing the directory at the same moment.
    // Only the route's own directory is made: a configured queue directory that is missing (a
    // typing error, a volume not mounted) is not created behind the operator's back; the route
    // then falls back to it like any route whose directory cannot be made.
    for (int attempt = 0; attempt < 2 && !platform::IsDirectory(sub); ++attempt) {
        ::mkdir(sub.c_str(), 0775);
    }
    return platform::IsDirectory(sub) ? sub + "/" : dir;
}

std::string ResolveSmsInDir(const DataPaths& paths) {
    std::string dir = SupportValue("SmsInDir", 260);
    return dir.empty() ? paths.programData + "SMS-IN/" : WithSlash(std::move(dir));
}

std::string ResolveMMSDir(const DataPaths& paths) {
    std::string dir = SupportValue("MMSDir", 260);
    if (dir.empty()) {
        dir = paths.programData + "MMS-IN";
        if (!platform::IsDirectory(dir)) {
            platform::MakeDirectories(dir);
        }
    }
    return WithSlash(std::move(dir));
}

std::string ResolvePHPDir(const DataPaths& paths) {
    std::string dir = SupportValue("PHPDir", 260);
    return dir.empty() ? paths.programData + "PHP/" : WithSlash(std::move(dir));
}

// ---- Daily counter files ---------------------------------------------------------------------

CalendarDate LocalDate(std::time_t when) {
    struct tm tm {};
    localtime_r(&when, &tm);
    return CalendarDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

bool IsLeapYear(int year) {
    return year % 4 == 0;
}

int DayOfYear(const CalendarDate& date) {
    int month = date.month < 1 ? 1 : (date.month > 12 ? 12 : date.month);
    int day = date.day + kDaysBefore[month - 1];
    if (IsLeapYear(date.year) && month > 2) {
        ++day;
    }
    return day < 1 ? 1 : (day > 366 ? 366 : day);
}

bool ReadCounterFile(const std::string& path, CounterFile* counts) {
    counts->fill(0);
    std::string bytes;
    if (!platform::ReadFileHead(path, kCounterFileSize, &bytes)) {
        return false;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t k = 0; k * 4 < bytes.size(); ++k) {
        uint32_t v = 0;
        for (std::size_t i = 0; i < 4 && k * 4 + i < bytes.size(); ++i) {
            v |= uint32_t{b[k * 4 + i]} << (8 * i);
        }
        (*counts)[k] = v;
    }
    return true;
}

std::string GatewayCounterPath(const DataPaths& paths, std::string_view name, int year) {
    return paths.privateData + "STATS/" + std::string(name) + "-" + std::to_string(year) + ".CTR";
}

std::string QueueCounterPath(const DataPaths& paths, std::string_view name) {
    return paths.privateData + "STATS/" + std::string(name) + ".CTR";
}

std::string ConnectionCounterPath(const DataPaths& paths, std::string_view title, int year) {
    return paths.privateData + FileSafeName(title) + "-" + std::to_string(year) + ".CTR";
}

DailyCounts ReadDailyCounter(const DataPaths& paths, std::string_view name,
                             const CalendarDate& today) {
    DailyCounts result;
    const bool queueCounter =
        name.find("SMS") != std::string_view::npos && name.find("QSIZE") != std::string_view::npos;
    const int d = queueCounter ? 1 : DayOfYear(today);
    CounterFile counts;
    if (ReadCounterFile(queueCounter ? QueueCounterPath(paths, name)
                                     : GatewayCounterPath(paths, name, today.year),
                        &counts)) {
        result.today = Entry(counts, d - 1);
        result.last7 = SumBackwards(counts, d - 1, 7);
        result.last30 = SumBackwards(counts, d - 1, 30);
    }
    if (queueCounter) {
        return result;
    }
    // The first days of a year continue with the last days of the year before.
    const int previous = today.year - 1;
    const int lastEntry = IsLeapYear(previous) ? 365 : 364;
    if (d < 7 && ReadCounterFile(GatewayCounterPath(paths, name, previous), &counts)) {
        result.last7 += SumBackwards(counts, lastEntry, 7 - d);
    }
    if (d < 30 && ReadCounterFile(GatewayCounterPath(paths, name, previous), &counts)) {
        result.last30 += SumBackwards(counts, lastEntry, 30 - d);
    }
    return result;
}

// ---- Outbound queue --------------------------------------------------------------------------

uint32_t CountOutboundQueue(const DataPaths& paths) {
    const bool cached = CacheQSizeSet(paths);
    uint32_t total = 0;
    if (cached) {
        CounterFile counts;
        if (ReadCounterFile(QueueCounterPath(paths, "SMSQSIZE"), &counts)) {
            total = counts[0];
        }
    }
    const std::string qdir = ResolveQDir(paths);
    std::vector<std::string> routes;
    bool listed =
        platform::ListDirectory(qdir, [&](std::string_view name, platform::EntryType type) {
            if (type != platform::EntryType::kDirectory || name == "." || name == "..") {
                return;
            }
            if (cached && !(name.size() >= 6 && config::EqualNoCase(name.substr(0, 6), "MMSQ__"))) {
                return;
            }
            routes.emplace_back(name.substr(0, 260));
        });
    if (!listed) {
        return total;
    }
    // The queue directory itself stands for the route with no name; with CacheQSize the cached
    // count replaces it, like every route other than the MMS queues.
    if (!cached) {
        total += CountRequestFiles(qdir);
    }
    for (const std::string& route : routes) {
        // The listed directory itself: a name that is not file-safe (possible here, not where the
        // service was born) must not make a count create a directory of the file-safe name.
        total += CountRequestFiles(qdir + route + "/");
    }
    return total;
}

uint32_t CachedQueueSize() {
    return g_cachedQueueSize.load(std::memory_order_relaxed);
}

void SetCachedQueueSize(uint32_t size) {
    g_cachedQueueSize.store(size, std::memory_order_relaxed);
}

QueueSizeRefresh BeginQueueSizeRefresh(const DataPaths& paths) {
    QueueSizeRefresh refresh;
    refresh.paths = paths;
    refresh.periodSeconds = CacheQSizeSet(paths) ? 3 : 10;
    refresh.lastRefresh = 0;
    return refresh;
}

bool RunQueueSizeRefresh(QueueSizeRefresh& refresh) {
    std::time_t now = platform::WallSeconds();
    // A clock set back counts as due, so that the count does not freeze until time catches up.
    if (now >= refresh.lastRefresh && now - refresh.lastRefresh < refresh.periodSeconds) {
        return false;
    }
    SetCachedQueueSize(CountOutboundQueue(refresh.paths));
    refresh.lastRefresh = now;
    return true;
}

// ---- Last-error files ------------------------------------------------------------------------

std::string ReadConnectionError(const DataPaths& paths, std::string_view title) {
    return ReadErrorFile(paths.privateData + FileSafeName(title) + ".ERR");
}

std::string ReadMmscRouteError(const DataPaths& paths, std::string_view route) {
    return ReadErrorFile(paths.privateData + FileSafeName("MMSCROUTE--" + std::string(route)) +
                         ".ERR");
}

std::string ConnectionErrorLines(const DataPaths& paths, std::size_t titleSize,
                                 std::size_t capacity) {
    std::string text;
    for (const std::string& title : config::ReadConnectionTitles(titleSize)) {
        std::string error = ReadConnectionError(paths, title);
        if (error.empty()) {
            continue;
        }
        std::string display = config::RouteDisplayName(title);
        config::AppendBounded(text, display, capacity);
        if (!config::EqualNoCase(display, title)) {
            config::AppendBounded(text, " (", capacity);
            config::AppendBounded(text, title, capacity);
            config::AppendBounded(text, ")", capacity);
        }
        config::AppendBounded(text, " : ", capacity);
        config::AppendBounded(text, error, capacity);
        config::AppendBounded(text, "\r\n", capacity);
    }
    return text;
}

}  // namespace monitor
