// The scenario interpreter: each line is one preparation, action or expectation, carried out on
// the UI harness; the first failure stops the scenario and names its line.
#include "tests/scenarios/scenario.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/ini.h"
#include "platform/qt/harness.h"

namespace scenario {
namespace {

namespace fs = std::filesystem;

int g_helpOpened = 0;

// Text for a message, with line breaks and TABs written as escapes.
std::string Shown(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : std::string(1, c);
    }
    return out + "\"";
}
void RecordHelp() {
    ++g_helpOpened;
}

struct Line {
    int number = 0;
    std::vector<std::string> words;
};

class Runner {
  public:
    Runner(const Setup& setup, Environment& env) : setup_(setup), env_(env) {
        h_.OnFailure([this](const std::string& m) { Fail(m); });
    }

    bool Parse(const std::string& text) {
        std::istringstream in(text);
        std::string raw;
        int number = 0;
        while (std::getline(in, raw)) {
            ++number;
            if (!raw.empty() && raw.back() == '\r') {
                raw.pop_back();
            }
            Line l;
            l.number = number;
            if (!Tokenize(raw, &l.words)) {
                line_ = number;
                Fail("unterminated quote");
                return false;
            }
            if (!l.words.empty()) {
                lines_.push_back(std::move(l));
            }
        }
        return true;
    }

    void RunAll() {
        RunBlock(0, lines_.size(), true);
        if (!failed_) {
            h_.Finish();
        }
        h_.CloseSheet();
        Abandon();
    }

    Outcome outcome() const { return {!failed_, failLine_, failMessage_}; }

  private:
    // A program still running beside its sheet is stopped without further questions.
    void Abandon() {
        auto abandon = std::move(env_.onAbandon);
        env_.onAbandon = nullptr;
        env_.onClose = nullptr;
        env_.onAdvance = nullptr;
        if (abandon) {
            abandon();
        }
    }

    // The program's shutdown once its sheet has closed.
    void AfterClose() {
        if (env_.onClose && !h_.SheetOpen()) {
            auto close = std::move(env_.onClose);
            env_.onClose = nullptr;
            env_.onAbandon = nullptr;
            env_.onAdvance = nullptr;
            close();
        }
    }

    void Fail(const std::string& m) {
        if (!failed_) {
            failed_ = true;
            failLine_ = line_;
            failMessage_ = m;
        }
    }

    // The end of the dialog block opened at `i`.
    size_t BlockEnd(size_t i) {
        int depth = 0;
        for (size_t j = i; j < lines_.size(); ++j) {
            if (lines_[j].words[0] == "dialog") {
                ++depth;
            } else if (lines_[j].words[0] == "end" && --depth == 0) {
                return j;
            }
        }
        return lines_.size();
    }

    void RunBlock(size_t begin, size_t end, bool top) {
        for (size_t i = begin; i < end && !failed_; ++i) {
            const Line& l = lines_[i];
            line_ = l.number;
            if (l.words[0] == "dialog") {
                size_t close = BlockEnd(i);
                if (close >= end || l.words.size() != 2) {
                    Fail("dialog needs a name and a matching end");
                    return;
                }
                h_.ExpectDialog(l.words[1], [this, i, close] {
                    int action = line_;  // what is left of the dialog is the action's fault
                    RunBlock(i + 1, close, false);
                    line_ = action;
                });
                i = close;
                continue;
            }
            bool action = false;
            std::vector<std::string> words = l.words;
            for (std::string& word : words) {
                for (size_t at; (at = word.find("$ROOT")) != std::string::npos;) {
                    word.replace(at, 5, env_.root);
                }
            }
            Execute(words, &action);
            if (top && action && !failed_) {
                AfterClose();
            }
            if (top && action && !failed_) {
                h_.Finish();  // what was expected of this action and did not happen
            }
        }
    }

    // Label and occurrence: "Label" or "Label" #2.
    struct Target {
        std::string label;
        int occurrence = 1;
    };
    bool TakeTarget(const std::vector<std::string>& w, size_t at, size_t* next, Target* t) {
        if (at >= w.size()) {
            Fail("a control label is missing");
            return false;
        }
        t->label = w[at];
        *next = at + 1;
        if (*next < w.size() && w[*next].size() > 1 && w[*next][0] == '#') {
            t->occurrence = std::atoi(w[*next].c_str() + 1);
            ++*next;
        }
        return true;
    }

    std::string RootPath(const std::string& relative) const { return env_.root + "/" + relative; }

    bool Need(const std::vector<std::string>& w, size_t n, const char* usage) {
        if (w.size() != n) {
            Fail(std::string("usage: ") + usage);
            return false;
        }
        return true;
    }

    void Execute(const std::vector<std::string>& w, bool* action) {
        const std::string& c = w[0];
        if (c == "file") {
            if (Need(w, 3, "file PATH CONTENT")) {
                fs::path p = RootPath(w[1]);
                std::error_code ec;
                fs::create_directories(p.parent_path(), ec);
                std::ofstream(p, std::ios::binary) << w[2];
            }
        } else if (c == "ini") {
            if (Need(w, 5, "ini PATH SECTION KEY VALUE")) {
                fs::path p = RootPath(w[1]);
                std::error_code ec;
                fs::create_directories(p.parent_path(), ec);
                if (!platform::IniWrite(p, w[2], w[3], w[4])) {
                    Fail("cannot write " + w[1]);
                }
            }
        } else if (c == "delete") {
            if (Need(w, 2, "delete PATH")) {
                std::error_code ec;
                fs::remove_all(RootPath(w[1]), ec);
            }
        } else if (c == "start") {
            *action = true;
            auto it = w.size() >= 2 ? setup_.sheets.find(w[1]) : setup_.sheets.end();
            if (it == setup_.sheets.end()) {
                Fail("no sheet named \"" + (w.size() > 1 ? w[1] : "") + "\"");
                return;
            }
            h_.CloseSheet();
            Abandon();
            env_.arguments.assign(w.begin() + 2, w.end());
            env_.events.clear();
            env_.actions.clear();
            env_.exitStatus.reset();
            if (std::optional<platform::PropertySheet> sheet = it->second(env_)) {
                h_.OpenSheet(*sheet);
            }
        } else if (c == "set") {
            if (Need(w, 3, "set KEY VALUE")) {
                env_.settings[w[1]] = w[2];
            }
        } else if (c == "do") {
            *action = true;
            auto it = Need(w, 2, "do ACTION") ? env_.actions.find(w[1]) : env_.actions.end();
            if (it == env_.actions.end()) {
                Fail("no action \"" + (w.size() > 1 ? w[1] : "") + "\"");
                return;
            }
            it->second();
        } else if (c == "tab") {
            *action = true;
            if (Need(w, 2, "tab TITLE")) {
                h_.SelectTab(w[1]);
            }
        } else if (c == "apply" || c == "ok" || c == "cancel" || c == "help") {
            *action = true;
            static const std::map<std::string, std::string> kButtons = {
                {"apply", "Apply"}, {"ok", "OK"}, {"cancel", "Cancel"}, {"help", "Help"}};
            h_.PressSheetButton(kButtons.at(c));
        } else if (c == "advance") {
            *action = true;
            if (Need(w, 2, "advance MILLISECONDS")) {
                uint64_t ms = std::strtoull(w[1].c_str(), nullptr, 10);
                h_.Advance(ms);
                if (env_.onAdvance) {
                    env_.onAdvance(ms);
                }
            }
        } else if (c == "type" || c == "choose" || c == "doubleclick" || c == "key") {
            *action = true;
            Target t;
            size_t next;
            if (!TakeTarget(w, 1, &next, &t) || next + 1 != w.size()) {
                if (!failed_) {
                    Fail("usage: " + c + " LABEL [#N] VALUE");
                }
                return;
            }
            const std::string& v = w[next];
            if (c == "type") {
                h_.Type(t.label, v, t.occurrence);
            } else if (c == "choose") {
                h_.Choose(t.label, v, t.occurrence);
            } else if (c == "doubleclick") {
                h_.DoubleClick(t.label, v, t.occurrence);
            } else {
                h_.PressKey(t.label, v, t.occurrence);
            }
        } else if (c == "tick" || c == "untick" || c == "click") {
            *action = true;
            Target t;
            size_t next;
            if (!TakeTarget(w, 1, &next, &t) || next != w.size()) {
                if (!failed_) {
                    Fail("usage: " + c + " LABEL [#N]");
                }
                return;
            }
            if (c == "click") {
                h_.Click(t.label, t.occurrence);
            } else {
                h_.Tick(t.label, c == "tick", t.occurrence);
            }
        } else if (c == "screenshot") {
            if (Need(w, 2, "screenshot FILE.png")) {
                h_.Screenshot(setup_.outDir + "/" + w[1]);
            }
        } else if (c == "expect") {
            Expect(w);
        } else {
            Fail("unknown command \"" + c + "\"");
        }
    }

    void Expect(const std::vector<std::string>& w) {
        if (w.size() < 2) {
            Fail("expect what?");
            return;
        }
        const std::string& what = w[1];
        if (what == "box") {
            platform::MbIcon icon;
            platform::MbButtons buttons;
            int answer;
            if (w.size() != 6 && w.size() != 7) {
                Fail("usage: expect box ICON BUTTONS TEXT ANSWER [CAPTION]");
                return;
            }
            if (!platform::ParseIcon(w[2], &icon) || !platform::ParseButtons(w[3], &buttons) ||
                !platform::ParseAnswer(w[5], &answer)) {
                Fail("unknown icon, buttons or answer");
                return;
            }
            h_.ExpectBox(w[4], icon, buttons, answer, w.size() == 7 ? w[6] : platform::kCaption);
        } else if (what == "filedialog") {
            if (Need(w, 3, "expect filedialog PATH")) {
                h_.ExpectFileDialog(w[2].empty() ? w[2] : RootPath(w[2]));
            }
        } else if (what == "checked" || what == "unchecked" || what == "enabled" ||
                   what == "disabled" || what == "visible" || what == "hidden") {
            Target t;
            size_t next;
            if (!TakeTarget(w, 2, &next, &t)) {
                return;
            }
            if (!h_.Exists(t.label, t.occurrence)) {
                h_.Text(t.label, t.occurrence);  // reports the missing control
                return;
            }
            bool state =
                what == "checked" || what == "unchecked"  ? h_.Checked(t.label, t.occurrence)
                : what == "enabled" || what == "disabled" ? h_.Enabled(t.label, t.occurrence)
                                                          : h_.Visible(t.label, t.occurrence);
            bool wanted = what == "checked" || what == "enabled" || what == "visible";
            if (state != wanted) {
                Fail("\"" + t.label + "\" is not " + what);
            }
        } else if (what == "text") {
            Target t;
            size_t next;
            if (TakeTarget(w, 2, &next, &t) && next + 1 == w.size()) {
                std::string actual = h_.Text(t.label, t.occurrence);
                if (!failed_ && actual != w[next]) {
                    Fail("\"" + t.label + "\" reads \"" + actual + "\", not \"" + w[next] + "\"");
                }
            } else if (!failed_) {
                Fail("usage: expect text LABEL [#N] VALUE");
            }
        } else if (what == "items") {
            Target t;
            size_t next;
            if (!TakeTarget(w, 2, &next, &t)) {
                return;
            }
            std::vector<std::string> want(w.begin() + static_cast<long>(next), w.end());
            std::vector<std::string> got = h_.Items(t.label, t.occurrence);
            if (!failed_ && got != want) {
                std::string list;
                for (const std::string& s : got) {
                    list += " \"" + s + "\"";
                }
                Fail("\"" + t.label + "\" holds" + (list.empty() ? " nothing" : list));
            }
        } else if (what == "tab") {
            if (Need(w, 3, "expect tab TITLE") && h_.CurrentTab() != w[2]) {
                Fail("the tab on top is \"" + h_.CurrentTab() + "\"");
            }
        } else if (what == "button") {
            if (!Need(w, 4, "expect button NAME enabled|disabled|visible|hidden")) {
                return;
            }
            bool state = w[3] == "enabled" || w[3] == "disabled" ? h_.SheetButtonEnabled(w[2])
                                                                 : h_.SheetButtonVisible(w[2]);
            if (state != (w[3] == "enabled" || w[3] == "visible")) {
                Fail("sheet button \"" + w[2] + "\" is not " + w[3]);
            }
        } else if (what == "open") {
            if (!h_.SheetOpen()) {
                Fail("the sheet is closed");
            }
        } else if (what == "closed") {
            if (!Need(w, 3, "expect closed ok|cancel")) {
                return;
            }
            int want = w[2] == "ok" ? platform::IDOK : platform::IDCANCEL;
            if (h_.SheetOpen() || h_.SheetResult() != want) {
                Fail(h_.SheetOpen() ? "the sheet is still open" : "the sheet closed otherwise");
            }
        } else if (what == "ini") {
            if (!Need(w, 6, "expect ini PATH SECTION KEY VALUE")) {
                return;
            }
            auto v = platform::IniRead(RootPath(w[2]), w[3], w[4]);
            if (!v || *v != w[5]) {
                Fail("[" + w[3] + "] " + w[4] + " in " + w[2] + " is " +
                     (v ? "\"" + *v + "\"" : std::string("missing")));
            }
        } else if (what == "no") {
            ExpectNo(w);
        } else if (what == "file") {
            if (w.size() != 3 && w.size() != 4) {
                Fail("usage: expect file PATH [CONTENT]");
                return;
            }
            std::ifstream in(RootPath(w[2]), std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            if (!in) {
                Fail("no file " + w[2]);
            } else if (w.size() == 4 && s.str() != w[3]) {
                Fail(w[2] + " holds " + Shown(s.str()));
            }
        } else if (what == "opened") {
            if (Need(w, 3, "expect opened PATH")) {
                auto it = std::find(env_.opened.begin(), env_.opened.end(), RootPath(w[2]));
                if (it == env_.opened.end()) {
                    Fail(w[2] + " was not opened");
                } else {
                    env_.opened.erase(it);
                }
            }
        } else if (what == "exit") {
            if (!Need(w, 3, "expect exit STATUS")) {
                return;
            }
            if (!env_.exitStatus) {
                Fail("the program has not ended");
            } else if (std::to_string(*env_.exitStatus) != w[2]) {
                Fail("the program ended with status " + std::to_string(*env_.exitStatus));
            }
        } else if (what == "event") {
            if (Need(w, 3, "expect event TEXT")) {
                auto it = std::find(env_.events.begin(), env_.events.end(), w[2]);
                if (it == env_.events.end()) {
                    Fail("no event \"" + w[2] + "\"");
                } else {
                    env_.events.erase(it);
                }
            }
        } else if (what == "help") {
            if (Need(w, 2, "expect help") && g_helpOpened == 0) {
                Fail("the manual was not opened");
            }
            g_helpOpened = 0;
        } else if (what == "changed" || what == "unchanged") {
            if (platform::ConfigurationChanged != (what == "changed")) {
                Fail(std::string("ConfigurationChanged is ") +
                     (platform::ConfigurationChanged ? "set" : "clear"));
            }
        } else if (what == "notice") {
            auto n = h_.Notices();
            if (Need(w, 3, "expect notice TEXT") &&
                std::find(n.begin(), n.end(), w[2]) == n.end()) {
                Fail("no notice \"" + w[2] + "\" is shown");
            }
        } else {
            Fail("unknown expectation \"" + what + "\"");
        }
    }

    void ExpectNo(const std::vector<std::string>& w) {
        const std::string what = w.size() > 2 ? w[2] : "";
        if (what == "ini" && w.size() == 6) {
            if (auto v = platform::IniRead(RootPath(w[3]), w[4], w[5])) {
                Fail("[" + w[4] + "] " + w[5] + " in " + w[3] + " is \"" + *v + "\"");
            }
        } else if (what == "file" && w.size() == 4) {
            std::error_code ec;
            if (fs::exists(RootPath(w[3]), ec)) {
                Fail(w[3] + " exists");
            }
        } else if (what == "opened" && w.size() == 3) {
            if (!env_.opened.empty()) {
                Fail(env_.opened.front() + " was opened");
            }
        } else if (what == "help" && w.size() == 3) {
            if (g_helpOpened != 0) {
                Fail("the manual was opened");
            }
        } else if (what == "event" && w.size() == 4) {
            if (std::find(env_.events.begin(), env_.events.end(), w[3]) != env_.events.end()) {
                Fail("event \"" + w[3] + "\" happened");
            }
        } else {
            Fail(
                "usage: expect no ini PATH SECTION KEY | expect no file PATH | expect no opened"
                " | expect no help | expect no event TEXT");
        }
    }

    const Setup& setup_;
    Environment& env_;
    std::vector<Line> lines_;
    int line_ = 0;
    bool failed_ = false;
    int failLine_ = 0;
    std::string failMessage_;
    platform::UiHarness h_;  // last: it reports to the members above until it ends
};

}  // namespace

bool Tokenize(const std::string& line, std::vector<std::string>* words) {
    words->clear();
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        if (words->empty() && line[i] == '#') {
            return true;  // a comment line
        }
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char ch = line[i++];
                if (ch == '"') {
                    closed = true;
                    break;
                }
                if (ch == '\\' && i < n) {
                    char e = line[i++];
                    word += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
                } else {
                    word += ch;
                }
            }
            if (!closed) {
                return false;
            }
        } else {
            while (i < n && line[i] != ' ' && line[i] != '\t') {
                word += line[i++];
            }
        }
        words->push_back(word);
    }
    return true;
}

Outcome Run(const std::string& text, const Setup& setup) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zelmo-scenario-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        return {false, 0, "cannot create a data root"};
    }
    const char* oldRoot = std::getenv("ZELMOSMS_ROOT");
    std::string saved = oldRoot ? oldRoot : "";
    setenv("ZELMOSMS_ROOT", pattern.c_str(), 1);
    platform::ConfigurationChanged = false;
    g_helpOpened = 0;
    platform::SetHelpOpener(RecordHelp);

    Outcome out;
    {
        Environment env;
        env.root = pattern;
        Runner r(setup, env);
        if (r.Parse(text)) {
            r.RunAll();
        }
        out = r.outcome();
    }

    platform::SetHelpOpener(nullptr);
    if (oldRoot) {
        setenv("ZELMOSMS_ROOT", saved.c_str(), 1);
    } else {
        unsetenv("ZELMOSMS_ROOT");
    }
    std::error_code ec;
    fs::remove_all(pattern, ec);
    return out;
}

}  // namespace scenario
