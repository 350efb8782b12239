// The application event log file of platform/eventlog.h.
#include "platform/eventlog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "platform/dirs.h"
#include "platform/fd_io.h"

namespace platform {
namespace {

constexpr std::string_view kHeader = "#EVT1\t";

struct TypeName {
    EventType type;
    std::string_view name;
};
constexpr TypeName kTypeNames[] = {
    {EventType::kError, "Error"},
    {EventType::kWarning, "Warning"},
    {EventType::kInformation, "Information"},
    {EventType::kAuditSuccess, "AuditSuccess"},
    {EventType::kAuditFailure, "AuditFailure"},
};

void Escape(std::string_view text, std::string& out) {
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
}

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    return out;
}

template <typename T>
bool ParseNumber(std::string_view text, T* value) {
    if (text.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

// The header's first number, when `line` is a header.
std::optional<uint32_t> HeaderFirst(std::string_view line) {
    uint32_t first = 0;
    if (line.substr(0, kHeader.size()) == kHeader &&
        ParseNumber(line.substr(kHeader.size()), &first) && first > 0) {
        return first;
    }
    return std::nullopt;
}

// The whole file; nothing when it exists but cannot be read, "" when it is missing.
std::optional<std::string> ReadAll(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// Walks the complete lines of a log text, calling onRecord for every record until it returns
// false; returns the header's first number (1 without a header).
template <typename Fn>
uint32_t WalkLog(std::string_view text, Fn&& onRecord) {
    uint32_t first = 1;
    std::size_t start = 0;
    bool atTop = true;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            break;  // still being written
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (atTop) {
            atTop = false;
            if (auto header = HeaderFirst(line)) {
                first = *header;
                continue;
            }
        }
        if (auto record = ParseEventLine(line)) {
            if (!onRecord(*record)) {
                break;
            }
        }
    }
    return first;
}

// Opens the log for writing under an exclusive lock, following a clear that replaced the file
// while this process waited for the lock. -1 on failure.
int OpenLocked(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        MakeDirectories(path.substr(0, slash));
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0664);
        if (fd < 0) {
            return -1;
        }
        struct stat held, named;
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 &&
            ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            return fd;
        }
        ::close(fd);
    }
    return -1;
}

// The number the next record gets: one above the last record, else the header's first number.
uint32_t NextNumber(std::string_view text) {
    uint32_t last = 0;
    uint32_t first = WalkLog(text, [&](const EventRecord& r) {
        last = r.recordNumber;
        return true;
    });
    return last ? last + 1 : first;
}

}  // namespace

std::string_view EventTypeName(EventType type) {
    for (const auto& t : kTypeNames) {
        if (t.type == type) {
            return t.name;
        }
    }
    return "Information";
}

std::string ApplicationEventLogPath() {
    return DataRoot() + "/Logs/APPLICATION.EVT";
}

std::string FormatEventLine(const EventRecord& record) {
    std::string line = std::to_string(record.recordNumber) + '\t' +
                       std::to_string(static_cast<long long>(record.timeGenerated)) + '\t' +
                       std::string(EventTypeName(record.type)) + '\t';
    Escape(record.source, line);
    for (const auto& s : record.strings) {
        line += '\t';
        Escape(s, line);
    }
    line += '\n';
    return line;
}

std::optional<EventRecord> ParseEventLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    std::vector<std::string_view> fields = SplitTabs(line);
    EventRecord record;
    long long when = 0;
    if (fields.size() < 4 || !ParseNumber(fields[0], &record.recordNumber) ||
        record.recordNumber == 0 || !ParseNumber(fields[1], &when)) {
        return std::nullopt;
    }
    record.timeGenerated = static_cast<std::time_t>(when);
    bool known = false;
    for (const auto& t : kTypeNames) {
        if (t.name == fields[2]) {
            record.type = t.type;
            known = true;
        }
    }
    if (!known) {
        return std::nullopt;
    }
    record.source = Unescape(fields[3]);
    for (std::size_t i = 4; i < fields.size(); ++i) {
        record.strings.push_back(Unescape(fields[i]));
    }
    return record;
}

uint32_t AppendEvent(const std::string& path, EventType type, std::string_view source,
                     const std::vector<std::string>& strings, std::time_t when) {
    int fd = OpenLocked(path);
    if (fd < 0) {
        return 0;
    }
    auto text = ReadAll(path);
    uint32_t number = 0;
    if (text) {
        EventRecord record;
        record.recordNumber = NextNumber(*text);
        record.timeGenerated = when;
        record.type = type;
        record.source = std::string(source);
        record.strings = strings;
        std::string line = FormatEventLine(record);
        // A line left unfinished by a writer that died is closed first, so that it stays one
        // unreadable line instead of swallowing this record.
        if (!text->empty() && text->back() != '\n') {
            line.insert(line.begin(), '\n');
        }
        if (WriteAllFd(fd, line)) {
            number = record.recordNumber;
        }
    }
    ::close(fd);
    return number;
}

std::optional<EventLogSpan> EventLogInfo(const std::string& path) {
    auto text = ReadAll(path);
    if (!text) {
        return std::nullopt;
    }
    EventLogSpan span;
    uint32_t oldest = 0;
    uint32_t first = WalkLog(*text, [&](const EventRecord& r) {
        if (span.count++ == 0) {
            oldest = r.recordNumber;
        }
        return true;
    });
    span.oldest = span.count ? oldest : first;
    return span;
}

std::optional<std::vector<EventRecord>> ReadEvents(const std::string& path, uint32_t from,
                                                   std::size_t maxRecords) {
    auto text = ReadAll(path);
    if (!text) {
        return std::nullopt;
    }
    std::vector<EventRecord> records;
    WalkLog(*text, [&](EventRecord& r) {
        if (records.size() >= maxRecords) {
            return false;
        }
        if (r.recordNumber >= from) {
            records.push_back(std::move(r));
        }
        return true;
    });
    return records;
}

bool ClearEventLog(const std::string& path) {
    int fd = OpenLocked(path);
    if (fd < 0) {
        return false;
    }
    bool ok = false;
    if (auto text = ReadAll(path)) {
        std::string header = std::string(kHeader) + std::to_string(NextNumber(*text)) + '\n';
        std::string temp = path + ".clear." + std::to_string(::getpid());
        int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
        if (out >= 0) {
            ok = WriteAllFd(out, header) && ::fsync(out) == 0;
            ok = ::close(out) == 0 && ok;
            ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
            if (!ok) {
                ::unlink(temp.c_str());
            }
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace platform
