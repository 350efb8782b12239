// The UI test harness over the Qt backend; see harness.h.
#include "platform/qt/harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTableView>
#include <deque>

#include "platform/clock.h"
#include "platform/qt/qt_ui.h"

namespace platform {

using namespace qtui;

struct UiHarness::Impl {
    struct Box {
        std::string text;
        MbIcon icon;
        MbButtons buttons;
        int answer;
        std::string caption;
    };
    struct Dialog {
        std::string name;
        std::function<void()> script;
    };

    UiHarness* self = nullptr;
    std::unique_ptr<VirtualTime> time;
    std::unique_ptr<ScopedClock> clock;
    MessageBoxBackend boxBackend{};
    TestHooks hooks;
    std::vector<std::string> failures;
    std::function<void(const std::string&)> listener;
    std::deque<Box> boxes;
    std::deque<Dialog> dialogs;
    std::deque<std::string> files;
    std::vector<MessageBoxRequest> shown;
    std::vector<Form*> stack;  // dialogs being driven, innermost last
    SheetWindow* sheet = nullptr;

    static int OnBox(void* ctx, const MessageBoxRequest& r) {
        return static_cast<Impl*>(ctx)->Box(r);
    }

    int Box(const MessageBoxRequest& r) {
        shown.push_back(r);
        if (boxes.empty()) {
            self->Fail("unexpected message box (" + std::string(IconName(r.icon)) + ", " +
                       ButtonsName(r.buttons) + "): \"" + r.text + "\"");
            // The safest way out of an unexpected question.
            return r.buttons == MbButtons::Ok      ? IDOK
                   : r.buttons == MbButtons::YesNo ? IDNO
                                                   : IDCANCEL;
        }
        struct Box e = boxes.front();
        boxes.pop_front();
        if (r.text != e.text) {
            self->Fail("message box \"" + r.text + "\" shown where \"" + e.text +
                       "\" was expected");
        } else if (r.icon != e.icon || r.buttons != e.buttons) {
            self->Fail("message box \"" + r.text + "\" has " + IconName(r.icon) + ", " +
                       ButtonsName(r.buttons) + " where " + IconName(e.icon) + ", " +
                       ButtonsName(e.buttons) + " was expected");
        } else if (r.caption != e.caption) {
            self->Fail("message box \"" + r.text + "\" has the caption \"" + r.caption +
                       "\" where \"" + e.caption + "\" was expected");
        }
        return e.answer;
    }

    void RunDialog(Form* f) {
        QCoreApplication::processEvents();
        if (dialogs.empty() || dialogs.front().name != f->name) {
            self->Fail(
                "unexpected dialog " + f->name +
                (dialogs.empty() ? std::string() : " (expected " + dialogs.front().name + ")"));
            EndDialog(f, IDCANCEL);
            return;
        }
        Dialog d = std::move(dialogs.front());
        dialogs.pop_front();
        stack.push_back(f);
        if (d.script) {
            d.script();
        }
        stack.pop_back();
        if (!f->ended) {
            self->Fail("dialog " + f->name + " still open after its script");
            EndDialog(f, IDCANCEL);
        }
    }

    bool OpenFile(const OpenFileRequest& r, std::string* path) {
        if (files.empty()) {
            self->Fail("unexpected file-open dialog \"" + r.title + "\"");
            return false;
        }
        *path = files.front();
        files.pop_front();
        return !path->empty();
    }

    const ControlRec* Find(const std::string& label, int occurrence, bool report = true) {
        Form* f = self->TopForm();
        if (!f || label.empty()) {
            if (report) {
                self->Fail("no window is open to find \"" + label + "\" in");
            }
            return nullptr;
        }
        int seen = 0;
        for (const ControlRec& c : f->controls) {
            if (c.namesNext && label[0] != '#') {
                continue;  // the label stands for the control after it
            }
            bool match = label.size() > 1 && label[0] == '#'
                             ? std::to_string(c.id) == label.substr(1)
                             : c.label == label;
            if (match && ++seen == occurrence) {
                return &c;
            }
        }
        if (report) {
            self->Fail("no control \"" + label + "\"" +
                       (occurrence > 1 ? " #" + std::to_string(occurrence) : std::string()) +
                       " in " + f->name);
        }
        return nullptr;
    }

    // A control the operator can act on: present, shown, enabled.
    QWidget* Operable(const std::string& label, int occurrence) {
        const ControlRec* c = Find(label, occurrence);
        if (!c) {
            return nullptr;
        }
        if (!c->widget->isVisibleTo(c->widget->window())) {
            self->Fail("control \"" + label + "\" is hidden");
            return nullptr;
        }
        if (!c->widget->isEnabled()) {
            self->Fail("control \"" + label + "\" is disabled");
            return nullptr;
        }
        return c->widget;
    }

    QWidget* TopWindow() {
        if (!stack.empty()) {
            return stack.back()->root;
        }
        return sheet && !SheetClosed(sheet) ? SheetWidget(sheet) : nullptr;
    }
};

UiHarness::UiHarness(std::time_t wallStart) : impl_(std::make_unique<Impl>()) {
    EnsureApplication();
    Impl& m = *impl_;
    m.self = this;
    m.time = std::make_unique<VirtualTime>(wallStart);
    m.clock = std::make_unique<ScopedClock>(m.time->source);
    m.boxBackend = MessageBoxBackend{&Impl::OnBox, &m};
    SetMessageBoxBackend(&m.boxBackend);
    m.hooks.runDialog = [&m](Form* f) { m.RunDialog(f); };
    m.hooks.openFile = [&m](const OpenFileRequest& r, std::string* p) { return m.OpenFile(r, p); };
    SetTestHooks(&m.hooks);
    SetVirtualTimers(true);
}

UiHarness::~UiHarness() {
    Finish();
    CloseSheet();
    SetVirtualTimers(false);
    SetTestHooks(nullptr);
    SetMessageBoxBackend(nullptr);
}

const std::vector<std::string>& UiHarness::failures() const {
    return impl_->failures;
}

std::string UiHarness::Report() const {
    std::string out;
    for (const std::string& f : impl_->failures) {
        out += f + "\n";
    }
    return out;
}

void UiHarness::Fail(const std::string& message) {
    impl_->failures.push_back(message);
    if (impl_->listener) {
        impl_->listener(message);
    }
}

void UiHarness::OnFailure(std::function<void(const std::string&)> listener) {
    impl_->listener = std::move(listener);
}

void UiHarness::Finish() {
    Impl& m = *impl_;
    while (!m.boxes.empty()) {
        Fail("expected message box \"" + m.boxes.front().text + "\" was not shown");
        m.boxes.pop_front();
    }
    while (!m.dialogs.empty()) {
        Fail("expected dialog " + m.dialogs.front().name + " was not opened");
        m.dialogs.pop_front();
    }
    while (!m.files.empty()) {
        Fail("expected file-open dialog was not opened");
        m.files.pop_front();
    }
}

// ---- Sheet -------------------------------------------------------------------------------------

void UiHarness::OpenSheet(const PropertySheet& sheet) {
    CloseSheet();
    impl_->sheet = CreateSheet(sheet);
    if (!SheetClosed(impl_->sheet)) {
        SheetWidget(impl_->sheet)->show();
    }
    QCoreApplication::processEvents();
}

bool UiHarness::SheetOpen() const {
    return impl_->sheet && !SheetClosed(impl_->sheet);
}

int UiHarness::SheetResult() const {
    return impl_->sheet && SheetClosed(impl_->sheet) ? qtui::SheetResult(impl_->sheet) : 0;
}

bool UiHarness::SelectTab(const std::string& title) {
    SheetWindow* s = impl_->sheet;
    if (!SheetOpen()) {
        Fail("no sheet is open to select \"" + title + "\"");
        return false;
    }
    for (int i = 0; i < SheetPageCount(s); ++i) {
        if (StripMnemonic(SheetPageTitle(s, i)) == title) {
            return SheetSelectPage(s, i);
        }
    }
    Fail("no tab \"" + title + "\"");
    return false;
}

std::string UiHarness::CurrentTab() const {
    return SheetOpen() ? SheetPageTitle(impl_->sheet, SheetCurrentIndex(impl_->sheet)) : "";
}

namespace {
bool ButtonByName(const std::string& name, SheetButton* b) {
    static const std::pair<const char*, SheetButton> kNames[] = {{"OK", SheetButton::Ok},
                                                                 {"Cancel", SheetButton::Cancel},
                                                                 {"Apply", SheetButton::Apply},
                                                                 {"Help", SheetButton::Help}};
    for (const auto& [n, v] : kNames) {
        if (name == n) {
            *b = v;
            return true;
        }
    }
    return false;
}
}  // namespace

bool UiHarness::PressSheetButton(const std::string& name) {
    SheetButton b;
    if (!ButtonByName(name, &b)) {
        Fail("no sheet button \"" + name + "\"");
        return false;
    }
    if (!SheetOpen()) {
        Fail("no sheet is open to press \"" + name + "\"");
        return false;
    }
    if (!SheetButtonVisible(name) || !SheetButtonEnabled(name)) {
        Fail("sheet button \"" + name + "\" is " +
             (SheetButtonVisible(name) ? "disabled" : "hidden"));
        return false;
    }
    SheetPress(impl_->sheet, b);
    QCoreApplication::processEvents();
    return true;
}

bool UiHarness::SheetButtonEnabled(const std::string& name) const {
    SheetButton b;
    return SheetOpen() && ButtonByName(name, &b) && qtui::SheetButtonEnabled(impl_->sheet, b);
}

bool UiHarness::SheetButtonVisible(const std::string& name) const {
    SheetButton b;
    return SheetOpen() && ButtonByName(name, &b) && qtui::SheetButtonVisible(impl_->sheet, b);
}

void UiHarness::CloseSheet() {
    if (impl_->sheet) {
        DestroySheet(impl_->sheet);
        impl_->sheet = nullptr;
        QCoreApplication::processEvents();
    }
}

// ---- Controls ----------------------------------------------------------------------------------

Form* UiHarness::TopForm() const {
    if (!impl_->stack.empty()) {
        return impl_->stack.back();
    }
    return SheetOpen() ? SheetCurrentPage(impl_->sheet) : nullptr;
}

bool UiHarness::Exists(const std::string& label, int occurrence) const {
    return impl_->Find(label, occurrence, false) != nullptr;
}

bool UiHarness::Type(const std::string& label, const std::string& text, int occurrence) {
    QWidget* w = impl_->Operable(label, occurrence);
    if (auto* e = qobject_cast<QLineEdit*>(w); e && !e->isReadOnly()) {
        e->setFocus();
        e->setText(QString::fromStdString(text));
        return true;
    }
    if (auto* p = qobject_cast<QPlainTextEdit*>(w); p && !p->isReadOnly()) {
        p->setFocus();
        p->setPlainText(QString::fromStdString(text));
        return true;
    }
    if (w) {
        Fail("cannot type into \"" + label + "\"");
    }
    return false;
}

bool UiHarness::Tick(const std::string& label, bool on, int occurrence) {
    QWidget* w = impl_->Operable(label, occurrence);
    auto* b = qobject_cast<QAbstractButton*>(w);
    if (!b || !b->isCheckable()) {
        if (w) {
            Fail("\"" + label + "\" cannot be ticked");
        }
        return false;
    }
    if (b->isChecked() != on) {
        b->click();
    }
    QCoreApplication::processEvents();
    return true;
}

bool UiHarness::Click(const std::string& label, int occurrence) {
    QWidget* w = impl_->Operable(label, occurrence);
    auto* b = qobject_cast<QAbstractButton*>(w);
    if (!b) {
        if (w) {
            Fail("\"" + label + "\" cannot be clicked");
        }
        return false;
    }
    b->click();
    QCoreApplication::processEvents();
    return true;
}

namespace {
// Row of `item` in a list, drop-down or report list; -1 when missing.
int RowOf(QWidget* w, const std::string& item) {
    QString t = QString::fromStdString(item);
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        for (int i = 0; i < l->count(); ++i) {
            if (l->item(i)->text() == t) {
                return i;
            }
        }
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        return c->findText(t, Qt::MatchExactly);
    } else if (auto* v = qobject_cast<QTableView*>(w)) {
        for (int i = 0; i < v->model()->rowCount(); ++i) {
            if (v->model()->index(i, 0).data().toString() == t) {
                return i;
            }
        }
    }
    return -1;
}
}  // namespace

bool UiHarness::Choose(const std::string& label, const std::string& item, int occurrence) {
    QWidget* w = impl_->Operable(label, occurrence);
    if (!w) {
        return false;
    }
    int row = RowOf(w, item);
    if (row < 0) {
        Fail("\"" + label + "\" has no item \"" + item + "\"");
        return false;
    }
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setCurrentIndex(row);
    } else if (auto* v = qobject_cast<QTableView*>(w)) {
        v->selectionModel()->setCurrentIndex(
            v->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QCoreApplication::processEvents();
    return true;
}

bool UiHarness::DoubleClick(const std::string& label, const std::string& item, int occurrence) {
    if (!Choose(label, item, occurrence)) {
        return false;
    }
    QWidget* w = impl_->Find(label, occurrence)->widget;
    int row = RowOf(w, item);
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        emit l->itemDoubleClicked(l->item(row));
    } else if (auto* v = qobject_cast<QTableView*>(w)) {
        emit v->doubleClicked(v->model()->index(row, 0));
    } else {
        Fail("\"" + label + "\" cannot be double-clicked");
        return false;
    }
    QCoreApplication::processEvents();
    return true;
}

bool UiHarness::PressKey(const std::string& label, const std::string& key, int occurrence) {
    QWidget* w = impl_->Operable(label, occurrence);
    if (!w) {
        return false;
    }
    static const std::pair<const char*, int> kKeys[] = {{"Enter", Qt::Key_Return},
                                                        {"Delete", Qt::Key_Delete},
                                                        {"Insert", Qt::Key_Insert},
                                                        {"Escape", Qt::Key_Escape}};
    int code = 0;
    QString text;
    for (const auto& [n, k] : kKeys) {
        if (key == n) {
            code = k;
        }
    }
    if (code == 0) {
        if (key.size() != 1) {
            Fail("unknown key \"" + key + "\"");
            return false;
        }
        text = QString::fromStdString(key);
        code = text.at(0).toUpper().unicode();
    }
    w->setFocus();
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
    QCoreApplication::processEvents();
    return true;
}

std::string UiHarness::Text(const std::string& label, int occurrence) {
    const ControlRec* c = impl_->Find(label, occurrence);
    QWidget* w = c ? c->widget : nullptr;
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text().toStdString();
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        return p->toPlainText().toStdString();
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        return StripMnemonic(l->text().toStdString());
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        return StripMnemonic(b->text().toStdString());
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return StripMnemonic(g->title().toStdString());
    } else if (auto* b = qobject_cast<QComboBox*>(w)) {
        return b->currentText().toStdString();
    }
    return {};
}

bool UiHarness::Enabled(const std::string& label, int occurrence) {
    const ControlRec* c = impl_->Find(label, occurrence);
    return c && c->widget->isEnabled();
}

bool UiHarness::Checked(const std::string& label, int occurrence) {
    const ControlRec* c = impl_->Find(label, occurrence);
    auto* b = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
    return b && b->isChecked();
}

bool UiHarness::Visible(const std::string& label, int occurrence) {
    const ControlRec* c = impl_->Find(label, occurrence);
    return c && !c->widget->isHidden();
}

std::vector<std::string> UiHarness::Items(const std::string& label, int occurrence) {
    std::vector<std::string> out;
    const ControlRec* c = impl_->Find(label, occurrence);
    if (!c) {
        return out;
    }
    if (auto* l = qobject_cast<QListWidget*>(c->widget)) {
        for (int i = 0; i < l->count(); ++i) {
            out.push_back(l->item(i)->text().toStdString());
        }
    } else if (auto* b = qobject_cast<QComboBox*>(c->widget)) {
        for (int i = 0; i < b->count(); ++i) {
            out.push_back(b->itemText(i).toStdString());
        }
    } else if (auto* v = qobject_cast<QTableView*>(c->widget)) {
        auto* m = v->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            std::string row;
            for (int k = 0; k < m->columnCount(); ++k) {
                row += (k ? "\t" : "") + m->index(r, k).data().toString().toStdString();
            }
            out.push_back(row);
        }
    } else {
        Fail("\"" + label + "\" is not a list");
    }
    return out;
}

// ---- Expectations ------------------------------------------------------------------------------

void UiHarness::ExpectBox(const std::string& text, MbIcon icon, MbButtons buttons, int answer,
                          const std::string& caption) {
    impl_->boxes.push_back({text, icon, buttons, answer, caption});
}

void UiHarness::ExpectDialog(const std::string& name, std::function<void()> script) {
    impl_->dialogs.push_back({name, std::move(script)});
}

void UiHarness::ExpectFileDialog(const std::string& path) {
    impl_->files.push_back(path);
}

size_t UiHarness::PendingExpectations() const {
    return impl_->boxes.size() + impl_->dialogs.size() + impl_->files.size();
}

const std::vector<MessageBoxRequest>& UiHarness::ShownBoxes() const {
    return impl_->shown;
}

std::vector<std::string> UiHarness::Notices() const {
    return NoticeTexts();
}

// ---- Time and pictures -------------------------------------------------------------------------

void UiHarness::Advance(uint64_t ms) {
    VirtualTime& t = *impl_->time;
    const uint64_t target = t.Tick() + ms;
    for (;;) {
        uint64_t due = NextTimerDue();
        if (due > target) {
            break;
        }
        if (due > t.Tick()) {
            t.Advance(due - t.Tick());
        }
        FireTimersDueAt(t.Tick());
        QCoreApplication::processEvents();
    }
    if (target > t.Tick()) {
        t.Advance(target - t.Tick());
    }
}

uint64_t UiHarness::Now() const {
    return impl_->time->Tick();
}

bool UiHarness::Screenshot(const std::string& pngPath) {
    QWidget* w = impl_->TopWindow();
    if (!w) {
        Fail("no window to render to " + pngPath);
        return false;
    }
    QCoreApplication::processEvents();
    if (!w->grab().save(QString::fromStdString(pngPath), "PNG")) {
        Fail("cannot write " + pngPath);
        return false;
    }
    return true;
}

// ---- Names -------------------------------------------------------------------------------------

namespace {
const char* const kIconNames[] = {"none", "error", "warning", "question", "information"};
const char* const kButtonNames[] = {"ok", "okcancel", "yesno", "yesnocancel"};
}  // namespace

bool ParseIcon(const std::string& word, MbIcon* icon) {
    for (int i = 0; i < 5; ++i) {
        if (word == kIconNames[i]) {
            *icon = static_cast<MbIcon>(i);
            return true;
        }
    }
    return false;
}

bool ParseButtons(const std::string& word, MbButtons* buttons) {
    for (int i = 0; i < 4; ++i) {
        if (word == kButtonNames[i]) {
            *buttons = static_cast<MbButtons>(i);
            return true;
        }
    }
    return false;
}

bool ParseAnswer(const std::string& word, int* answer) {
    static const std::pair<const char*, int> kAnswers[] = {
        {"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}};
    for (const auto& [n, v] : kAnswers) {
        if (word == n) {
            *answer = v;
            return true;
        }
    }
    return false;
}

const char* IconName(MbIcon icon) {
    return kIconNames[static_cast<int>(icon)];
}

const char* ButtonsName(MbButtons buttons) {
    return kButtonNames[static_cast<int>(buttons)];
}

}  // namespace platform
