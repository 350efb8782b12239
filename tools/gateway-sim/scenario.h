// A scenario of the gateway simulator: an INI file of its own (docs/gateway-sim.md) that says
// which status bytes to publish and which counters, messages, errors, users, SMPP clients, events
// and modem reservations to lay down, and how the running mode moves the figures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gatewaysim {

struct GatewaySettings {
    bool webPortInUse = false;
    bool smppServerActive = true;
    bool smppPortInUse = false;
    bool mmscHttpPortInUse = false;
    bool mmscSmtpPortInUse = false;
    uint32_t tickMs = 1000;    // running mode: time between two steps of the figures
    uint32_t seed = 1;         // running mode: the figures' pseudo-random sequence
    uint32_t maxQueue = 20;    // running mode: the queue grows up to this many simulated files
    uint32_t eventEvery = 10;  // running mode: one information event every this many steps (0 none)
};

// A counter: counts going back from today, and from 31 December of last year.
struct CounterSpec {
    std::string name;
    std::vector<uint32_t> counts;
    std::vector<uint32_t> lastYear;
};

struct ConnectionSpec {
    std::string title;  // a "Modem%u" value of ZIZOD.INI
    std::vector<uint32_t> counts, lastYear;
    std::string error;  // the last error; empty: no error file
};

struct RouteSpec {
    std::string name;
    std::string error;
};

struct QueueSpec {
    std::string route;  // empty: the queue directory itself
    std::string stem;   // file name without ".REQ"; a number is added when count > 1
    uint32_t count = 1;
    std::vector<std::pair<std::string, std::string>> keys;  // message section, in order
    bool retry = false;
    int retryCount = 0;
    std::string lastRetryTime, firstAttemptTime, lastErrorInfo;
};

enum class Coding { kText, kUcs2, kGsm7 };

struct ReceivedSpec {
    std::string extension = "IN";  // IN, REC or SMS
    std::string stem;
    Coding coding = Coding::kText;
    std::string text;
    std::vector<std::pair<std::string, std::string>> keys;  // further message keys
};

struct MmsContent {
    std::string name, type, text;
};
struct MmsSpec {
    std::string stem;
    std::string subdirectory;  // empty: directly in the received-MMS directory
    std::string from, to, subject;
    std::vector<MmsContent> contents;
};

struct UserSpec {
    std::string name;
    std::string password = "password";  // for a record added to the user file
    std::string fullName;
    bool smppLogin = true;
    bool hasCredit = false;
    int64_t credit = 0;  // thousandths
    std::vector<uint32_t> quota, lastYearQuota;
    bool debit = false;  // running mode: each step takes one credit
};

struct ClientSpec {
    std::string user;
    std::string clientKey;
    std::string connectionKey;
    std::string bind = "T";
    bool connected = true;
    uint32_t cycle = 0;  // running mode: connect and leave every this many steps (0: stay)
};

struct EventSpec {
    std::string type = "Information";
    std::string source = "ZelmoSMS";
    std::vector<std::string> strings;
};

struct ModemSpec {
    std::string name;
    bool inUse = true;
    uint32_t cycle = 0;  // running mode: take and free the modem every this many steps (0: keep)
};

struct Scenario {
    GatewaySettings gateway;
    std::vector<CounterSpec> counters;
    std::vector<ConnectionSpec> connections;
    std::vector<RouteSpec> routes;
    std::vector<QueueSpec> queue;
    std::vector<ReceivedSpec> received;
    std::vector<MmsSpec> mms;
    std::vector<UserSpec> users;
    std::vector<ClientSpec> clients;
    std::vector<EventSpec> events;
    std::vector<ModemSpec> modems;
};

// Reads a scenario file. A missing file gives the defaults (nothing to lay down); `error` names
// the first value that cannot be used (the scenario is then not loaded).
bool LoadScenario(const std::string& path, Scenario* scenario, std::string* error);

// "3,0,12" as numbers; empty items are 0. False on anything else.
bool ParseCountList(const std::string& text, std::vector<uint32_t>* values);

}  // namespace gatewaysim
