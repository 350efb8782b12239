// SetTextIfChanged on a real label of a page (offscreen widgets): replaced only when the text
// differs other than in letter case.
#include <gtest/gtest.h>

#include "monitor/text_control.h"
#include "platform/qt/harness.h"
#include "platform/ui/sheet.h"

namespace {

using namespace platform;

constexpr int kQueue = 20;

TEST(SetTextIfChangedOnAPage, ReplacesOnlyADifferentText) {
    FormTemplate t;
    t.name = "DIALOG_STATUS_TEST";
    t.controls = {
        {.id = 0, .kind = ControlKind::Label, .text = "Queue:", .row = 0, .column = 0},
        {.id = kQueue, .kind = ControlKind::Label, .text = "Empty", .row = 0, .column = 1},
    };
    PropertySheet sheet;
    sheet.pages.push_back({t, [](Form*, const FormEvent&) { return kAllow; }, "Service", false});
    UiHarness h;
    h.OpenSheet(sheet);
    Form* f = h.TopForm();
    EXPECT_EQ(monitor::SetTextIfChanged(f, kQueue, "EMPTY"), 0);
    EXPECT_EQ(GetText(f, kQueue), "Empty");
    EXPECT_EQ(monitor::SetTextIfChanged(f, kQueue, "12 messages"), 1);
    EXPECT_EQ(GetText(f, kQueue), "12 messages");
    EXPECT_EQ(monitor::SetTextIfChanged(f, kQueue, "12 messages"), 0);
    EXPECT_TRUE(h.ok()) << h.Report();
}

}  // namespace
