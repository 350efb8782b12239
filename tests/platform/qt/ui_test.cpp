// The UI layer on real widgets (offscreen): templates, control operations, report lists in
// virtual mode, timers in virtual time, the property sheet's notifications, and the harness's own
// checks on message boxes and dialogs.
#include <gtest/gtest.h>

#include "platform/qt/harness.h"
#include "platform/ui/sheet.h"
#include "platform/ui/wait_cursor.h"
#include "tests/support/temp_root.h"

namespace {

using namespace platform;

enum { kName = 10, kNotify = 11, kItems = 12, kReport = 13, kAsk = 14, kOpen = 15, kShout = 16 };

// A page that records what it is told and shows boxes and dialogs when asked to.
struct Recorder {
    std::vector<std::string> log;
    int refuseApply = 0;  // kRefuse from Apply this many times
    bool refuseLeave = false;
    int answer = 0;
    int dialogResult = 0;
};

FormTemplate TestTemplate(const std::string& name) {
    FormTemplate t;
    t.name = name;
    t.caption = "Test";
    t.controls = {
        {.id = 0, .kind = ControlKind::Label, .text = "&Name:", .row = 0, .column = 0},
        {.id = kName, .kind = ControlKind::Edit, .row = 0, .column = 1},
        {.id = kNotify, .kind = ControlKind::CheckBox, .text = "&Notify", .row = 1, .column = 0},
        {.id = 0, .kind = ControlKind::Label, .text = "Items:", .row = 2, .column = 0},
        {.id = kItems,
         .kind = ControlKind::ListBox,
         .row = 2,
         .column = 1,
         .sorted = true,
         .tabStops = {40}},
        {.id = 0, .kind = ControlKind::Label, .text = "Rows:", .row = 3, .column = 0},
        {.id = kReport,
         .kind = ControlKind::ReportList,
         .row = 3,
         .column = 1,
         .multiSelect = true},
        {.id = kAsk, .kind = ControlKind::Button, .text = "&Ask", .row = 4, .column = 0},
        {.id = kOpen, .kind = ControlKind::Button, .text = "&Open...", .row = 4, .column = 1},
        {.id = kShout, .kind = ControlKind::Button, .text = "Shout", .row = 5, .column = 0},
        {.id = IDOK, .kind = ControlKind::DefaultButton, .text = "OK", .row = 6, .column = 0},
        {.id = IDCANCEL, .kind = ControlKind::Button, .text = "Cancel", .row = 6, .column = 1},
    };
    return t;
}

std::string Name(FormEventType t) {
    static const char* kNames[] = {"init",  "command", "timer", "setactive",     "killactive",
                                   "apply", "cancel?", "help",  "querysiblings", "close"};
    return kNames[static_cast<int>(t)];
}

FormHandler Handler(Recorder* r, const std::string& tag) {
    return [r, tag](Form* f, const FormEvent& e) -> int {
        std::string entry = tag + ":" + Name(e.type);
        if (e.type == FormEventType::Command || e.type == FormEventType::Timer) {
            entry += " " + std::to_string(e.id) + "/" + std::to_string(static_cast<int>(e.notify));
        }
        r->log.push_back(entry);
        switch (e.type) {
            case FormEventType::Command:
                if (e.notify != Notify::Clicked) {
                    return kAllow;
                }
                if (e.id == kAsk) {
                    r->answer = ShowMessageBox(f, "Proceed?", MbIcon::Question, MbButtons::YesNo);
                } else if (e.id == kShout) {
                    ShowMessageBox(f, "First", MbIcon::Error);
                    ShowMessageBox(f, "Second", MbIcon::Error);
                } else if (e.id == kOpen) {
                    Recorder inner;
                    r->dialogResult =
                        RunDialog(f, TestTemplate("DIALOG_INNER"), Handler(r, "inner"));
                } else if (e.id == IDOK || e.id == IDCANCEL) {
                    EndDialog(f, e.id);
                }
                return kAllow;
            case FormEventType::KillActive:
                return r->refuseLeave ? kRefuse : kAllow;
            case FormEventType::Apply:
                if (r->refuseApply > 0) {
                    --r->refuseApply;
                    return kRefuse;
                }
                return kAllow;
            case FormEventType::QueryCancel:
                return AnswerQueryCancel(f);
            case FormEventType::QuerySiblings:
                return ConfigurationChanged ? 1 : 0;
            default:
                return kAllow;
        }
    };
}

PropertySheet TwoPages(Recorder* a, Recorder* b) {
    PropertySheet s;
    s.pages.push_back({TestTemplate("DIALOG_A"), Handler(a, "a"), "First", true});
    s.pages.push_back({TestTemplate("DIALOG_B"), Handler(b, "b"), "Second", false});
    return s;
}

class UiTest : public ::testing::Test {
  protected:
    void SetUp() override { ConfigurationChanged = false; }
    bool Logged(const Recorder& r, const std::string& entry) {
        return std::find(r.log.begin(), r.log.end(), entry) != r.log.end();
    }
    Recorder a, b;  // outlive the harness, whose sheet reports to them until it closes
    UiHarness h;
};

// ---- The harness's own checks on boxes and dialogs --------------------------------------------

TEST_F(UiTest, ExpectedBoxIsAnsweredAndPasses) {
    h.OpenSheet(TwoPages(&a, &b));
    h.ExpectBox("Proceed?", MbIcon::Question, MbButtons::YesNo, IDNO);
    EXPECT_TRUE(h.Click("Ask"));
    EXPECT_EQ(a.answer, IDNO);
    h.Finish();
    EXPECT_TRUE(h.ok()) << h.Report();
}

TEST(UiHarnessTest, BoxMistakesFail) {
    struct Case {
        const char* what;
        std::function<void(UiHarness&)> act;
        const char* failure;
    };
    const Case cases[] = {
        {"unexpected box", [](UiHarness& u) { u.Click("Ask"); },
         "unexpected message box (question, yesno): \"Proceed?\""},
        {"missing box",
         [](UiHarness& u) { u.ExpectBox("Proceed?", MbIcon::Question, MbButtons::YesNo, IDYES); },
         "expected message box \"Proceed?\" was not shown"},
        {"wrong order",
         [](UiHarness& u) {
             u.ExpectBox("Second", MbIcon::Error, MbButtons::Ok, IDOK);
             u.ExpectBox("First", MbIcon::Error, MbButtons::Ok, IDOK);
             u.Click("Shout");
         },
         "message box \"First\" shown where \"Second\" was expected"},
        {"wrong icon",
         [](UiHarness& u) {
             u.ExpectBox("Proceed?", MbIcon::Warning, MbButtons::YesNo, IDYES);
             u.Click("Ask");
         },
         "message box \"Proceed?\" has question, yesno where warning, yesno was expected"},
        {"wrong caption",
         [](UiHarness& u) {
             u.ExpectBox("Proceed?", MbIcon::Question, MbButtons::YesNo, IDYES, "Debug");
             u.Click("Ask");
         },
         "message box \"Proceed?\" has the caption \"Zelmo SMS/MMS Gateway v2013.07.02\" where "
         "\"Debug\" was expected"},
    };
    for (const Case& c : cases) {
        Recorder r1, r2;
        UiHarness u;
        u.OpenSheet(TwoPages(&r1, &r2));
        c.act(u);
        u.Finish();
        ASSERT_FALSE(u.ok()) << c.what;
        EXPECT_EQ(u.failures().front(), c.failure) << c.what;
    }
}

TEST_F(UiTest, DialogsAreDrivenInOrderAndChecked) {
    h.OpenSheet(TwoPages(&a, &b));
    h.ExpectDialog("DIALOG_INNER", [&] {
        EXPECT_TRUE(h.Type("Name:", "inside"));
        EXPECT_EQ(h.Text("Name:"), "inside");
        h.Click("OK");
    });
    h.Click("Open...");
    EXPECT_EQ(a.dialogResult, IDOK);
    EXPECT_TRUE(Logged(a, "inner:init"));
    EXPECT_TRUE(Logged(a, "inner:close"));
    EXPECT_EQ(h.Text("Name:"), "");  // back on the page
    EXPECT_TRUE(h.ok()) << h.Report();

    h.ExpectDialog("DIALOG_INNER", [] {});  // leaves it open
    h.Click("Open...");
    EXPECT_EQ(a.dialogResult, IDCANCEL);
    h.Click("Open...");  // nothing expected
    h.ExpectDialog("DIALOG_OTHER", nullptr);
    h.Finish();
    ASSERT_EQ(h.failures().size(), 3u) << h.Report();
    EXPECT_EQ(h.failures()[0], "dialog DIALOG_INNER still open after its script");
    EXPECT_EQ(h.failures()[1], "unexpected dialog DIALOG_INNER");
    EXPECT_EQ(h.failures()[2], "expected dialog DIALOG_OTHER was not opened");
}

TEST_F(UiTest, ActionsOnMissingOrDisabledControlsFail) {
    h.OpenSheet(TwoPages(&a, &b));
    EXPECT_FALSE(h.Click("Nothing"));
    SetEnabled(h.TopForm(), kAsk, false);
    EXPECT_FALSE(h.Click("Ask"));
    ASSERT_EQ(h.failures().size(), 2u);
    EXPECT_EQ(h.failures()[1], "control \"Ask\" is disabled");
}

// ---- Controls ----------------------------------------------------------------------------------

TEST_F(UiTest, OnlyTheOperatorsChangesAreCommands) {
    h.OpenSheet(TwoPages(&a, &b));
    Form* f = h.TopForm();
    SetText(f, kName, "set by code");
    SetChecked(f, kNotify, true);
    EXPECT_EQ(GetText(f, kName), "set by code");
    EXPECT_TRUE(IsChecked(f, kNotify));
    EXPECT_FALSE(Logged(a, "a:command 10/2"));
    h.Type("Name:", "typed");
    h.Tick("Notify", false);
    EXPECT_TRUE(Logged(a, "a:command 10/2"));  // TextChanged
    EXPECT_TRUE(Logged(a, "a:command 11/1"));  // Clicked
    EXPECT_FALSE(IsChecked(f, kNotify));
    EXPECT_EQ(h.Text("Name:"), "typed");
}

TEST_F(UiTest, ListOperations) {
    h.OpenSheet(TwoPages(&a, &b));
    Form* f = h.TopForm();
    for (const char* s : {"pear", "Apple", "fig\t3"}) {
        ListAdd(f, kItems, s);
    }
    EXPECT_EQ(h.Items("Items:"), (std::vector<std::string>{"Apple", "fig\t3", "pear"}));
    EXPECT_EQ(ListFind(f, kItems, "apple"), 0);
    EXPECT_EQ(ListFind(f, kItems, "apple", false, true), -1);
    EXPECT_EQ(ListFind(f, kItems, "Fi", true), 1);
    EXPECT_EQ(ListFind(f, kItems, "pear", false, false, 2), 2);  // wraps round
    ListSelect(f, kItems, 2);
    EXPECT_EQ(ListSelection(f, kItems), 2);
    EXPECT_FALSE(Logged(a, "a:command 12/3"));
    h.Choose("Items:", "Apple");
    EXPECT_TRUE(Logged(a, "a:command 12/3"));
    EXPECT_EQ(ListSelection(f, kItems), 0);
    EXPECT_TRUE(ListDelete(f, kItems, 0));
    EXPECT_FALSE(ListDelete(f, kItems, 5));
    EXPECT_EQ(ListCount(f, kItems), 2);
    EXPECT_EQ(ListItemText(f, kItems, 1), "pear");
    h.PressKey("Items:", "Delete");
    EXPECT_TRUE(Logged(a, "a:command 12/6"));
}

TEST_F(UiTest, ReportListAsksForCellsAndKeepsSelection) {
    h.OpenSheet(TwoPages(&a, &b));
    Form* f = h.TopForm();
    int asked = 0;
    ReportSetColumns(f, kReport, {{"Name", 120}, {"Size", 60}});
    ReportSetSource(f, kReport, [&asked](int row, int col) {
        ++asked;
        return (col == 0 ? "row" : "size") + std::to_string(row);
    });
    ReportSetRowCount(f, kReport, 100000);  // virtual: nothing is filled in advance
    EXPECT_LT(asked, 2000);
    ReportSelect(f, kReport, 3);
    ReportSelect(f, kReport, 5);
    ReportSetRowCount(f, kReport, 6);
    EXPECT_EQ(ReportSelectedRows(f, kReport), (std::vector<int>{3, 5}));
    ReportSetRowCount(f, kReport, 4);
    EXPECT_EQ(ReportSelectedRows(f, kReport), (std::vector<int>{3}));
    EXPECT_EQ(h.Items("Rows:").back(), "row3\tsize3");
    h.DoubleClick("Rows:", "row1");
    EXPECT_TRUE(Logged(a, "a:command 13/4"));
    EXPECT_EQ(ReportCurrentRow(f, kReport), 1);
}

TEST_F(UiTest, RadioGroupsGroupBoxesAndDropDowns) {
    FormTemplate t{"DIALOG_KINDS",
                   "Kinds",
                   {{.id = 30, .kind = ControlKind::GroupBox, .text = "Mode", .row = 0},
                    {.id = 31,
                     .kind = ControlKind::Radio,
                     .text = "&Fast",
                     .row = 0,
                     .parent = 30,
                     .group = 1},
                    {.id = 32,
                     .kind = ControlKind::Radio,
                     .text = "&Safe",
                     .row = 1,
                     .parent = 30,
                     .group = 1},
                    {.id = 0, .kind = ControlKind::Label, .text = "&Kind:", .row = 1, .column = 0},
                    {.id = 33, .kind = ControlKind::DropDownList, .row = 1, .column = 1},
                    {.id = IDOK, .kind = ControlKind::DefaultButton, .text = "OK", .row = 2}}};
    std::vector<std::string> log;
    h.ExpectDialog("DIALOG_KINDS", [&] {
        EXPECT_TRUE(h.Checked("Fast"));
        h.Click("Safe");
        EXPECT_FALSE(h.Checked("Fast"));
        EXPECT_EQ(h.Items("Kind:"), (std::vector<std::string>{"SMPP", "HTTP"}));
        h.Choose("Kind:", "HTTP");
        EXPECT_EQ(h.Text("Kind:"), "HTTP");
        EXPECT_EQ(h.Text("Mode"), "Mode");
        h.Click("OK");
    });
    int r = RunDialog(nullptr, t, [&log](Form* f, const FormEvent& e) {
        if (e.type == FormEventType::Init) {
            SetChecked(f, 31, true);
            ListAdd(f, 33, "SMPP");
            ListAdd(f, 33, "HTTP");
            ListSelect(f, 33, 0);
        } else if (e.type == FormEventType::Command) {
            log.push_back(std::to_string(e.id) + "/" + std::to_string(static_cast<int>(e.notify)));
            if (e.id == IDOK) {
                EXPECT_TRUE(IsChecked(f, 32));
                EXPECT_EQ(ListSelection(f, 33), 1);
                EndDialog(f, IDOK);
            }
        }
        return kAllow;
    });
    EXPECT_EQ(r, IDOK);
    EXPECT_EQ(log, (std::vector<std::string>{"32/1", "33/3", "1/1"}));
    EXPECT_TRUE(h.ok()) << h.Report();
}

// ---- Timers ------------------------------------------------------------------------------------

TEST_F(UiTest, TimersFireInVirtualTime) {
    h.OpenSheet(TwoPages(&a, &b));
    Form* f = h.TopForm();
    const uint64_t start = h.Now();
    SetTimer(f, 7, 1000);
    h.Advance(3500);
    EXPECT_EQ(std::count(a.log.begin(), a.log.end(), "a:timer 7/0"), 3);
    EXPECT_EQ(h.Now(), start + 3500);
    SetTimer(f, 7, 5000);  // restarts with the new period
    h.Advance(4999);
    EXPECT_EQ(std::count(a.log.begin(), a.log.end(), "a:timer 7/0"), 3);
    h.Advance(1);
    EXPECT_EQ(std::count(a.log.begin(), a.log.end(), "a:timer 7/0"), 4);
    KillTimer(f, 7);
    h.Advance(60000);
    EXPECT_EQ(std::count(a.log.begin(), a.log.end(), "a:timer 7/0"), 4);
}

// ---- The sheet ---------------------------------------------------------------------------------

TEST_F(UiTest, PagesAreInitialisedWhenFirstShownAndApplyReachesThem) {
    h.OpenSheet(TwoPages(&a, &b));
    EXPECT_TRUE(Logged(a, "a:init"));
    EXPECT_FALSE(Logged(b, "b:init"));
    EXPECT_FALSE(h.SheetButtonEnabled("Apply"));
    MarkConfigurationChanged(h.TopForm());
    EXPECT_TRUE(h.SheetButtonEnabled("Apply"));
    h.PressSheetButton("Apply");
    EXPECT_TRUE(Logged(a, "a:apply"));
    EXPECT_FALSE(Logged(b, "b:apply"));  // never shown
    EXPECT_FALSE(h.SheetButtonEnabled("Apply"));
    EXPECT_TRUE(ConfigurationChanged);  // the pages decide whether to clear it

    EXPECT_TRUE(h.SelectTab("Second"));
    EXPECT_TRUE(Logged(a, "a:killactive"));
    EXPECT_TRUE(Logged(b, "b:init"));
    EXPECT_FALSE(h.SheetButtonEnabled("Help"));  // only the first page has help
    b.refuseLeave = true;
    EXPECT_FALSE(h.SelectTab("First"));
    EXPECT_EQ(h.CurrentTab(), "Second");
    b.refuseLeave = false;

    a.refuseApply = 1;  // the first page refuses: the sheet stays open there
    h.PressSheetButton("OK");
    EXPECT_TRUE(h.SheetOpen());
    EXPECT_EQ(h.CurrentTab(), "First");
    h.PressSheetButton("OK");
    EXPECT_FALSE(h.SheetOpen());
    EXPECT_EQ(h.SheetResult(), IDOK);
    EXPECT_TRUE(Logged(a, "a:close"));
    EXPECT_TRUE(Logged(b, "b:close"));
    EXPECT_TRUE(h.ok()) << h.Report();
}

TEST(UiSheetTest, CancelAsksOnlyWithUnsavedChanges) {
    struct Case {
        bool changed;
        int answer;  // 0: no box expected
        bool closes;
    };
    for (const Case c : {Case{false, 0, true}, Case{true, IDYES, true}, Case{true, IDNO, false},
                         Case{true, IDCANCEL, false}}) {
        Recorder r1, r2;
        UiHarness u;
        ConfigurationChanged = c.changed;
        u.OpenSheet(TwoPages(&r1, &r2));
        if (c.answer) {
            u.ExpectBox("Exit without saving configuration changes?", MbIcon::Question,
                        MbButtons::YesNoCancel, c.answer);
        }
        u.PressSheetButton("Cancel");
        EXPECT_EQ(u.SheetOpen(), !c.closes) << c.answer;
        u.Finish();
        EXPECT_TRUE(u.ok()) << u.Report();
    }
    ConfigurationChanged = false;
}

TEST_F(UiTest, ScreenshotWritesAPicture) {
    testsupport::TempRoot dir;
    h.OpenSheet(TwoPages(&a, &b));
    ASSERT_TRUE(h.Screenshot(dir.Path("sheet.png")));
    EXPECT_EQ(dir.Read("sheet.png").substr(1, 3), "PNG");
}

TEST_F(UiTest, FileDialogAndNoticeBox) {
    h.OpenSheet(TwoPages(&a, &b));
    std::string path;
    h.ExpectFileDialog("/tmp/x.log");
    EXPECT_TRUE(ChooseFileToOpen(h.TopForm(), {"Open", {{"Logs", "*.log"}}, "/tmp"}, &path));
    EXPECT_EQ(path, "/tmp/x.log");
    h.ExpectFileDialog("");
    EXPECT_FALSE(ChooseFileToOpen(nullptr, {}, &path));
    {
        NoticeBox n(h.TopForm(), "Test in Progress");
        EXPECT_EQ(h.Notices(), std::vector<std::string>{"Test in Progress"});
    }
    EXPECT_TRUE(h.Notices().empty());
    EXPECT_TRUE(h.ok()) << h.Report();
}

}  // namespace
