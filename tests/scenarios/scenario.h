// The scenario language: plain-text end-to-end tests of the console's windows, run against the
// UI test harness. The language is described in docs/scenarios.md.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/sheet.h"

namespace scenario {

// What a scenario's sheet can see of the run: its data root and what it handed to the desktop,
// and for whole programs their arguments, settings and what they report doing.
struct Environment {
    std::string root;                 // the scenario's data root (ZELMOSMS_ROOT), no trailing "/"
    std::vector<std::string> opened;  // files opened with the associated program, in order
    std::vector<std::string> arguments;           // the words after "start NAME"
    std::map<std::string, std::string> settings;  // "set KEY VALUE", kept for the whole scenario
    // What the program reported doing ("relaunch"), checked off by "expect event"; cleared by
    // each "start".
    std::vector<std::string> events;
    std::map<std::string, std::function<void()>> actions;  // what "do NAME" runs
    std::optional<int> exitStatus;                         // set when a start ended without a sheet
    // Set by a builder whose program goes on beside its sheet; each is cleared by "start".
    std::function<void(uint64_t ms)> onAdvance;  // each "advance", after the form timers
    std::function<void()> onClose;    // once, right after the action that closed the sheet
    std::function<void()> onAbandon;  // when the scenario ends or restarts with the sheet open
};

// Builds the sheet that "start NAME" shows; nothing when the program ended without one (then
// `exitStatus` tells how).
using SheetBuilder = std::function<std::optional<platform::PropertySheet>(Environment& env)>;

struct Setup {
    std::map<std::string, SheetBuilder> sheets;
    std::string outDir = ".";  // where screenshots go
};

struct Outcome {
    bool passed = true;
    int line = 0;  // the scenario line that failed
    std::string message;
};

// Runs one scenario in a fresh data root (removed afterwards) and stops at the first failure.
Outcome Run(const std::string& text, const Setup& setup);

// Splits a line into words; "quoted text" is one word with \n, \r, \t, \" and \\ escapes. A line
// whose first word starts with # is a comment (no words). False on an unterminated quote.
bool Tokenize(const std::string& line, std::vector<std::string>* words);

}  // namespace scenario
