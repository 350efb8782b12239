// The one-shot and running modes of the gateway simulator (simulator.h).
#include "tools/gateway-sim/simulator.h"

#include <unistd.h>

#include <cstdio>

#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"
#include "platform/dirs.h"
#include "platform/eventlog.h"
#include "platform/file_scan.h"
#include "platform/ini.h"
#include "platform/share.h"

namespace gatewaysim {
namespace {

constexpr const char* kSource = "ZelmoSMS";
constexpr const char* kGatewayCounters[] = {"SMSSUBMIT", "SMSSENT", "SMSRECEIVED", "SMSFAILED",
                                            "SMSRETRY"};
constexpr const char* kMmsCounters[] = {"MMSIN-USER",  "MMSIN-VASP",  "MMSIN-MODEM", "MMSOUT-MMSC",
                                        "MMSOUT-VASP", "MMSOUT-SMTP", "MMSRETRIEVED"};

platform::EventType TypeOf(std::string_view name) {
    for (auto t : {platform::EventType::kError, platform::EventType::kWarning,
                   platform::EventType::kAuditSuccess, platform::EventType::kAuditFailure}) {
        if (config::EqualNoCase(name, platform::EventTypeName(t))) {
            return t;
        }
    }
    return platform::EventType::kInformation;
}

void Record(const SimPaths& p, platform::EventType type, const std::string& message,
            std::time_t now) {
    platform::AppendEvent(p.eventLog, type, kSource, {message}, now);
}

bool EndsWithNoCase(std::string_view name, std::string_view tail) {
    return name.size() >= tail.size() &&
           config::EqualNoCase(name.substr(name.size() - tail.size()), tail);
}

uint32_t CountRequestFiles(const std::string& dir) {
    uint32_t n = 0;
    platform::ListDirectory(dir, [&](std::string_view name, platform::EntryType type) {
        if (type == platform::EntryType::kFile && EndsWithNoCase(name, ".REQ")) {
            ++n;
        }
    });
    return n;
}

// The queue size the year-less "SMSQSIZE" counter holds: the ".REQ" files of the queue directory
// and of its route subdirectories, except the MMS queues ("MMSQ__..."), which a console that
// reads the counter (CacheQSize) counts itself and adds.
uint32_t CountRequests(const std::string& queueDir) {
    uint32_t n = CountRequestFiles(queueDir);
    platform::ListDirectory(queueDir, [&](std::string_view name, platform::EntryType type) {
        if (type != platform::EntryType::kDirectory || name == "." || name == ".." ||
            (name.size() >= 6 && config::EqualNoCase(name.substr(0, 6), "MMSQ__"))) {
            return;
        }
        n += CountRequestFiles(queueDir + std::string(name) + "/");
    });
    return n;
}

// Deletes a file unless someone holds it (the console's rule for deletes); a missing file counts
// as deleted.
bool DeleteUnlessHeld(const std::string& path) {
    platform::DeleteResult r = platform::DeleteShared(path);
    return r == platform::DeleteResult::kDeleted || r == platform::DeleteResult::kMissing;
}

// Adds the users that the user file does not hold yet; records already there (perhaps edited by
// the operator) are kept. False when the user file cannot be opened or written.
bool AddUserRecords(const std::vector<UserSpec>& users) {
    if (users.empty()) {
        return true;
    }
    uint32_t handle = 0;
    if (!SMSOpenUserFile(&handle, ZOZEZIV_USERS_READWRITE)) {
        return false;
    }
    bool ok = true;
    for (const auto& u : users) {
        UserRecord found = zozeziv::EmptyUserRecord();
        if (SMSFindUserRecord(handle, u.name.c_str(), zozeziv::RecordBytes(found))) {
            continue;
        }
        UserRecord r = zozeziv::EmptyUserRecord();
        zozeziv::SetUserName(r, u.name);
        zozeziv::SetPassword(r, u.password);
        zozeziv::SetFullName(r, u.fullName);
        r.smppLoginEnabled = u.smppLogin ? 1 : 0;
        r.webMenuOption = USER_WEB_MENU_ALL;
        ok = SMSAddUser(handle, zozeziv::RecordBytes(r)) != 0 && ok;
    }
    SMSCloseUserFile(handle);
    return ok;
}

std::string UserDirectory(const SimPaths& p, const std::string& user) {
    return p.usersDir + user + "/";
}

bool WriteQueued(const SimPaths& p, const QueueSpec& q) {
    bool ok = true;
    std::string dir = q.route.empty() ? p.queueDir : p.queueDir + FileSafe(q.route) + "/";
    SmsFile file;
    file.keys = q.keys;
    file.retry = q.retry;
    file.retryCount = q.retryCount;
    file.lastRetryTime = q.lastRetryTime;
    file.firstAttemptTime = q.firstAttemptTime;
    file.lastErrorInfo = q.lastErrorInfo;
    std::string text = FormatSmsFile(file);
    for (uint32_t i = 1; i <= q.count; ++i) {
        std::string name = q.count > 1 ? q.stem + std::to_string(i) : q.stem;
        ok = WriteFileAtomic(dir + name + ".REQ", text) && ok;
    }
    return ok;
}

bool WriteReceived(const SimPaths& p, const ReceivedSpec& r) {
    SmsFile file;
    file.received = true;
    file.keys = r.keys;
    switch (r.coding) {
        case Coding::kText:
            if (!r.text.empty()) {
                file.keys.emplace_back("Data", r.text);
            }
            break;
        case Coding::kUcs2:
            file.keys.emplace_back("Data", Ucs2Hex(r.text));
            file.keys.emplace_back("dcs", "08");
            file.keys.emplace_back("binary", "Yes");
            break;
        case Coding::kGsm7:
            file.keys.emplace_back("Data", Gsm7PackedHex(r.text));
            file.keys.emplace_back("dcs", "00");
            file.keys.emplace_back("binary", "Yes");
            break;
    }
    return WriteFileAtomic(p.smsInDir + r.stem + "." + r.extension, FormatSmsFile(file));
}

bool WriteMms(const SimPaths& p, const MmsSpec& m, std::time_t now) {
    std::string dir = m.subdirectory.empty() ? p.mmsDir : p.mmsDir + m.subdirectory + "/";
    std::string relative = m.subdirectory.empty() ? m.stem : m.subdirectory + "\\" + m.stem;
    bool ok = true;
    // The content first, so that a header never names an object that is not there yet.
    for (const auto& c : m.contents) {
        ok = WriteFileAtomic(dir + m.stem + "/" + c.name, c.text) && ok;
    }
    char date[64];
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    std::string header = "From: " + m.from + "\r\nTo: " + m.to + "\r\nSubject: " + m.subject +
                         "\r\nDate: " + date +
                         "\r\nContent-Type: application/vnd.wap.multipart.related\r\n";
    for (const auto& c : m.contents) {
        header +=
            "X-ZelmoMMS-Content-Location: " + relative + "\\" + c.name + ";" + c.type + ";\r\n";
    }
    return WriteFileAtomic(dir + m.stem + ".HDR", header) && ok;
}

}  // namespace

std::string DefaultScenarioPath(const SimPaths& paths) {
    return paths.programData + "GATEWAYSIM.INI";
}

std::vector<std::string> ConfiguredTitles(const std::string& configFile) {
    std::vector<std::string> titles;
    for (unsigned n = 1; n <= 200; ++n) {
        std::string title =
            platform::IniGetString(configFile, "ZIZOD", "Modem" + std::to_string(n));
        if (title.empty()) {
            break;
        }
        titles.push_back(title);
    }
    return titles;
}

bool LayDown(const Scenario& s, const SimPaths& p, std::time_t now, bool staleFlags) {
    bool ok = true;
    auto write = [&](const std::string& path, std::string_view text) {
        ok = WriteFileAtomic(path, text) && ok;
    };

    // Connections the scenario names go into the list of ZIZOD.INI when not there yet.
    std::vector<std::string> titles = ConfiguredTitles(p.configFile);
    platform::IniBatch batch;
    for (const auto& c : s.connections) {
        bool listed = false;
        for (const auto& t : titles) {
            listed = listed || config::EqualNoCase(t, c.title);
        }
        if (!listed) {
            titles.push_back(c.title);
            batch.Set("ZIZOD", "Modem" + std::to_string(titles.size()), c.title);
        }
    }
    if (!batch.empty()) {
        platform::MakeDirectories(p.programData);
        ok = platform::IniApply(p.configFile, batch) && ok;
    }

    for (const auto& c : s.counters) {
        if (c.name.find("SMS") != std::string::npos && c.name.find("QSIZE") != std::string::npos) {
            ok = SetFirstEntry(QueueCounterPath(p, c.name), c.counts.empty() ? 0 : c.counts[0]) &&
                 ok;
            continue;
        }
        ok = LayDownCounts([&](int year) { return GatewayCounterPath(p, c.name, year); }, now,
                           c.counts, c.lastYear) &&
             ok;
    }
    for (const auto& c : s.connections) {
        ok = LayDownCounts([&](int year) { return ConnectionCounterPath(p, c.title, year); }, now,
                           c.counts, c.lastYear) &&
             ok;
        if (!c.error.empty()) {
            write(ConnectionErrorPath(p, c.title), c.error);
        } else {
            ::unlink(ConnectionErrorPath(p, c.title).c_str());
        }
    }
    for (const auto& r : s.routes) {
        if (!r.error.empty()) {
            write(RouteErrorPath(p, r.name), r.error);
        }
    }
    platform::MakeDirectories(p.queueDir);
    for (const auto& q : s.queue) {
        ok = WriteQueued(p, q) && ok;
    }
    platform::MakeDirectories(p.smsInDir);
    for (const auto& r : s.received) {
        ok = WriteReceived(p, r) && ok;
    }
    platform::MakeDirectories(p.mmsDir);
    for (const auto& m : s.mms) {
        ok = WriteMms(p, m, now) && ok;
    }
    ok = AddUserRecords(s.users) && ok;
    for (const auto& u : s.users) {
        std::string dir = UserDirectory(p, u.name);
        platform::MakeDirectories(dir);
        if (u.hasCredit) {
            ok = WriteCreditBalance(dir + "SMS.CTR", u.credit) && ok;
        }
        ok = LayDownCounts([&](int year) { return dir + std::to_string(year) + ".QTA"; }, now,
                           u.quota, u.lastYearQuota) &&
             ok;
    }
    if (staleFlags) {
        for (const auto& c : s.clients) {
            if (c.connected) {
                write(FlagFilePath(p, c.clientKey, c.connectionKey, c.bind, c.user), "");
            }
        }
    }
    for (const auto& e : s.events) {
        ok = platform::AppendEvent(p.eventLog, TypeOf(e.type), e.source, e.strings, now) != 0 && ok;
    }
    return ok;
}

// ---- Running mode ----------------------------------------------------------------------------

bool Runner::Load(std::string* error) {
    paths_ = ResolvePaths();
    Scenario loaded;
    if (!LoadScenario(scenarioPath_, &loaded, error)) {
        return false;
    }
    scenario_ = std::move(loaded);
    rng_ = scenario_.gateway.seed ? scenario_.gateway.seed : 1;
    return true;
}

uint32_t Runner::Random(uint32_t below) {
    // xorshift32: a fixed sequence for a fixed seed.
    rng_ ^= rng_ << 13;
    rng_ ^= rng_ >> 17;
    rng_ ^= rng_ << 5;
    return below ? rng_ % below : 0;
}

void Runner::PublishStatus() {
    const GatewaySettings& g = scenario_.gateway;
    gateway_.Write(kWebPortInUse, g.webPortInUse);
    gateway_.Write(kSmppServerActive, g.smppServerActive);
    gateway_.Write(kSmppPortInUse, g.smppPortInUse);
    mmsc_.Write(kHttpPortInUse, g.mmscHttpPortInUse);
    mmsc_.Write(kSmtpPortInUse, g.mmscSmtpPortInUse);
}

void Runner::Connect(Client& c) {
    c.flag.Create(
        FlagFilePath(paths_, c.plan.clientKey, c.plan.connectionKey, c.plan.bind, c.plan.user), "",
        false);
}

void Runner::Take(Modem& m) {
    m.reservation.Create(ModemReservationPath(paths_, m.plan.name),
                         std::string(kSource) + " " + std::to_string(::getpid()) + "\n", true);
}

bool Runner::Start(bool layDownFirst, std::string* error) {
    if (!Load(error)) {
        return false;
    }
    triggerSeen_ =
        platform::IniGetString(paths_.configFile, "ZIZOD", "ConfigurationUpdateTriggerRestart");
    if (!gateway_.Create(kGatewayBlockName) || !mmsc_.Create(kMmscBlockName)) {
        *error = "cannot create the status blocks";
        gateway_.Remove();
        return false;
    }
    running_ = true;
    std::time_t now = platform::WallSeconds();
    if (layDownFirst) {
        LayDown(scenario_, paths_, now, false);
    }
    PublishStatus();
    platform::MakeDirectories(paths_.queueDir);
    clients_.clear();
    for (const auto& plan : scenario_.clients) {
        clients_.push_back({plan, {}});
        if (plan.connected) {
            Connect(clients_.back());
        }
    }
    modems_.clear();
    for (const auto& plan : scenario_.modems) {
        modems_.push_back({plan, {}});
        if (plan.inUse) {
            Take(modems_.back());
        }
    }
    Record(paths_, platform::EventType::kInformation, "Zelmo SMS/MMS Gateway service started.",
           now);
    return true;
}

void Runner::Step(std::time_t now) {
    ++steps_;
    Day today = DayBefore(now, 0);

    // Messages submitted, sent, received, failed and retried today.
    uint32_t sent = Random(4);
    uint32_t figures[] = {sent + Random(2), sent, Random(3), Random(8) == 0, Random(5) == 0};
    for (std::size_t i = 0; i < std::size(figures); ++i) {
        if (figures[i]) {
            UpdateCounter(GatewayCounterPath(paths_, kGatewayCounters[i], today.year),
                          {{today.index, figures[i]}}, true);
        }
    }
    if (Random(4) == 0) {
        UpdateCounter(
            GatewayCounterPath(paths_, kMmsCounters[Random(std::size(kMmsCounters))], today.year),
            {{today.index, 1}}, true);
    }
    std::vector<std::string> titles = ConfiguredTitles(paths_.configFile);
    for (uint32_t k = 0; k < sent && !titles.empty(); ++k) {
        UpdateCounter(ConnectionCounterPath(paths_, titles[Random(titles.size())], today.year),
                      {{today.index, 1}}, true);
    }

    // The queue grows and shrinks by a file at a time.
    uint32_t move = Random(3);
    if (move == 0 && simulatedQueue_.size() < scenario_.gateway.maxQueue) {
        SmsFile file;
        file.keys = {{"PhoneNumber", "+4479" + std::to_string(10000000 + Random(89999999))},
                     {"Sender", "ZelmoSMS"},
                     {"Data", "Simulated message " + std::to_string(steps_)},
                     {"SubmittedBy", "127.0.0.1"}};
        std::string path =
            paths_.queueDir + "SIM" + Stamp14(now) + "-" + std::to_string(steps_) + ".REQ";
        if (WriteFileAtomic(path, FormatSmsFile(file))) {
            simulatedQueue_.push_back(path);
        }
    } else if (move == 1 && !simulatedQueue_.empty()) {
        if (DeleteUnlessHeld(simulatedQueue_.front())) {
            simulatedQueue_.pop_front();
        }
    }
    SetFirstEntry(QueueCounterPath(paths_, "SMSQSIZE"), CountRequests(paths_.queueDir));

    // Users who send use up credit and quota.
    for (const auto& u : scenario_.users) {
        if (u.debit) {
            std::string dir = UserDirectory(paths_, u.name);
            if (u.hasCredit) {
                DebitCredit(dir + "SMS.CTR", 1000);
            }
            UpdateCounter(dir + std::to_string(today.year) + ".QTA", {{today.index, 1}}, true);
        }
    }

    // Clients connect and leave; modems are taken and freed.
    for (auto& c : clients_) {
        if (c.plan.cycle && steps_ % c.plan.cycle == 0) {
            if (c.flag.IsHeld()) {
                c.flag.Remove();
            } else {
                Connect(c);
            }
        }
    }
    for (auto& m : modems_) {
        if (m.plan.cycle && steps_ % m.plan.cycle == 0) {
            if (m.reservation.IsHeld()) {
                m.reservation.Release();
            } else {
                Take(m);
            }
        }
    }

    if (scenario_.gateway.eventEvery && steps_ % scenario_.gateway.eventEvery == 0) {
        bool warn = Random(4) == 0;
        Record(paths_, warn ? platform::EventType::kWarning : platform::EventType::kInformation,
               warn ? "Message delivery delayed, will retry."
                    : std::to_string(sent) + " message(s) sent in the last interval.",
               now);
    }
}

bool Runner::CheckReload() {
    std::string trigger =
        platform::IniGetString(paths_.configFile, "ZIZOD", "ConfigurationUpdateTriggerRestart");
    if (trigger <= triggerSeen_) {
        return false;
    }
    triggerSeen_ = trigger;
    std::string error;
    std::time_t now = platform::WallSeconds();
    // A restart drops the connections and modems and takes them up again as configured.
    for (auto& c : clients_) {
        c.flag.Remove();
    }
    for (auto& m : modems_) {
        m.reservation.Release();
    }
    if (!Load(&error)) {
        Record(paths_, platform::EventType::kError, "Configuration not reloaded: " + error, now);
    }
    PublishStatus();
    clients_.clear();
    for (const auto& plan : scenario_.clients) {
        clients_.push_back({plan, {}});
        if (plan.connected) {
            Connect(clients_.back());
        }
    }
    modems_.clear();
    for (const auto& plan : scenario_.modems) {
        modems_.push_back({plan, {}});
        if (plan.inUse) {
            Take(modems_.back());
        }
    }
    Record(paths_, platform::EventType::kInformation, "Configuration reloaded.", now);
    return true;
}

void Runner::Stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    // Flag files and reservations stay behind unheld, as after a gateway that ended.
    for (auto& c : clients_) {
        c.flag.Release();
    }
    for (auto& m : modems_) {
        m.reservation.Release();
    }
    gateway_.Remove();
    mmsc_.Remove();
    Record(paths_, platform::EventType::kInformation, "Zelmo SMS/MMS Gateway service stopped.",
           platform::WallSeconds());
}

int RunService(const std::string& scenarioPath, bool layDownFirst,
               volatile std::sig_atomic_t* stop) {
    Runner runner(scenarioPath);
    std::string error;
    if (!runner.Start(layDownFirst, &error)) {
        std::fprintf(stderr, "smsgwnt: %s\n", error.c_str());
        return 1;
    }
    constexpr uint32_t kSliceMs = 50;
    constexpr uint64_t kTriggerMs = 500;
    uint64_t nextStep = platform::TickMs() + runner.tickMs();
    uint64_t nextTrigger = platform::TickMs() + kTriggerMs;
    while (!*stop && !runner.StopRequested()) {
        uint64_t now = platform::TickMs();
        if (now >= nextTrigger) {
            runner.CheckReload();
            nextTrigger = now + kTriggerMs;
        }
        if (now >= nextStep) {
            runner.Step(platform::WallSeconds());
            nextStep = now + runner.tickMs();
        }
        platform::SleepMs(kSliceMs);
    }
    runner.Stop();
    return 0;
}

}  // namespace gatewaysim
