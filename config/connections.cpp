// Connection titles, entries, list items and the stored connection list of config/connections.h.
#include "config/connections.h"

#include <cstring>
#include <unordered_set>

#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/ini.h"

namespace config {
namespace {

constexpr std::string_view kZizod = "ZIZOD";
constexpr std::size_t kDisplaySize = 150;  // display column and route name, terminator included
constexpr std::size_t kKeySearchMax = 498;
constexpr std::size_t kListedMax = 201;

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// A value read through the support library into a buffer of `size` characters.
std::string StoredValue(const std::string& section, std::string_view key, std::size_t size) {
    if (size == 0) {
        return {};
    }
    std::string buffer(size, '\0');
    std::string k(key);
    SMSIniGetProfileString(section.c_str(), k.c_str(), "", buffer.data(),
                           static_cast<unsigned>(size));
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

// Calls fn(key, value, hasEquals) for every TAB-separated item of `settings`.
template <typename Fn>
void ForEachSetting(std::string_view settings, Fn fn) {
    while (!settings.empty()) {
        std::size_t tab = settings.find('\t');
        std::string_view item = settings.substr(0, tab);
        settings = tab == std::string_view::npos ? std::string_view() : settings.substr(tab + 1);
        if (item.empty()) {
            continue;
        }
        std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            fn(item, std::string_view(), false);
        } else {
            fn(item.substr(0, eq), item.substr(eq + 1), true);
        }
    }
}

// Whether the INI writer can store the name: not empty, no blank at either end, no line break or
// NUL, and no "]" in a section or "=" in a key (nor a key starting like a header or comment).
bool Storable(std::string_view name, bool isSection) {
    if (name.empty() || name.front() == ' ' || name.front() == '\t' || name.back() == ' ' ||
        name.back() == '\t') {
        return false;
    }
    std::string_view bad =
        isSection ? std::string_view("]\r\n\0", 4) : std::string_view("=\r\n\0", 4);
    if (name.find_first_of(bad) != std::string_view::npos) {
        return false;
    }
    return isSection || (name.front() != '[' && name.front() != ';');
}

}  // namespace

// ---- Titles and kinds ------------------------------------------------------------------------

ConnectionKind KindOfTitle(std::string_view title) {
    if (StartsNoCase(title, kSmppPrefix)) {
        return ConnectionKind::kSmpp;
    }
    if (StartsNoCase(title, kHttpPrefix)) {
        return ConnectionKind::kHttp;
    }
    if (StartsNoCase(title, kUcpPrefix)) {
        return ConnectionKind::kUcp;
    }
    if (StartsNoCase(title, kCimdPrefix)) {
        return ConnectionKind::kCimd;
    }
    if (StartsNoCase(title, kIpModemPrefix)) {
        return ConnectionKind::kIpModem;
    }
    return ConnectionKind::kModem;
}

std::string_view TitlePrefix(ConnectionKind kind) {
    switch (kind) {
        case ConnectionKind::kSmpp:
            return kSmppPrefix;
        case ConnectionKind::kUcp:
            return kUcpPrefix;
        case ConnectionKind::kCimd:
            return kCimdPrefix;
        case ConnectionKind::kHttp:
            return kHttpPrefix;
        case ConnectionKind::kIpModem:
            return kIpModemPrefix;
        case ConnectionKind::kModem:
            break;
    }
    return {};
}

std::string MakeDirectTitle(ConnectionKind kind, std::string_view host, unsigned port) {
    std::string title(TitlePrefix(kind));
    title.append(host);
    if (kind != ConnectionKind::kModem) {
        title += ':';
        title += std::to_string(port);
    }
    return title;
}

std::string SerialModemTitle(unsigned port) {
    return "COM" + std::to_string(port) + ":";
}

// ---- Entries ---------------------------------------------------------------------------------

std::string_view EntryTitle(std::string_view entry) {
    return entry.substr(0, entry.find('\t'));
}

std::string_view EntrySettings(std::string_view entry) {
    std::size_t tab = entry.find('\t');
    return tab == std::string_view::npos ? std::string_view() : entry.substr(tab);
}

void AppendSetting(std::string& entry, std::string_view key, std::string_view value) {
    entry.reserve(entry.size() + key.size() + value.size() + 2);
    entry += '\t';
    entry.append(key);
    entry += '=';
    entry.append(value);
}

std::optional<std::string_view> FindEntryValue(std::string_view settings, std::string_view key) {
    key = key.substr(0, kKeySearchMax);
    while (true) {
        std::size_t tab = settings.find('\t');
        std::string_view item = settings.substr(0, tab);
        if (item.size() > key.size() && item[key.size()] == '=' &&
            EqualNoCase(item.substr(0, key.size()), key)) {
            return item.substr(key.size() + 1);
        }
        if (tab == std::string_view::npos) {
            return std::nullopt;
        }
        settings.remove_prefix(tab + 1);
    }
}

ConnectionEntry MakeTestMarker(std::string_view title) {
    return std::string(kTestMarker) + std::string(title);
}

std::optional<std::string_view> TestMarkerTitle(std::string_view entry) {
    if (entry.substr(0, kTestMarker.size()) != kTestMarker) {
        return std::nullopt;
    }
    return entry.substr(kTestMarker.size());
}

std::string ReadEntrySetting(std::string_view entry, std::string_view key, std::size_t size) {
    std::string value;
    if (auto pending = FindEntryValue(EntrySettings(entry), key)) {
        value.assign(*pending);
    } else {
        value = StoredValue(ConnectionSectionName(EntryTitle(entry)), key, size);
    }
    if (size > 0 && value.size() > size - 1) {
        value.resize(size - 1);
    }
    return value;
}

// ---- Sections --------------------------------------------------------------------------------

std::string ConnectionSectionName(std::string_view title) {
    std::string name;
    name.reserve(title.size() + kModemSectionPrefix.size() + 8);
    if (KindOfTitle(title) == ConnectionKind::kModem) {
        name.append(kModemSectionPrefix);
    }
    for (char c : title) {
        if (c == '[') {
            name.append("\\x5B");
        } else if (c == ']') {
            name.append("\\x5D");
        } else {
            name += c;
        }
    }
    return name;
}

std::string UnescapeSectionName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && name.substr(i, 4) == "\\x5B") {
            out += '[';
            i += 3;
        } else if (name[i] == '\\' && name.substr(i, 4) == "\\x5D") {
            out += ']';
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

void SplitHostPort(std::string_view text, std::string* host, unsigned* port) {
    std::size_t colon = text.find(':');
    host->assign(text.substr(0, colon));
    if (colon != std::string_view::npos) {
        *port = static_cast<unsigned>(DecimalValue(text.substr(colon + 1)));
    }
}

// ---- List items ------------------------------------------------------------------------------

std::string RouteDisplayName(std::string_view title) {
    std::string route = StoredValue(ConnectionSectionName(title), "RouteName", kDisplaySize);
    return route.empty() ? std::string(title) : route;
}

std::string MakeConnectionListItem(std::string_view entry) {
    std::string_view title = EntryTitle(entry);
    std::string route;
    if (auto pending = FindEntryValue(EntrySettings(entry), "RouteName")) {
        route.assign(pending->substr(0, kDisplaySize - 1));
    } else {
        route = StoredValue(ConnectionSectionName(title), "RouteName", kDisplaySize);
    }
    std::string item;
    item.reserve(kDisplaySize + 1 + entry.size());
    if (!route.empty()) {
        AppendBounded(item, route, kDisplaySize);
        AppendBounded(item, " (", kDisplaySize);
        AppendBounded(item, title, kDisplaySize);
        AppendBounded(item, ")", kDisplaySize);
    } else {
        AppendBounded(item, title, kDisplaySize);
    }
    item += '\t';
    item.append(entry);
    return item;
}

std::string_view StripDisplayColumn(std::string_view item) {
    std::size_t tab = item.find('\t');
    return tab == std::string_view::npos ? item : item.substr(tab + 1);
}

// ---- The stored list -------------------------------------------------------------------------

std::vector<std::string> ReadConnectionTitles(std::size_t size) {
    std::vector<std::string> titles;
    bool previousEmpty = false;
    for (std::size_t n = 1; n <= kListedMax || !previousEmpty; ++n) {
        std::string title = StoredValue(std::string(kZizod), "Modem" + std::to_string(n), size);
        previousEmpty = title.empty();
        if (!previousEmpty) {
            titles.push_back(std::move(title));
        }
    }
    return titles;
}

std::vector<std::string> LoadConnectionList() {
    std::vector<std::string> items;
    for (const std::string& title : ReadConnectionTitles(32768)) {
        std::string item = MakeConnectionListItem(title);
        AppendSetting(item, kSaveRouteKey, title);
        items.push_back(std::move(item));
    }
    return items;
}

bool SaveConnectionList(const std::string& iniPath, std::vector<std::string>& items) {
    // Every read below sees the file as it was before this save, since nothing is written until
    // the batch is applied; so a section copied on a title change is always the one stored under
    // the old title, even when another item took that title in the same save.
    std::unordered_set<std::string> listedKeys;  // lower-case "modem%u" keys holding a title
    for (const auto& [key, value] : platform::IniReadSection(iniPath, kZizod)) {
        if (!value.empty()) {
            listedKeys.insert(Lower(key));
        }
    }

    platform::IniBatch batch;
    const std::size_t count = items.size();
    bool previousChanged = false;
    for (std::size_t n = 1; n <= kListedMax || previousChanged || n <= count; ++n) {
        std::string key = "Modem" + std::to_string(n);
        std::string_view entry = n <= count ? StripDisplayColumn(items[n - 1]) : std::string_view();
        previousChanged = false;
        if (entry.empty()) {
            if (listedKeys.count(Lower(key))) {
                batch.DeleteKey(kZizod, key);
                previousChanged = true;
            }
            continue;
        }
        std::string_view title = EntryTitle(entry);
        std::string_view settings = EntrySettings(entry);
        std::string section = ConnectionSectionName(title);
        if (Storable(section, true)) {
            std::string_view old = FindEntryValue(settings, kSaveRouteKey).value_or("");
            std::string oldSection = ConnectionSectionName(old);
            if (!old.empty() && !EqualNoCase(section, oldSection)) {
                for (const auto& [k, v] : platform::IniReadSection(iniPath, oldSection)) {
                    if (Storable(k, false)) {  // a damaged line must not fail the whole save
                        batch.Set(section, k, v);
                    }
                }
            }
            ForEachSetting(settings, [&](std::string_view k, std::string_view v, bool hasEquals) {
                if (!hasEquals || EqualNoCase(k, kSaveRouteKey) || !Storable(k, false)) {
                    return;  // not a setting the file can hold
                }
                if (v.empty()) {
                    batch.DeleteKey(section, k);
                } else {
                    batch.Set(section, k, v);
                }
            });
        }
        batch.Set(kZizod, key, title);
        previousChanged = true;
    }

    // Connection sections that no item names any more. A section is also kept when it is exactly
    // the section of an item, so that a title holding the text \x5B keeps its own section.
    std::unordered_set<std::string> titles;
    std::unordered_set<std::string> sections;
    for (const std::string& item : items) {
        std::string_view title = ItemTitle(item);
        titles.insert(Lower(title));
        sections.insert(Lower(ConnectionSectionName(title)));
    }
    static constexpr std::string_view kExamined[] = {kHttpPrefix, kSmppPrefix, kUcpPrefix,
                                                     kCimdPrefix, kModemSectionPrefix};
    for (const std::string& name : platform::IniSectionNames(iniPath)) {
        std::string plain = UnescapeSectionName(name);
        bool examined = false;
        for (std::string_view prefix : kExamined) {
            examined = examined || StartsNoCase(plain, prefix);
        }
        if (!examined) {
            continue;
        }
        std::string_view compared = plain;
        if (StartsNoCase(compared, kModemSectionPrefix)) {
            compared.remove_prefix(kModemSectionPrefix.size());
        }
        if (!titles.count(Lower(compared)) && !sections.count(Lower(name)) &&
            Storable(name, true)) {
            batch.DeleteSection(name);
        }
    }

    if (!platform::IniApply(iniPath, batch)) {
        return false;
    }

    for (std::string& item : items) {
        std::string_view entry = StripDisplayColumn(item);
        if (entry.empty() || EntrySettings(entry).empty()) {
            continue;
        }
        std::string title(EntryTitle(entry));
        std::string tagged(item.substr(0, item.find('\t')));
        tagged += '\t';
        tagged += title;
        AppendSetting(tagged, kSaveRouteKey, title);
        item = std::move(tagged);
    }
    return true;
}

// ---- Rules the connection dialogs share ------------------------------------------------------

std::string MakeUniqueTitle(ConnectionKind kind, std::string_view host, unsigned port,
                            std::string_view openedTitle,
                            const std::vector<std::string>& listItems) {
    std::string title = MakeDirectTitle(kind, host, port);
    if (EqualNoCase(title, openedTitle)) {
        return title;
    }
    std::string_view bareHost = host.substr(0, host.find('#'));
    unsigned counter = 2;
    for (std::size_t i = 0; i < listItems.size(); ++i) {
        if (!EqualNoCase(ItemTitle(listItems[i]), title)) {
            continue;
        }
        title =
            MakeDirectTitle(kind, std::string(bareHost) + "#" + std::to_string(counter++), port);
        i = static_cast<std::size_t>(-1);  // compare again from the first item
    }
    return title;
}

ConnectionEntry BuildConnectionResult(std::string_view title,
                                      const std::vector<EditedSetting>& edited,
                                      std::string_view incoming, bool carryOthers) {
    ConnectionEntry entry(title);
    const std::string section = ConnectionSectionName(title);
    for (const EditedSetting& s : edited) {
        std::string stored = StoredValue(section, s.key, 500);
        bool same = s.matchCase ? stored == s.value : EqualNoCase(stored, s.value);
        if (!same) {
            AppendSetting(entry, s.key, s.value);
        }
    }
    if (carryOthers && !TestMarkerTitle(incoming)) {
        ForEachSetting(EntrySettings(incoming),
                       [&](std::string_view k, std::string_view v, bool hasEquals) {
                           for (const EditedSetting& s : edited) {
                               if (EqualNoCase(s.key, k)) {
                                   return;
                               }
                           }
                           entry += '\t';
                           entry.append(k);
                           if (hasEquals) {
                               entry += '=';
                               entry.append(v);
                           }
                       });
    }
    return entry;
}

}  // namespace config
