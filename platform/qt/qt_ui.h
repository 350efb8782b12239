// Inside the Qt backend: what a Form is made of, and the hooks through which the test harness
// drives modal windows. Included only by the files of platform/qt.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/form.h"
#include "platform/ui/sheet.h"

namespace platform {

struct ControlRec {
    ControlKind kind = ControlKind::Label;
    QWidget* widget = nullptr;
    std::string label;  // own text, or the text of the label before it; without "&"
    int order = 0;      // position in the template
    int id = 0;
    bool namesNext = false;  // a label whose text names the control after it
};

struct TimerRec {
    uint32_t period = 0;
    uint64_t due = 0;  // virtual timers: tick at which it fires next
    QTimer* timer = nullptr;
};

struct Form {
    std::string name;
    FormHandler handler;
    QWidget* root = nullptr;           // QDialog of a dialog, the page's widget of a sheet page
    std::vector<ControlRec> controls;  // template order, labels included
    std::map<int, TimerRec> timers;
    int quiet = 0;       // > 0 while the API changes controls: no Command goes out
    bool ended = false;  // EndDialog was called
    int result = 0;
    bool closed = false;
    void* sheet = nullptr;  // SheetWindow of a page
};

namespace qtui {

// Creates the application object on first use (offscreen when no display is set for tests).
void EnsureApplication();
// Installs the Qt message box and wait cursor backends (idempotent).
void InstallBackends();

// Builds the widgets of a template into a new form. `dialog` makes the root a QDialog.
Form* BuildForm(const FormTemplate& t, FormHandler handler, QWidget* parent, bool dialog);
// Stops the form's timers, sends Close once, and deletes it with its widgets.
void DestroyForm(Form* f);
int Send(Form* f, const FormEvent& e);
const ControlRec* FindControl(Form* f, int id);
// Forms alive now, in creation order (the harness fires their timers and finds the top one).
const std::vector<Form*>& LiveForms();

// Timers: with virtual timers on, no toolkit timer runs; FireDueTimers() runs those due at the
// virtual clock's present tick, in order of their due ticks.
void SetVirtualTimers(bool on);
// The earliest due tick of any virtual timer, or UINT64_MAX.
uint64_t NextTimerDue();
// Fires every timer due at or before `tick` (one firing each, earliest first); returns how many.
int FireTimersDueAt(uint64_t tick);

// Test hooks: when set, modal windows are not run by the toolkit but handed to these.
struct TestHooks {
    std::function<void(Form*)> runDialog;  // the dialog is shown; return when its script ends
    std::function<bool(const OpenFileRequest&, std::string*)> openFile;
};
void SetTestHooks(TestHooks* hooks);

// Notice boxes open now (their texts), for the harness.
std::vector<std::string> NoticeTexts();

// The property sheet window.
class SheetWindow;
SheetWindow* CreateSheet(const PropertySheet& desc);
void DestroySheet(SheetWindow* s);
// What the harness needs of a sheet.
QWidget* SheetWidget(SheetWindow* s);
Form* SheetCurrentPage(SheetWindow* s);
int SheetPageCount(SheetWindow* s);
std::string SheetPageTitle(SheetWindow* s, int index);
bool SheetSelectPage(SheetWindow* s, int index);  // false when the page on top refused
int SheetCurrentIndex(SheetWindow* s);
enum class SheetButton { Ok, Cancel, Apply, Help };
void SheetPress(SheetWindow* s, SheetButton b);
bool SheetButtonEnabled(SheetWindow* s, SheetButton b);
bool SheetButtonVisible(SheetWindow* s, SheetButton b);
bool SheetClosed(SheetWindow* s);
int SheetResult(SheetWindow* s);

// Removes "&" mnemonic markers ("&&" stays one "&").
std::string StripMnemonic(const std::string& text);

}  // namespace qtui
}  // namespace platform
