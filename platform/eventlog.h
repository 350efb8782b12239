// The application event log: the file R/Logs/APPLICATION.EVT that the gateway's services (and any
// program of the product family) append their events to, and that the console's event log viewer
// reads and clears. One record per line; the form is described in docs/gateway-sim.md:
//
//   header   "#EVT1" TAB first-number LF        (optional; the number the next record gets when
//                                                the log holds no record, written by a clear)
//   record   number TAB time TAB type TAB source [TAB string]... LF
//
// number: decimal record number, one above the record before it, never reused (a clear keeps the
// count going); time: UTC seconds since 1970 when the event was generated; type: "Error",
// "Warning", "Information", "AuditSuccess" or "AuditFailure"; source and strings: text in which
// TAB, CR, LF and backslash are written as "\t", "\r", "\n" and "\\". A line that is not ended by
// LF is still being written and is ignored, as is any line that does not parse.
//
// Writers serialise on an exclusive flock of the file; readers take no lock. A clear replaces the
// file by rename, so readers see the whole old log or the empty new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The event types, with the values the classic event log gives them.
enum class EventType : uint16_t {
    kError = 1,
    kWarning = 2,
    kInformation = 4,
    kAuditSuccess = 8,
    kAuditFailure = 16,
};

struct EventRecord {
    uint32_t recordNumber = 0;
    std::time_t timeGenerated = 0;  // UTC seconds
    EventType type = EventType::kInformation;
    std::string source;
    std::vector<std::string> strings;  // the message strings; the first is the message
};

// DataRoot() + "/Logs/APPLICATION.EVT".
std::string ApplicationEventLogPath();

// Appends one record numbered one above the last record (or the header's first number, or 1) and
// returns its number; 0 when the log cannot be written (no directory, no rights). The Logs
// directory is created when missing.
uint32_t AppendEvent(const std::string& path, EventType type, std::string_view source,
                     const std::vector<std::string>& strings, std::time_t when);

// The number of the oldest record and the number of records. A missing file is an empty log
// (oldest 1, count 0); an empty log that was cleared gives the next number as its oldest.
// Nothing when the file exists but cannot be read.
struct EventLogSpan {
    uint32_t oldest = 1;
    uint32_t count = 0;
};
std::optional<EventLogSpan> EventLogInfo(const std::string& path);

// Up to `maxRecords` records with a number of at least `from`, in file order. Nothing when the
// file exists but cannot be read; a missing file gives no records.
std::optional<std::vector<EventRecord>> ReadEvents(const std::string& path, uint32_t from,
                                                   std::size_t maxRecords);

// Empties the log without a backup; the next record keeps the numbering going. False when the
// new file cannot be written (the old log then stays as it was).
bool ClearEventLog(const std::string& path);

// One record as its line (with the final LF), and a line (without LF) back into a record; nothing
// when the line is not a record.
std::string FormatEventLine(const EventRecord& record);
std::optional<EventRecord> ParseEventLine(std::string_view line);

std::string_view EventTypeName(EventType type);

}  // namespace platform
