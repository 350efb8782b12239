// The modem simulator: a GSM modem answering AT commands on a pseudo-terminal, and optionally
// behind a TCP terminal server on 127.0.0.1 that greets with telnet negotiation and login prompts.
// A small profile says how the modem behaves; everything it receives and sends is kept in a
// transcript. It runs on its own thread, in-process (tests) or in the zelmo-modemsim program.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

enum class CmgsAnswer { Prompt, Error, Ok, Silence };

struct Profile {
    std::vector<uint32_t> speeds;  // line speeds it answers at; empty: any (serial only)
    bool echo = true;              // initial ATE state
    bool verbose = true;           // initial ATV state
    std::string pin;               // the SIM's PIN; empty: no PIN asked (READY)
    int cfun = 1;                  // initial +CFUN level
    bool cfunStuck = false;        // accepts "AT+CFUN=1" but stays at its level
    int copsAfter = 0;             // "+COPS?" queries answered unregistered before registration
    int cpmsErrors = 0;            // "+CPMS?" queries answered "+CMS ERROR" first
    bool csms0 = true;             // accepts "AT+CSMS=0"
    bool csms128 = true;           // accepts "AT+CSMS=128"
    bool pdu = true;               // accepts "AT+CMGF=0"
    bool text = true;              // accepts "AT+CMGF=1"
    CmgsAnswer cmgs = CmgsAnswer::Prompt;
    std::vector<std::string> resets = {"AT+CFUN=1,1"};  // reset commands it knows
    int pieces = 1;                                     // each answer is sent in this many pieces
    int pieceDelayMs = 0;                               // real pause between pieces
    std::string garbage;  // sent before the answer to the first command
    bool silent = false;  // never answers
    // Fixed answers, by command as received (upper case, without the "\r"); they win over
    // the built-in ones.
    std::map<std::string, std::string> replies;
};

// Reads a profile from "key=value" items (lines of a file or program arguments). Keys: speeds
// (comma list), echo, verbose, pin, cfun, cops-after, cpms-errors, csms0, csms128, pdu, text,
// cfun-stuck, cmgs (prompt|error|ok|silence), resets (list with ";"), pieces, piece-delay-ms,
// garbage (with \r \n \xHH escapes), silent, and "reply:COMMAND" for a fixed answer (escaped like
// garbage). Unknown keys and bad values are reported in `error`.
bool ParseProfile(std::string_view text, Profile* profile, std::string* error);

// A step of the terminal server before it connects the caller to the modem: send `send`, then
// (when `expect` is not empty) wait for a line and compare it.
struct ServerStep {
    std::string send;
    std::string expect;
    int delayMs = 0;  // real pause before sending
};

struct ServerOptions {
    std::vector<ServerStep> steps;   // greeting, telnet negotiation, login ...
    int closeAtStep = -1;            // close the connection when this step (0-based) is reached
    bool userPromptForever = false;  // after the steps, answer every line with "Username: "
};

class Simulator {
  public:
    explicit Simulator(Profile profile);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // A pseudo-terminal modem; false when no pseudo-terminal could be made.
    bool StartSerial();
    // A terminal server on 127.0.0.1 (port chosen by the system) in front of the same modem.
    bool StartServer(const ServerOptions& options);
    void Stop();

    const std::string& devicePath() const;  // the pseudo-terminal's slave device
    uint16_t port() const;                  // the terminal server's port

    // The dialogue so far: one entry per line, "<- " received (a command line marked "(echoed)"
    // when the modem echoed it), "-> " sent, "-- " events; control characters written as <CR>,
    // <LF>, <ESC>, <IAC> ... or <xHH>.
    std::string Transcript() const;
    // The raw bytes a terminal-server client sent (telnet commands included).
    std::string ServerReceived() const;
    // The commands received, without line ends, in order.
    std::vector<std::string> Commands() const;
    int Connections() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// Writes `bytes` in transcript form.
std::string Escape(std::string_view bytes);

}  // namespace modemsim
