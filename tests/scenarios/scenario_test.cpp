// The scenario language itself: words and quotes, and that a failure stops the run at its line
// with a message that says what went wrong.
#include "tests/scenarios/scenario.h"

#include <gtest/gtest.h>

namespace {

using scenario::Outcome;

TEST(ScenarioLanguage, Tokenize) {
    std::vector<std::string> w;
    ASSERT_TRUE(scenario::Tokenize(R"(  click "View" #2  )", &w));
    EXPECT_EQ(w, (std::vector<std::string>{"click", "View", "#2"}));
    ASSERT_TRUE(scenario::Tokenize(R"(file "a b" "x\ny\t\"q\"\\")", &w));
    EXPECT_EQ(w, (std::vector<std::string>{"file", "a b", "x\ny\t\"q\"\\"}));
    ASSERT_TRUE(scenario::Tokenize("# a comment", &w));
    EXPECT_TRUE(w.empty());
    EXPECT_FALSE(scenario::Tokenize(R"(type "unterminated)", &w));
}

// A sheet with one page: a check box, a button that asks a question, an edit.
scenario::Setup TestSetup() {
    using namespace platform;
    scenario::Setup s;
    s.sheets["test"] = [](scenario::Environment&) {
        PropertySheet sheet;
        SheetPage page;
        page.title = "Test";
        page.form.name = "DIALOG_TEST";
        page.form.controls = {
            {.id = 1, .kind = ControlKind::CheckBox, .text = "&Enable", .row = 0},
            {.id = 2, .kind = ControlKind::Button, .text = "&Ask", .row = 1},
            {.id = 0, .kind = ControlKind::Label, .text = "Name:", .row = 2, .column = 0},
            {.id = 3, .kind = ControlKind::Edit, .row = 2, .column = 1},
            {.id = 4, .kind = ControlKind::Button, .text = "&Edit...", .row = 3},
        };
        page.handler = [](Form* f, const FormEvent& e) {
            if (e.type == FormEventType::Command && e.id == 2) {
                int a = ShowMessageBox(f, "Sure?", MbIcon::Question, MbButtons::YesNo);
                SetText(f, 3, a == IDYES ? "yes" : "no");
            } else if (e.type == FormEventType::Command && e.id == 4) {
                // A dialog that hands its value back on OK.
                FormTemplate t{
                    "DIALOG_EDIT",
                    "Edit",
                    {{.id = 0, .kind = ControlKind::Label, .text = "&Value:", .row = 0},
                     {.id = 5, .kind = ControlKind::Edit, .row = 0, .column = 1},
                     {.id = IDOK, .kind = ControlKind::DefaultButton, .text = "OK", .row = 1},
                     {.id = IDCANCEL,
                      .kind = ControlKind::Button,
                      .text = "Cancel",
                      .row = 1,
                      .column = 1}}};
                std::string value;
                int r = RunDialog(f, t, [&value](Form* d, const FormEvent& de) {
                    if (de.type == FormEventType::Command && de.notify == Notify::Clicked &&
                        (de.id == IDOK || de.id == IDCANCEL)) {
                        value = GetText(d, 5);
                        EndDialog(d, de.id);
                    }
                    return kAllow;
                });
                if (r == IDOK) {
                    SetText(f, 3, value);
                }
            }
            return kAllow;
        };
        sheet.pages.push_back(page);
        return sheet;
    };
    return s;
}

TEST(ScenarioLanguage, PassesAndStopsAtTheFirstFailure) {
    struct Case {
        const char* text;
        bool passed;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"start test\ntick Enable\nexpect checked Enable\n"
         "expect box question yesno \"Sure?\" yes\nclick Ask\nexpect text Name: yes\n",
         true, 0, ""},
        {"start test\n# comment\n\nexpect checked Enable\ntick Enable\n", false, 4,
         "\"Enable\" is not checked"},
        {"start test\nclick Ask\nexpect text Name: no\n", false, 2,
         "unexpected message box (question, yesno): \"Sure?\""},
        {"start test\nexpect box question yesno \"Sure?\" no\ntick Enable\nclick Ask\n", false, 3,
         "expected message box \"Sure?\" was not shown"},
        {"start test\nexpect box error ok \"Sure?\" ok\nclick Ask\n", false, 3,
         "message box \"Sure?\" has question, yesno where error, ok was expected"},
        {"start test\nclick Missing\n", false, 2, "no control \"Missing\" in DIALOG_TEST"},
        {"start test\nfly away\n", false, 2, "unknown command \"fly\""},
        {"start test\ndialog DIALOG_EDIT\n  type Value: hello\n  click OK\nend\n"
         "click Edit...\nexpect text Name: hello\n",
         true, 0, ""},
        {"start test\ndialog DIALOG_EDIT\n  type Value: hello\nend\nclick Edit...\n", false, 5,
         "dialog DIALOG_EDIT still open after its script"},
        {"start test\ndialog DIALOG_OTHER\nend\nclick Edit...\n", false, 4,
         "unexpected dialog DIALOG_EDIT (expected DIALOG_OTHER)"},
        {"start test\ndialog DIALOG_EDIT\n  click Missing\nend\nclick Edit...\n", false, 3,
         "no control \"Missing\" in DIALOG_EDIT"},
        {"start nothing\n", false, 1, "no sheet named \"nothing\""},
        {"ini \"ProgramData/A.INI\" S K V\nexpect ini \"ProgramData/A.INI\" S K W\n", false, 2,
         "[S] K in ProgramData/A.INI is \"V\""},
    };
    for (const Case& c : cases) {
        Outcome o = scenario::Run(c.text, TestSetup());
        EXPECT_EQ(o.passed, c.passed) << c.text;
        EXPECT_EQ(o.line, c.line) << c.text;
        EXPECT_EQ(o.message, c.message) << c.text;
    }
}

}  // namespace
