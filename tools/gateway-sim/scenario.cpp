// Reading a scenario file (scenario.h). Every section kind is described once in a table of its
// own keys; what a message section does not know as one of those is copied into the message file.
#include "tools/gateway-sim/scenario.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>

#include "config/text.h"
#include "platform/ini.h"
#include "tools/gateway-sim/files.h"
#include "users/credits.h"

namespace gatewaysim {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Reader {
    const std::string& path;
    std::string* error;
    bool ok = true;

    std::string Get(const std::string& section, const char* key, const char* def = "") {
        return platform::IniGetString(path, section, key, def);
    }
    bool Yes(const std::string& section, const char* key, bool def) {
        auto value = platform::IniRead(path, section, key);
        return value ? config::IsYes(*value) : def;
    }
    uint32_t Number(const std::string& section, const char* key, uint32_t def) {
        auto value = platform::IniRead(path, section, key);
        if (!value || value->empty()) {
            return def;
        }
        uint32_t n = 0;
        auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), n);
        if (ec != std::errc() || end != value->data() + value->size()) {
            Fail(section, key);
            return def;
        }
        return n;
    }
    std::vector<uint32_t> Counts(const std::string& section, const std::string& key) {
        std::vector<uint32_t> values;
        if (!ParseCountList(platform::IniGetString(path, section, key), &values)) {
            Fail(section, key);
        }
        return values;
    }
    void Fail(const std::string& section, std::string_view key) {
        if (ok) {
            *error = "[" + section + "] " + std::string(key) + ": value not understood";
        }
        ok = false;
    }
    // Calls fn(section) for Name1, Name2 ... up to the first missing one.
    template <typename Fn>
    void Numbered(const char* name, Fn&& fn) {
        for (unsigned n = 1;; ++n) {
            std::string section = name + std::to_string(n);
            if (!platform::IniSectionExists(path, section)) {
                return;
            }
            fn(section, n);
        }
    }
};

bool IsOneOf(std::string_view key, std::initializer_list<std::string_view> keys) {
    for (auto k : keys) {
        if (config::EqualNoCase(key, k)) {
            return true;
        }
    }
    return false;
}

// The section's keys that are not the simulator's own, in file order.
Pairs MessageKeys(const std::string& path, const std::string& section,
                  std::initializer_list<std::string_view> own) {
    Pairs keys;
    for (auto& [key, value] : platform::IniReadSection(path, section)) {
        if (!IsOneOf(key, own)) {
            keys.emplace_back(key, value);
        }
    }
    return keys;
}

// "\n" and "\r" in a scenario text stand for line breaks.
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 'r')) {
            out += text[++i] == 'n' ? '\n' : '\r';
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

bool ParseCountList(const std::string& text, std::vector<uint32_t>* values) {
    values->clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        std::size_t b = item.find_first_not_of(" \t");
        std::size_t e = item.find_last_not_of(" \t");
        item = b == std::string::npos ? std::string() : item.substr(b, e - b + 1);
        uint32_t n = 0;
        if (!item.empty()) {
            auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), n);
            if (ec != std::errc() || end != item.data() + item.size()) {
                return false;
            }
        }
        values->push_back(n);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (text.find_first_not_of(" \t") == std::string::npos) {
        values->clear();
    }
    return true;
}

bool LoadScenario(const std::string& path, Scenario* out, std::string* error) {
    Scenario s;
    error->clear();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *out = s;
        return true;
    }
    Reader r{path, error};

    const std::string g = "Gateway";
    s.gateway.webPortInUse = r.Yes(g, "WebPortInUse", false);
    s.gateway.smppServerActive = r.Yes(g, "SmppServerActive", true);
    s.gateway.smppPortInUse = r.Yes(g, "SmppPortInUse", false);
    s.gateway.mmscHttpPortInUse = r.Yes(g, "MmscHttpPortInUse", false);
    s.gateway.mmscSmtpPortInUse = r.Yes(g, "MmscSmtpPortInUse", false);
    s.gateway.tickMs = std::max<uint32_t>(50, r.Number(g, "TickMs", 1000));
    s.gateway.seed = r.Number(g, "Seed", 1);
    s.gateway.maxQueue = r.Number(g, "MaxQueue", 20);
    s.gateway.eventEvery = r.Number(g, "EventEvery", 10);

    for (auto& [key, value] : platform::IniReadSection(path, "Counters")) {
        std::string name = key;
        bool lastYear = false;
        constexpr std::string_view kLast = ".LastYear";
        if (name.size() > kLast.size() &&
            config::EqualNoCase(std::string_view(name).substr(name.size() - kLast.size()), kLast)) {
            name.resize(name.size() - kLast.size());
            lastYear = true;
        }
        std::vector<uint32_t> values;
        if (!ParseCountList(value, &values)) {
            r.Fail("Counters", key);
        }
        CounterSpec* counter = nullptr;
        for (auto& c : s.counters) {
            if (config::EqualNoCase(c.name, name)) {
                counter = &c;
            }
        }
        if (!counter) {
            s.counters.push_back({name, {}, {}});
            counter = &s.counters.back();
        }
        (lastYear ? counter->lastYear : counter->counts) = values;
    }

    r.Numbered("Connection", [&](const std::string& sec, unsigned) {
        ConnectionSpec c;
        c.title = r.Get(sec, "Title");
        c.counts = r.Counts(sec, "Counts");
        c.lastYear = r.Counts(sec, "LastYear");
        c.error = r.Get(sec, "Error");
        if (c.title.empty()) {
            r.Fail(sec, "Title");
        }
        s.connections.push_back(std::move(c));
    });
    r.Numbered("Route", [&](const std::string& sec, unsigned) {
        RouteSpec c{r.Get(sec, "Name"), r.Get(sec, "Error")};
        if (c.name.empty()) {
            r.Fail(sec, "Name");
        }
        s.routes.push_back(std::move(c));
    });
    r.Numbered("Queue", [&](const std::string& sec, unsigned n) {
        QueueSpec q;
        q.route = r.Get(sec, "Route");
        q.stem = r.Get(sec, "Stem", ("Q" + std::to_string(n)).c_str());
        q.count = r.Number(sec, "Count", 1);
        q.retry = platform::IniRead(path, sec, "RetryCount").has_value();
        q.retryCount = static_cast<int>(r.Number(sec, "RetryCount", 0));
        q.lastRetryTime = r.Get(sec, "LastRetryTime");
        q.firstAttemptTime = r.Get(sec, "FirstAttemptTime");
        q.lastErrorInfo = r.Get(sec, "LastErrorInfo");
        q.keys = MessageKeys(path, sec,
                             {"Route", "Stem", "Count", "RetryCount", "LastRetryTime",
                              "FirstAttemptTime", "LastErrorInfo"});
        s.queue.push_back(std::move(q));
    });
    r.Numbered("Received", [&](const std::string& sec, unsigned n) {
        ReceivedSpec m;
        m.extension = r.Get(sec, "Extension", "IN");
        if (!IsOneOf(m.extension, {"IN", "REC", "SMS"})) {
            r.Fail(sec, "Extension");
        }
        m.stem = r.Get(sec, "Stem", ("R" + std::to_string(n)).c_str());
        std::string coding = r.Get(sec, "Coding", "Text");
        m.coding = config::EqualNoCase(coding, "UCS2")   ? Coding::kUcs2
                   : config::EqualNoCase(coding, "GSM7") ? Coding::kGsm7
                                                         : Coding::kText;
        if (!IsOneOf(coding, {"Text", "UCS2", "GSM7"})) {
            r.Fail(sec, "Coding");
        }
        m.text = Unescape(r.Get(sec, "Text"));
        m.keys = MessageKeys(path, sec, {"Extension", "Stem", "Coding", "Text"});
        s.received.push_back(std::move(m));
    });
    r.Numbered("Mms", [&](const std::string& sec, unsigned n) {
        MmsSpec m;
        m.stem = r.Get(sec, "Stem", ("MMS" + std::to_string(n)).c_str());
        m.subdirectory = r.Get(sec, "Subdirectory");
        m.from = r.Get(sec, "From");
        m.to = r.Get(sec, "To");
        m.subject = r.Get(sec, "Subject");
        for (unsigned k = 1;; ++k) {
            auto value = platform::IniRead(path, sec, "Content" + std::to_string(k));
            if (!value) {
                break;
            }
            // name;content-type;text
            MmsContent c;
            std::size_t a = value->find(';');
            std::size_t b = a == std::string::npos ? a : value->find(';', a + 1);
            c.name = value->substr(0, a);
            c.type = a == std::string::npos
                         ? ""
                         : value->substr(a + 1, b == std::string::npos ? b : b - a - 1);
            c.text = b == std::string::npos ? "" : Unescape(value->substr(b + 1));
            if (c.name.empty() || c.name.find('/') != std::string::npos) {
                r.Fail(sec, "Content" + std::to_string(k));
            }
            m.contents.push_back(std::move(c));
        }
        s.mms.push_back(std::move(m));
    });
    r.Numbered("User", [&](const std::string& sec, unsigned) {
        UserSpec u;
        u.name = r.Get(sec, "Name");
        // A name the console refuses as a directory name would get files it never reads.
        if (users::CheckUserName(u.name) != users::UserNameProblem::kNone) {
            r.Fail(sec, "Name");
        }
        u.password = r.Get(sec, "Password", "password");
        u.fullName = r.Get(sec, "FullName");
        u.smppLogin = r.Yes(sec, "SmppLogin", true);
        auto credit = platform::IniRead(path, sec, "Credit");
        u.hasCredit = credit.has_value();
        u.credit = credit ? std::max<int64_t>(0, ParseCreditText(*credit)) : 0;
        u.quota = r.Counts(sec, "Quota");
        u.lastYearQuota = r.Counts(sec, "LastYearQuota");
        u.debit = r.Yes(sec, "Debit", false);
        s.users.push_back(std::move(u));
    });
    r.Numbered("Client", [&](const std::string& sec, unsigned n) {
        ClientSpec c;
        c.user = r.Get(sec, "User");
        c.clientKey = r.Get(sec, "ClientKey", ("C" + std::to_string(n)).c_str());
        c.connectionKey = r.Get(sec, "ConnectionKey", std::to_string(n).c_str());
        c.bind = r.Get(sec, "Bind", "T");
        c.connected = r.Yes(sec, "Connected", true);
        c.cycle = r.Number(sec, "Cycle", 0);
        if (c.user.empty() || c.user.find('/') != std::string::npos) {
            r.Fail(sec, "User");
        }
        if (c.clientKey.find_first_of("-/") != std::string::npos) {
            r.Fail(sec, "ClientKey");
        }
        if (c.connectionKey.find_first_of("-/") != std::string::npos) {
            r.Fail(sec, "ConnectionKey");
        }
        if (!IsOneOf(c.bind, {"T", "S", "R"})) {
            r.Fail(sec, "Bind");
        }
        s.clients.push_back(std::move(c));
    });
    r.Numbered("Event", [&](const std::string& sec, unsigned) {
        EventSpec e;
        e.type = r.Get(sec, "Type", "Information");
        if (!IsOneOf(e.type, {"Error", "Warning", "Information", "AuditSuccess", "AuditFailure"})) {
            r.Fail(sec, "Type");
        }
        e.source = r.Get(sec, "Source", "ZelmoSMS");
        e.strings.push_back(Unescape(r.Get(sec, "Message")));
        for (unsigned k = 2;; ++k) {
            auto value = platform::IniRead(path, sec, "Message" + std::to_string(k));
            if (!value) {
                break;
            }
            e.strings.push_back(Unescape(*value));
        }
        s.events.push_back(std::move(e));
    });
    r.Numbered("Modem", [&](const std::string& sec, unsigned) {
        ModemSpec m;
        m.name = r.Get(sec, "Name");
        m.inUse = r.Yes(sec, "InUse", true);
        m.cycle = r.Number(sec, "Cycle", 0);
        if (m.name.empty()) {
            r.Fail(sec, "Name");
        }
        s.modems.push_back(std::move(m));
    });

    if (!r.ok) {
        return false;
    }
    *out = std::move(s);
    return true;
}

}  // namespace gatewaysim
