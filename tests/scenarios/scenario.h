// The scenario language: plain-text end-to-end tests of the console's windows, run against the
// UI test harness. The language is described in docs/scenarios.md.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/sheet.h"

namespace scenario {

// What a scenario's sheet can see of the run: its data root and what it handed to the desktop.
struct Environment {
    std::string root;                 // the scenario's data root (ZELMOSMS_ROOT), no trailing "/"
    std::vector<std::string> opened;  // files opened with the associated program, in order
};

// Builds the sheet that "start NAME" shows.
using SheetBuilder = std::function<platform::PropertySheet(Environment& env)>;

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
