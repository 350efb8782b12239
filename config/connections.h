// SMSC connection entries: how a connection is named, how it travels between the SMSC page and the
// connection dialogs as one line of text, and how the connection list and each connection's
// section are stored in ZIZOD.INI.
//
// A `ConnectionEntry` is the title followed by pending settings, each a TAB, key, "=" and value
// (an empty value means "delete the key"). A list item of the SMSC page is the display column, a
// TAB, then the entry. Reads of stored values go through the support library
// (SMSIniGetProfileString on the file given to SMSIniSetFilename); the save writes the file named
// by its caller with one batch.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace config {

// ---- Titles and kinds ------------------------------------------------------------------------

enum class ConnectionKind { kSmpp, kUcp, kCimd, kHttp, kIpModem, kModem };

inline constexpr std::string_view kSmppPrefix = "SMPP - ";
inline constexpr std::string_view kUcpPrefix = "UCP - ";
inline constexpr std::string_view kCimdPrefix = "CIMD - ";
inline constexpr std::string_view kHttpPrefix = "HTTP - ";
inline constexpr std::string_view kIpModemPrefix = "IPModem - ";
// Put in front of a modem's title to name its section.
inline constexpr std::string_view kModemSectionPrefix = "Modem - ";

// The kind, from the title's start without regard to letter case; any other title is a modem.
ConnectionKind KindOfTitle(std::string_view title);
// The title prefix of a kind; empty for kModem.
std::string_view TitlePrefix(ConnectionKind kind);
// "SMPP - %s:%u" and its siblings for the four direct kinds and IP modems; for kModem the host.
std::string MakeDirectTitle(ConnectionKind kind, std::string_view host, unsigned port);
// "COM%u:", the title of a modem on a serial port.
std::string SerialModemTitle(unsigned port);

// ---- Entries ---------------------------------------------------------------------------------

// One connection as a line of text: the title, then TAB-separated "key=value" pending settings.
using ConnectionEntry = std::string;

// The key whose value is the title under which the settings are stored now; never written.
inline constexpr std::string_view kSaveRouteKey = "SaveRoute";
// Put in front of a bare title, asks a dialog to test the connection at once.
inline constexpr std::string_view kTestMarker = "TEST:";

// The title: the entry up to its first TAB.
std::string_view EntryTitle(std::string_view entry);
// The pending settings: the entry from its first TAB on (empty when there is none).
std::string_view EntrySettings(std::string_view entry);
// Appends TAB, key, "=" and value.
void AppendSetting(std::string& entry, std::string_view key, std::string_view value);

// Searches the TAB-separated `settings` for an item that begins with `key` and "=" (letter case
// ignored, the key cut to 498 characters) and gives the text after "=" up to the next TAB.
std::optional<std::string_view> FindEntryValue(std::string_view settings, std::string_view key);

// "TEST:" followed by the title.
ConnectionEntry MakeTestMarker(std::string_view title);
// The title of a test marker; nothing when `entry` is not one.
std::optional<std::string_view> TestMarkerTitle(std::string_view entry);

// A setting as a dialog shows it: the entry's pending value when the key is there, else the value
// stored in the connection's section (empty default), cut to `size - 1` characters.
std::string ReadEntrySetting(std::string_view entry, std::string_view key, std::size_t size = 500);

// ---- Sections --------------------------------------------------------------------------------

// The section of a connection: the title, with "Modem - " in front when it has none of the five
// prefixes; each "[" becomes \x5B and each "]" \x5D (written out as four characters).
std::string ConnectionSectionName(std::string_view title);
// Turns each exact \x5B back into "[" and each \x5D into "]".
std::string UnescapeSectionName(std::string_view name);

// The text before the first ":" is the host, the decimal value after it the port; without ":"
// the whole text is the host and `port` is left as it was.
void SplitHostPort(std::string_view text, std::string* host, unsigned* port);

// ---- List items ------------------------------------------------------------------------------

// `RouteName` of the title's section (at most 149 characters), or the title when that is empty.
std::string RouteDisplayName(std::string_view title);
// The display column (route name " (" title ")", or the title; at most 149 characters), a TAB and
// the entry. The route name is the entry's pending `RouteName` when present, else the stored one.
std::string MakeConnectionListItem(std::string_view entry);
// Everything after the first TAB; an item without TAB is returned unchanged.
std::string_view StripDisplayColumn(std::string_view item);
// The title of a list item.
inline std::string_view ItemTitle(std::string_view item) {
    return EntryTitle(StripDisplayColumn(item));
}

// ---- The stored list -------------------------------------------------------------------------

// The non-empty "Modem%u" values of section ZIZOD, read through the support library with
// buffers of `size` characters: every number from 1 to 201 is read, even past empty keys; beyond
// 201 reading goes on only while the previous key was not empty.
std::vector<std::string> ReadConnectionTitles(std::size_t size);

// The SMSC page's list as stored: one item per title, each carrying "SaveRoute=" and its title.
std::vector<std::string> LoadConnectionList();

// Writes the list into the file `iniPath` with one rewrite: the "Modem%u" keys in list order
// without gaps (stale higher keys deleted), each connection's section (copied from the section of
// its `SaveRoute` when the title changed, then its pending settings), and the removal of
// connection sections that no item names any more (IP modem sections are left alone). On success
// the items are re-tagged: pending settings are replaced by "SaveRoute=" and the title. On
// failure (the file cannot be written) nothing is written, the items keep their pending settings
// and the result is false.
bool SaveConnectionList(const std::string& iniPath, std::vector<std::string>& items);

// ---- Rules the connection dialogs share ------------------------------------------------------

// The title for `host` and `port` that is unique within the list: when the formed title differs
// (letter case ignored) from `openedTitle`, the title the dialog was opened with, and equals the
// title of a list item, the host is cut at its first "#" and "#2", "#3" ... is appended until no
// item has that title. `listItems` are the SMSC page's items.
std::string MakeUniqueTitle(ConnectionKind kind, std::string_view host, unsigned port,
                            std::string_view openedTitle,
                            const std::vector<std::string>& listItems);

// One value a dialog edits.
struct EditedSetting {
    std::string key;
    std::string value;
    bool matchCase = false;  // compare with the stored value with letter case
};

// The entry a dialog returns on OK: `title`, then each edited setting whose value differs from the
// value stored in the title's section (letter case ignored unless `matchCase`), in the given
// order; then, when `carryOthers`, every pending setting of `incoming` whose key the dialog does
// not edit, as it came in (`SaveRoute` included).
ConnectionEntry BuildConnectionResult(std::string_view title,
                                      const std::vector<EditedSetting>& edited,
                                      std::string_view incoming, bool carryOthers);

}  // namespace config
