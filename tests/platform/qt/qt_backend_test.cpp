// The Qt backend without the harness: real message boxes, the wait cursor, real form timers and a
// modal dialog and sheet run by the toolkit's own event loop. Each window is answered from the
// event loop as soon as it shows, so nothing here waits on the wall clock.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/qt/qt_ui.h"
#include "platform/ui/sheet.h"
#include "platform/ui/wait_cursor.h"

namespace {

using namespace platform;

// Clicks the button labelled `text` in the active modal window once it is shown.
void ClickWhenShown(const QString& text) {
    QTimer::singleShot(0, [text] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
            if (b->text().remove('&') == text) {
                b->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << text.toStdString();
    });
}

class QtBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtui::EnsureApplication();
        qtui::InstallBackends();
    }
    void TearDown() override {
        SetMessageBoxBackend(nullptr);
        SetWaitCursorBackend(nullptr);
    }
};

TEST_F(QtBackendTest, MessageBoxShowsTheRequestAndReturnsTheAnswer) {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
    });
    ClickWhenShown("No");
    EXPECT_EQ(ShowMessageBox(nullptr, "Delete it?", MbIcon::Question, MbButtons::YesNoCancel),
              IDNO);
    EXPECT_EQ(title.toStdString(), kCaption);
    EXPECT_EQ(text.toStdString(), "Delete it?");
    EXPECT_EQ(icon, QMessageBox::Question);
}

TEST_F(QtBackendTest, WaitCursorNestsAndRestores) {
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    {
        WaitCursor outer;
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            WaitCursor inner;
            inner.Hide();
            inner.Hide();
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtBackendTest, DialogEndsFromItsOwnTimer) {
    FormTemplate t{"DIALOG_TIMED", "Timed", {{.id = 1, .kind = ControlKind::Label, .text = "x"}}};
    int ticks = 0;
    int result = RunDialog(nullptr, t, [&ticks](Form* f, const FormEvent& e) {
        if (e.type == FormEventType::Init) {
            SetTimer(f, 5, 0);
        } else if (e.type == FormEventType::Timer && ++ticks == 3) {
            EndDialog(f, 42);
        }
        return kAllow;
    });
    EXPECT_EQ(result, 42);
    EXPECT_EQ(ticks, 3);
}

TEST_F(QtBackendTest, EscapeAsksTheHandler) {
    FormTemplate t{"DIALOG_ESC", "Esc", {{.id = 1, .kind = ControlKind::Edit}}};
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    int result = RunDialog(nullptr, t, [](Form* f, const FormEvent& e) {
        if (e.type == FormEventType::Command && e.id == IDCANCEL) {
            EndDialog(f, IDCANCEL + 100);
        }
        return kAllow;
    });
    EXPECT_EQ(result, IDCANCEL + 100);
}

TEST_F(QtBackendTest, SheetRunsModallyUntilOk) {
    PropertySheet s;
    int applied = 0;
    s.pages.push_back({FormTemplate{"DIALOG_P", "", {}},
                       [&applied](Form*, const FormEvent& e) {
                           applied += e.type == FormEventType::Apply;
                           return kAllow;
                       },
                       "Page", false});
    ClickWhenShown("OK");
    EXPECT_EQ(RunPropertySheet(s), IDOK);
    EXPECT_EQ(applied, 1);
}

}  // namespace
