// The gateway simulator: lays down a scenario's files in the data root (the one-shot mode) and
// plays a running gateway service (the running mode): publishes both status blocks, holds SMPP
// client flag files and modem reservations, keeps counters, queue and credits moving, records
// events, reloads when the restart trigger grows and ends on SIGTERM or the stop byte.
#pragma once

#include <csignal>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "tools/gateway-sim/files.h"
#include "tools/gateway-sim/scenario.h"
#include "tools/gateway-sim/status_block.h"

namespace gatewaysim {

// The scenario a service start without arguments runs: programData + "GATEWAYSIM.INI".
std::string DefaultScenarioPath(const SimPaths& paths);

// The "Modem%u" titles of ZIZOD.INI, in order, up to the first missing number.
std::vector<std::string> ConfiguredTitles(const std::string& configFile);

// Writes every file of the scenario: connection titles missing from ZIZOD.INI, gateway and
// connection counters, the queue counter, queue and received messages, MMS messages, error files,
// users' credit and quota files, events and, with `staleFlags`, the flag files of connected
// clients (not held by anyone, as a gateway that ended leaves them). False when a file could not
// be written; the rest is still written.
bool LayDown(const Scenario& scenario, const SimPaths& paths, std::time_t now, bool staleFlags);

class Runner {
  public:
    explicit Runner(std::string scenarioPath) : scenarioPath_(std::move(scenarioPath)) {}
    ~Runner() { Stop(); }
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // Loads the scenario, creates the status blocks, connects the clients and takes the modems.
    // False with `error` set when the scenario cannot be read or a block cannot be created.
    bool Start(bool layDownFirst, std::string* error);
    // One step of the moving figures.
    void Step(std::time_t now);
    // The console wrote 1 into the stop byte.
    bool StopRequested() const { return gateway_.Read(kStopRequested) != 0; }
    // Reloads when ConfigurationUpdateTriggerRestart grew; true when it did.
    bool CheckReload();
    // Lets go of the clients and modems (their files stay), removes the blocks, records the stop.
    void Stop();
    uint32_t tickMs() const { return scenario_.gateway.tickMs; }

  private:
    struct Client {
        ClientSpec plan;
        HeldFile flag;
    };
    struct Modem {
        ModemSpec plan;
        HeldFile reservation;
    };
    bool Load(std::string* error);
    void PublishStatus();
    void Connect(Client& c);
    void Take(Modem& m);
    uint32_t Random(uint32_t below);

    std::string scenarioPath_;
    Scenario scenario_;
    SimPaths paths_;
    OwnedBlock gateway_, mmsc_;
    std::vector<Client> clients_;
    std::vector<Modem> modems_;
    std::deque<std::string> simulatedQueue_;
    std::string triggerSeen_;
    uint32_t rng_ = 1;
    uint64_t steps_ = 0;
    bool running_ = false;
};

// The running mode: runs until SIGTERM or SIGINT sets `*stop` or the stop byte is written, taking
// its time from the injectable clock. Returns the exit status.
int RunService(const std::string& scenarioPath, bool layDownFirst,
               volatile std::sig_atomic_t* stop);

}  // namespace gatewaysim
