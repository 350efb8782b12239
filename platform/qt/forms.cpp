// The Qt backend of forms: templates become widgets in grid layouts, widget signals become the
// handler's Command events, and the control operations of platform/ui/form.h act on the widgets.
// Also the message box, wait cursor, notice box and file-open dialog backends.
#include <QAbstractTableModel>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/qt/qt_ui.h"
#include "platform/ui/wait_cursor.h"

namespace platform {
namespace qtui {
namespace {

std::vector<Form*> g_forms;
bool g_virtualTimers = false;
TestHooks* g_hooks = nullptr;
std::vector<QDialog*> g_notices;

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}

// Virtual-mode model of a report list: a row count and a cell callback.
class ReportModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& p) const override { return p.isValid() ? 0 : rows; }
    int columnCount(const QModelIndex& p) const override {
        return p.isValid() ? 0 : static_cast<int>(columns.size());
    }
    QVariant data(const QModelIndex& i, int role) const override {
        if (role != Qt::DisplayRole || !cells || i.row() >= rows) {
            return {};
        }
        return Q(cells(i.row(), i.column()));
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < static_cast<int>(columns.size())) {
            return Q(columns[section].title);
        }
        return {};
    }
    void SetRows(int n) {
        n = std::max(n, 0);
        if (n > rows) {
            beginInsertRows(QModelIndex(), rows, n - 1);
            rows = n;
            endInsertRows();
        } else if (n < rows) {
            beginRemoveRows(QModelIndex(), n, rows - 1);
            rows = n;
            endRemoveRows();
        }
        Redraw();
    }
    void Redraw() {
        if (rows > 0 && !columns.empty()) {
            emit dataChanged(index(0, 0), index(rows - 1, static_cast<int>(columns.size()) - 1));
        }
    }
    void SetColumns(const std::vector<ReportColumn>& c) {
        beginResetModel();
        columns = c;
        endResetModel();
    }

    int rows = 0;
    std::vector<ReportColumn> columns;
    CellText cells;
};

// Draws list box items that hold TABs at the template's tab stops.
class TabStopDelegate : public QStyledItemDelegate {
  public:
    TabStopDelegate(std::vector<int> stops, QObject* parent)
        : QStyledItemDelegate(parent), stops_(std::move(stops)) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem o = option;
        initStyleOption(&o, index);
        QString text = o.text;
        o.text.clear();
        const QWidget* w = option.widget;
        (w ? w->style() : QApplication::style())->drawControl(QStyle::CE_ItemViewItem, &o, p, w);
        QStringList parts = text.split('\t');
        const int charWidth = std::max(1, option.fontMetrics.averageCharWidth());
        QRect r = o.rect.adjusted(3, 0, 0, 0);
        p->save();
        p->setPen(o.palette.color(o.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                   : QPalette::Text));
        for (int i = 0; i < parts.size(); ++i) {
            int x = r.left();
            if (i > 0) {
                int stop = i - 1 < static_cast<int>(stops_.size())
                               ? stops_[i - 1]
                               : (stops_.empty() ? 32 : stops_.back()) * i;
                x = r.left() + stop * charWidth / 4;  // stops are in quarter characters
            }
            p->drawText(QRect(x, r.top(), r.right() - x, r.height()),
                        Qt::AlignLeft | Qt::AlignVCenter, parts[i]);
        }
        p->restore();
    }

  private:
    std::vector<int> stops_;
};

// Turns keys in lists into Enter, Delete, Insert and TypedText commands.
class ListKeys : public QObject {
  public:
    ListKeys(Form* f, int id, QObject* parent) : QObject(parent), form_(f), id_(id) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) {
            return QObject::eventFilter(o, e);
        }
        auto* k = static_cast<QKeyEvent*>(e);
        FormEvent ev;
        ev.type = FormEventType::Command;
        ev.id = id_;
        if (auto* lw = qobject_cast<QListWidget*>(o)) {
            ev.index = lw->currentRow();
        } else if (auto* tv = qobject_cast<QTableView*>(o)) {
            ev.index = tv->currentIndex().isValid() ? tv->currentIndex().row() : -1;
        }
        switch (k->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                ev.notify = Notify::Enter;
                break;
            case Qt::Key_Delete:
                ev.notify = Notify::Delete;
                break;
            case Qt::Key_Insert:
                ev.notify = Notify::Insert;
                break;
            default:
                if (k->text().isEmpty() || !k->text().at(0).isPrint()) {
                    return QObject::eventFilter(o, e);
                }
                ev.notify = Notify::TypedText;
                ev.text = S(k->text());
        }
        Send(form_, ev);
        return ev.notify != Notify::TypedText;  // typed text still moves the list's caret
    }

  private:
    Form* form_;
    int id_;
};

// The window of a modal dialog: Escape and the close box ask the handler (IDCANCEL) instead of
// closing by themselves.
class FormDialog : public QDialog {
  public:
    explicit FormDialog(QWidget* parent) : QDialog(parent) {}
    Form* form = nullptr;
    void reject() override {
        if (form && !form->ended) {
            FormEvent e;
            e.type = FormEventType::Command;
            e.id = IDCANCEL;
            e.notify = Notify::Clicked;
            Send(form, e);
        }
    }
};

void Command(Form* f, int id, Notify n, int index = -1) {
    if (f->quiet > 0) {
        return;
    }
    FormEvent e;
    e.type = FormEventType::Command;
    e.id = id;
    e.notify = n;
    e.index = index;
    Send(f, e);
}

struct Quiet {
    explicit Quiet(Form* f) : f_(f) { ++f_->quiet; }
    ~Quiet() { --f_->quiet; }
    Form* f_;
};

QWidget* Widget(Form* f, int id) {
    const ControlRec* c = FindControl(f, id);
    return c ? c->widget : nullptr;
}
template <class T>
T* As(Form* f, int id) {
    return qobject_cast<T*>(Widget(f, id));
}

QWidget* MakeControl(Form* f, const ControlTemplate& c, QWidget* parent,
                     std::map<std::pair<int, int>, QButtonGroup*>& radioGroups) {
    const int id = c.id;
    const QFontMetrics fm(parent->font());
    const int charW = std::max(1, fm.averageCharWidth());
    QWidget* w = nullptr;
    switch (c.kind) {
        case ControlKind::Label: {
            auto* l = new QLabel(Q(c.text), parent);
            l->setTextFormat(Qt::PlainText);
            l->setWordWrap(c.height > 1);
            w = l;
            break;
        }
        case ControlKind::Edit:
        case ControlKind::Password: {
            auto* e = new QLineEdit(parent);
            if (c.kind == ControlKind::Password) {
                e->setEchoMode(QLineEdit::Password);
            }
            if (c.limit > 0) {
                e->setMaxLength(c.limit);
            }
            e->setReadOnly(c.readOnly);
            QObject::connect(e, &QLineEdit::textChanged,
                             [f, id] { Command(f, id, Notify::TextChanged); });
            w = e;
            break;
        }
        case ControlKind::MultiLineText:
        case ControlKind::MultiLineEdit: {
            auto* e = new QPlainTextEdit(parent);
            e->setReadOnly(c.kind == ControlKind::MultiLineText || c.readOnly);
            if (c.height > 0) {
                e->setMinimumHeight(fm.lineSpacing() * c.height + 2 * e->frameWidth() + 8);
            }
            QObject::connect(e, &QPlainTextEdit::textChanged,
                             [f, id] { Command(f, id, Notify::TextChanged); });
            w = e;
            break;
        }
        case ControlKind::CheckBox: {
            auto* b = new QCheckBox(Q(c.text), parent);
            QObject::connect(b, &QCheckBox::clicked, [f, id] { Command(f, id, Notify::Clicked); });
            w = b;
            break;
        }
        case ControlKind::Radio: {
            auto* b = new QRadioButton(Q(c.text), parent);
            auto& g = radioGroups[{c.parent, c.group}];
            if (!g) {
                g = new QButtonGroup(parent);
            }
            g->addButton(b);
            QObject::connect(b, &QRadioButton::clicked,
                             [f, id] { Command(f, id, Notify::Clicked); });
            w = b;
            break;
        }
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            auto* b = new QPushButton(Q(c.text), parent);
            b->setAutoDefault(false);
            b->setDefault(c.kind == ControlKind::DefaultButton);
            QObject::connect(b, &QPushButton::clicked,
                             [f, id] { Command(f, id, Notify::Clicked); });
            w = b;
            break;
        }
        case ControlKind::DropDownList: {
            auto* b = new QComboBox(parent);
            QObject::connect(b, &QComboBox::currentIndexChanged,
                             [f, id](int i) { Command(f, id, Notify::SelectionChanged, i); });
            w = b;
            break;
        }
        case ControlKind::ListBox: {
            auto* l = new QListWidget(parent);
            l->setSelectionMode(c.multiSelect ? QAbstractItemView::ExtendedSelection
                                              : QAbstractItemView::SingleSelection);
            if (!c.tabStops.empty()) {
                l->setItemDelegate(new TabStopDelegate(c.tabStops, l));
            }
            if (c.height > 0) {
                l->setMinimumHeight(fm.lineSpacing() * c.height + 2 * l->frameWidth() + 4);
            }
            QObject::connect(l, &QListWidget::itemSelectionChanged, [f, id, l] {
                Command(f, id, Notify::SelectionChanged, l->currentRow());
            });
            QObject::connect(l, &QListWidget::itemDoubleClicked, [f, id, l](QListWidgetItem* it) {
                Command(f, id, Notify::DoubleClicked, l->row(it));
            });
            l->installEventFilter(new ListKeys(f, id, l));
            w = l;
            break;
        }
        case ControlKind::ReportList: {
            auto* v = new QTableView(parent);
            auto* m = new ReportModel(v);
            v->setModel(m);
            v->setSelectionBehavior(QAbstractItemView::SelectRows);
            v->setSelectionMode(c.multiSelect ? QAbstractItemView::ExtendedSelection
                                              : QAbstractItemView::SingleSelection);
            v->verticalHeader()->hide();
            v->verticalHeader()->setDefaultSectionSize(fm.lineSpacing() + 6);
            v->setShowGrid(false);
            v->setWordWrap(false);
            v->setEditTriggers(QAbstractItemView::NoEditTriggers);
            v->horizontalHeader()->setSectionsClickable(true);
            v->horizontalHeader()->setHighlightSections(false);
            v->horizontalHeader()->setStretchLastSection(true);
            if (c.height > 0) {
                v->setMinimumHeight((fm.lineSpacing() + 6) * (c.height + 1));
            }
            QObject::connect(
                v->selectionModel(), &QItemSelectionModel::selectionChanged, [f, id, v] {
                    Command(f, id, Notify::SelectionChanged,
                            v->currentIndex().isValid() ? v->currentIndex().row() : -1);
                });
            QObject::connect(v, &QTableView::doubleClicked, [f, id](const QModelIndex& i) {
                Command(f, id, Notify::DoubleClicked, i.row());
            });
            QObject::connect(v->horizontalHeader(), &QHeaderView::sectionClicked,
                             [f, id](int col) { Command(f, id, Notify::ColumnClick, col); });
            v->installEventFilter(new ListKeys(f, id, v));
            w = v;
            break;
        }
        case ControlKind::GroupBox: {
            auto* g = new QGroupBox(Q(c.text), parent);
            new QGridLayout(g);
            w = g;
            break;
        }
    }
    if (c.width > 0) {
        w->setMinimumWidth(c.width * charW);
    }
    w->setProperty("zelmoSorted", c.sorted);
    return w;
}

// Installed message box backend: a QMessageBox run modally.
int ShowQtBox(void*, const MessageBoxRequest& r) {
    EnsureApplication();
    QWidget* parent = r.owner && r.owner->root ? r.owner->root->window() : nullptr;
    QMessageBox box(parent);
    box.setWindowTitle(Q(r.caption));
    box.setText(Q(r.text));
    static const QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Critical,
                                               QMessageBox::Warning, QMessageBox::Question,
                                               QMessageBox::Information};
    box.setIcon(kIcons[static_cast<int>(r.icon)]);
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    std::vector<Choice> choices;
    switch (r.buttons) {
        case MbButtons::Ok:
            choices = {{QMessageBox::Ok, IDOK}};
            break;
        case MbButtons::OkCancel:
            choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MbButtons::YesNo:
            choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        case MbButtons::YesNoCancel:
            choices = {{QMessageBox::Yes, IDYES},
                       {QMessageBox::No, IDNO},
                       {QMessageBox::Cancel, IDCANCEL}};
            break;
    }
    for (const Choice& c : choices) {
        box.addButton(c.button);
    }
    int def = r.defaultButton >= 0 && r.defaultButton < static_cast<int>(choices.size())
                  ? r.defaultButton
                  : 0;
    box.setDefaultButton(choices[def].button);
    if (r.taskModal || !parent) {
        box.setWindowModality(Qt::ApplicationModal);
    }
    if (r.foreground) {
        QTimer::singleShot(0, &box, [&box] {
            box.raise();
            box.activateWindow();
        });
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const Choice& c : choices) {
        if (clicked && box.standardButton(clicked) == c.button) {
            return c.answer;
        }
    }
    // Closed without a button: the box's way out.
    return choices.size() == 2 && r.buttons == MbButtons::YesNo ? IDNO : choices.back().answer;
}

void PushWait(void*) {
    if (qApp) {
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
}
void PopWait(void*) {
    if (qApp && QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
    }
}

const MessageBoxBackend kBoxBackend{ShowQtBox, nullptr};
const WaitCursorBackend kCursorBackend{PushWait, PopWait, nullptr};

}  // namespace

std::string StripMnemonic(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

namespace {
QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform warns about every dialog it shows; the warning says nothing to us.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QLatin1String("does not support propagateSizeHints"))) {
        return;
    }
    if (g_previousHandler) {
        g_previousHandler(type, context, text);
    }
}
}  // namespace

void EnsureApplication() {
    if (QApplication::instance()) {
        return;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    static int argc = 1;
    static char name[] = "zelmo";
    static char* argv[] = {name, nullptr};
    // Lives until the process ends and is never destroyed: at exit Qt's own globals may be gone
    // before it, and the static pointer keeps it reachable for the leak checker.
    g_previousHandler = qInstallMessageHandler(FilterMessages);
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
    QApplication::setQuitOnLastWindowClosed(false);
}

void InstallBackends() {
    if (g_hooks) {
        return;  // a test harness answers the boxes
    }
    SetMessageBoxBackend(&kBoxBackend);
    SetWaitCursorBackend(&kCursorBackend);
}

Form* BuildForm(const FormTemplate& t, FormHandler handler, QWidget* parent, bool dialog) {
    EnsureApplication();
    auto* f = new Form;
    f->name = t.name;
    f->handler = std::move(handler);
    if (dialog) {
        auto* d = new FormDialog(parent);
        d->form = f;
        d->setWindowTitle(Q(t.caption));
        d->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        f->root = d;
    } else {
        f->root = new QWidget(parent);
    }
    f->root->setObjectName(Q(t.name));
    auto* rootGrid = new QGridLayout(f->root);
    std::map<int, QGridLayout*> grids{{0, rootGrid}};
    std::map<std::pair<int, int>, QButtonGroup*> radioGroups;
    int maxRow = 0;
    std::string pendingLabel;
    QLabel* pendingBuddy = nullptr;
    int order = 0;
    for (const ControlTemplate& c : t.controls) {
        auto it = grids.find(c.parent);
        QGridLayout* grid = it != grids.end() ? it->second : rootGrid;
        QWidget* w = MakeControl(f, c, grid->parentWidget(), radioGroups);
        grid->addWidget(
            w, c.row, c.column, c.rowSpan, c.columnSpan,
            c.kind == ControlKind::Label ? Qt::AlignLeft | Qt::AlignVCenter : Qt::Alignment());
        if (grid == rootGrid) {
            maxRow = std::max(maxRow, c.row + c.rowSpan);
        }
        if (c.kind == ControlKind::GroupBox) {
            grids[c.id] = static_cast<QGridLayout*>(w->layout());
        }
        ControlRec rec;
        rec.kind = c.kind;
        rec.widget = w;
        rec.id = c.id;
        rec.order = order++;
        const bool named = c.kind == ControlKind::CheckBox || c.kind == ControlKind::Radio ||
                           c.kind == ControlKind::Button || c.kind == ControlKind::DefaultButton ||
                           c.kind == ControlKind::GroupBox || c.kind == ControlKind::Label;
        if (named) {
            rec.label = StripMnemonic(c.text);
        } else {
            rec.label = pendingLabel;
            if (pendingBuddy) {
                pendingBuddy->setBuddy(w);
            }
            if (!pendingLabel.empty() && !f->controls.empty()) {
                f->controls.back().namesNext = true;
            }
        }
        if (c.kind == ControlKind::Label) {
            pendingLabel = rec.label;
            pendingBuddy =
                c.text.find('&') != std::string::npos ? static_cast<QLabel*>(w) : nullptr;
        } else {
            pendingLabel.clear();
            pendingBuddy = nullptr;
        }
        f->controls.push_back(rec);
    }
    // Labels that name no control show their text without mnemonic markers.
    for (ControlRec& r : f->controls) {
        if (auto* l = qobject_cast<QLabel*>(r.widget); l && !l->buddy()) {
            l->setText(Q(r.label));
        }
    }
    rootGrid->setRowStretch(maxRow, 1);
    g_forms.push_back(f);
    return f;
}

void DestroyForm(Form* f) {
    if (!f) {
        return;
    }
    for (auto& [id, t] : f->timers) {
        delete t.timer;
    }
    f->timers.clear();
    if (!f->closed) {
        f->closed = true;
        FormEvent e;
        e.type = FormEventType::Close;
        Send(f, e);
        for (auto& [id, t] : f->timers) {  // a handler that restarted one on Close
            delete t.timer;
        }
        f->timers.clear();
    }
    g_forms.erase(std::remove(g_forms.begin(), g_forms.end(), f), g_forms.end());
    if (auto* d = dynamic_cast<FormDialog*>(f->root)) {
        d->form = nullptr;
    }
    delete f->root;
    delete f;
}

int Send(Form* f, const FormEvent& e) {
    if (!f || !f->handler) {
        return kAllow;
    }
    FormHandler h = f->handler;  // the handler may replace itself
    return h(f, e);
}

const ControlRec* FindControl(Form* f, int id) {
    if (!f || id == 0) {
        return nullptr;
    }
    for (const ControlRec& c : f->controls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

const std::vector<Form*>& LiveForms() {
    return g_forms;
}

void SetVirtualTimers(bool on) {
    g_virtualTimers = on;
}

uint64_t NextTimerDue() {
    uint64_t best = UINT64_MAX;
    for (Form* f : g_forms) {
        for (auto& [id, t] : f->timers) {
            best = std::min(best, t.due);
        }
    }
    return best;
}

int FireTimersDueAt(uint64_t tick) {
    int fired = 0;
    for (;;) {
        Form* form = nullptr;
        int timerId = 0;
        uint64_t best = UINT64_MAX;
        for (Form* f : g_forms) {
            for (auto& [id, t] : f->timers) {
                if (t.due <= tick && t.due < best) {
                    best = t.due;
                    form = f;
                    timerId = id;
                }
            }
        }
        if (!form) {
            return fired;
        }
        TimerRec& t = form->timers[timerId];
        t.due += std::max<uint32_t>(t.period, 1);
        FormEvent e;
        e.type = FormEventType::Timer;
        e.id = timerId;
        Send(form, e);
        ++fired;
    }
}

void SetTestHooks(TestHooks* hooks) {
    g_hooks = hooks;
}

std::vector<std::string> NoticeTexts() {
    std::vector<std::string> out;
    for (QDialog* d : g_notices) {
        if (auto* l = d->findChild<QLabel*>()) {
            out.push_back(S(l->text()));
        }
    }
    return out;
}

}  // namespace qtui

using namespace qtui;

void SetText(Form* f, int id, const std::string& text) {
    QWidget* w = Widget(f, id);
    if (!w) {
        return;
    }
    Quiet q(f);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(Q(text));
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->setPlainText(Q(text));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(Q(text));
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(Q(text));
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(Q(text));
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setCurrentIndex(c->findText(Q(text), Qt::MatchFixedString));
    }
}

std::string GetText(Form* f, int id) {
    QWidget* w = Widget(f, id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return S(e->text());
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        return S(p->toPlainText());
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        return S(l->text());
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        return S(b->text());
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return S(g->title());
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        return S(c->currentText());
    }
    return {};
}

void SetEnabled(Form* f, int id, bool enabled) {
    if (QWidget* w = Widget(f, id)) {
        w->setEnabled(enabled);
    }
}
bool IsEnabled(Form* f, int id) {
    QWidget* w = Widget(f, id);
    return w && w->isEnabled();
}
void SetVisible(Form* f, int id, bool visible) {
    if (QWidget* w = Widget(f, id)) {
        w->setVisible(visible);
    }
}
bool IsVisible(Form* f, int id) {
    QWidget* w = Widget(f, id);
    return w && !w->isHidden();
}
void SetChecked(Form* f, int id, bool checked) {
    if (auto* b = As<QAbstractButton>(f, id)) {
        Quiet q(f);
        b->setChecked(checked);
    }
}
bool IsChecked(Form* f, int id) {
    auto* b = As<QAbstractButton>(f, id);
    return b && b->isChecked();
}
void SetFocus(Form* f, int id) {
    if (QWidget* w = Widget(f, id)) {
        w->setFocus(Qt::OtherFocusReason);
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->selectAll();
        }
    }
}
void SetTextColor(Form* f, int id, uint32_t rgb) {
    if (QWidget* w = Widget(f, id)) {
        w->setStyleSheet(QString("color: #%1;").arg(rgb & 0xFFFFFF, 6, 16, QChar('0')));
    }
}
void ResetTextColor(Form* f, int id) {
    if (QWidget* w = Widget(f, id)) {
        w->setStyleSheet(QString());
    }
}

// ---- Lists -------------------------------------------------------------------------------------

namespace {

bool SortedList(Form* f, int id) {
    // The template's flag is not kept on the widget; the sorted state is a dynamic property.
    QWidget* w = Widget(f, id);
    return w && w->property("zelmoSorted").toBool();
}

int SortedPosition(const QStringList& items, const QString& text) {
    auto it =
        std::upper_bound(items.begin(), items.end(), text, [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
    return static_cast<int>(it - items.begin());
}

QStringList Items(Form* f, int id) {
    QStringList out;
    if (auto* l = As<QListWidget>(f, id)) {
        for (int i = 0; i < l->count(); ++i) {
            out << l->item(i)->text();
        }
    } else if (auto* c = As<QComboBox>(f, id)) {
        for (int i = 0; i < c->count(); ++i) {
            out << c->itemText(i);
        }
    }
    return out;
}

}  // namespace

int ListInsert(Form* f, int id, int index, const std::string& text) {
    QStringList items = Items(f, id);
    if (SortedList(f, id)) {
        index = SortedPosition(items, Q(text));
    } else if (index < 0 || index > items.size()) {
        index = static_cast<int>(items.size());
    }
    Quiet q(f);
    if (auto* l = As<QListWidget>(f, id)) {
        l->insertItem(index, Q(text));
        return index;
    }
    if (auto* c = As<QComboBox>(f, id)) {
        c->insertItem(index, Q(text));
        return index;
    }
    return -1;
}
int ListAdd(Form* f, int id, const std::string& text) {
    return ListInsert(f, id, -1, text);
}
bool ListDelete(Form* f, int id, int index) {
    Quiet q(f);
    if (auto* l = As<QListWidget>(f, id); l && index >= 0 && index < l->count()) {
        delete l->takeItem(index);
        return true;
    }
    if (auto* c = As<QComboBox>(f, id); c && index >= 0 && index < c->count()) {
        c->removeItem(index);
        return true;
    }
    return false;
}
void ListClear(Form* f, int id) {
    Quiet q(f);
    if (auto* l = As<QListWidget>(f, id)) {
        l->clear();
    } else if (auto* c = As<QComboBox>(f, id)) {
        c->clear();
    }
}
int ListCount(Form* f, int id) {
    if (!As<QListWidget>(f, id) && !As<QComboBox>(f, id)) {
        return -1;
    }
    return static_cast<int>(Items(f, id).size());
}
std::string ListItemText(Form* f, int id, int index) {
    QStringList items = Items(f, id);
    return index >= 0 && index < items.size() ? S(items[index]) : std::string();
}
int ListFind(Form* f, int id, const std::string& text, bool prefix, bool matchCase, int after) {
    QStringList items = Items(f, id);
    const int n = static_cast<int>(items.size());
    const QString t = Q(text);
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int k = 1; k <= n; ++k) {
        int i = (std::max(after, -1) + k) % n;
        if (prefix ? items[i].startsWith(t, cs) : items[i].compare(t, cs) == 0) {
            return i;
        }
    }
    return -1;
}
void ListSelect(Form* f, int id, int index) {
    Quiet q(f);
    if (auto* l = As<QListWidget>(f, id)) {
        if (index < 0 || index >= l->count()) {
            l->clearSelection();
            l->setCurrentRow(-1);
        } else {
            l->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
            l->scrollToItem(l->item(index));
        }
    } else if (auto* c = As<QComboBox>(f, id)) {
        c->setCurrentIndex(index < c->count() ? index : -1);
    }
}
int ListSelection(Form* f, int id) {
    if (auto* l = As<QListWidget>(f, id)) {
        if (l->selectionMode() == QAbstractItemView::SingleSelection) {
            auto sel = l->selectedItems();
            return sel.isEmpty() ? -1 : l->row(sel.front());
        }
        return l->currentRow();
    }
    if (auto* c = As<QComboBox>(f, id)) {
        return c->currentIndex();
    }
    return -1;
}
void ListSetSelected(Form* f, int id, int index, bool selected) {
    Quiet q(f);
    if (auto* l = As<QListWidget>(f, id); l && index >= 0 && index < l->count()) {
        l->item(index)->setSelected(selected);
    }
}
std::vector<int> ListSelectedItems(Form* f, int id) {
    std::vector<int> out;
    if (auto* l = As<QListWidget>(f, id)) {
        for (int i = 0; i < l->count(); ++i) {
            if (l->item(i)->isSelected()) {
                out.push_back(i);
            }
        }
    }
    return out;
}

// ---- Report lists ------------------------------------------------------------------------------

namespace {
ReportModel* Model(Form* f, int id) {
    auto* v = As<QTableView>(f, id);
    return v ? static_cast<ReportModel*>(v->model()) : nullptr;
}
}  // namespace

void ReportSetColumns(Form* f, int id, const std::vector<ReportColumn>& columns) {
    auto* v = As<QTableView>(f, id);
    if (!v) {
        return;
    }
    Quiet q(f);
    Model(f, id)->SetColumns(columns);
    const double scale = v->logicalDpiX() / 96.0;
    for (size_t i = 0; i < columns.size(); ++i) {
        v->setColumnWidth(static_cast<int>(i), static_cast<int>(columns[i].width * scale));
    }
}
void ReportSetSource(Form* f, int id, CellText cells) {
    if (ReportModel* m = Model(f, id)) {
        m->cells = std::move(cells);
        m->Redraw();
    }
}
void ReportSetRowCount(Form* f, int id, int rows) {
    if (ReportModel* m = Model(f, id)) {
        Quiet q(f);
        m->SetRows(rows);
    }
}
int ReportRowCount(Form* f, int id) {
    ReportModel* m = Model(f, id);
    return m ? m->rows : -1;
}
void ReportRedraw(Form* f, int id) {
    if (ReportModel* m = Model(f, id)) {
        m->Redraw();
    }
}
void ReportEnsureVisible(Form* f, int id, int row) {
    auto* v = As<QTableView>(f, id);
    if (v && row >= 0 && row < Model(f, id)->rows) {
        v->scrollTo(v->model()->index(row, 0));
    }
}
void ReportSelect(Form* f, int id, int row, bool selected) {
    auto* v = As<QTableView>(f, id);
    if (!v || row < 0 || row >= Model(f, id)->rows) {
        return;
    }
    Quiet q(f);
    QModelIndex i = v->model()->index(row, 0);
    auto flags = (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                 QItemSelectionModel::Rows;
    if (selected && v->selectionMode() == QAbstractItemView::SingleSelection) {
        flags |= QItemSelectionModel::Clear;
    }
    v->selectionModel()->setCurrentIndex(i, flags);
}
void ReportClearSelection(Form* f, int id) {
    if (auto* v = As<QTableView>(f, id)) {
        Quiet q(f);
        v->selectionModel()->clearSelection();
    }
}
std::vector<int> ReportSelectedRows(Form* f, int id) {
    std::vector<int> out;
    if (auto* v = As<QTableView>(f, id)) {
        for (const QModelIndex& i : v->selectionModel()->selectedRows()) {
            out.push_back(i.row());
        }
        std::sort(out.begin(), out.end());
    }
    return out;
}
int ReportCurrentRow(Form* f, int id) {
    auto* v = As<QTableView>(f, id);
    return v && v->currentIndex().isValid() ? v->currentIndex().row() : -1;
}

// ---- Timers and dialogs ------------------------------------------------------------------------

void SetTimer(Form* f, int timerId, uint32_t ms) {
    if (!f || f->closed) {
        return;
    }
    TimerRec& t = f->timers[timerId];
    t.period = ms;
    t.due = TickMs() + ms;
    if (g_virtualTimers) {
        delete t.timer;
        t.timer = nullptr;
        return;
    }
    if (!t.timer) {
        t.timer = new QTimer(f->root);
        QObject::connect(t.timer, &QTimer::timeout, [f, timerId] {
            FormEvent e;
            e.type = FormEventType::Timer;
            e.id = timerId;
            Send(f, e);
        });
    }
    t.timer->start(static_cast<int>(std::min<uint32_t>(ms, INT_MAX)));
}

void KillTimer(Form* f, int timerId) {
    if (!f) {
        return;
    }
    auto it = f->timers.find(timerId);
    if (it != f->timers.end()) {
        delete it->second.timer;
        f->timers.erase(it);
    }
}

int RunDialog(Form* owner, const FormTemplate& form, FormHandler handler) {
    EnsureApplication();
    InstallBackends();
    QWidget* parent = owner && owner->root ? owner->root->window() : nullptr;
    Form* f = BuildForm(form, std::move(handler), parent, true);
    auto* d = static_cast<QDialog*>(f->root);
    d->setWindowModality(Qt::ApplicationModal);
    FormEvent init;
    init.type = FormEventType::Init;
    Send(f, init);
    if (!f->ended) {
        if (g_hooks && g_hooks->runDialog) {
            d->show();
            g_hooks->runDialog(f);
        } else {
            d->exec();
        }
    }
    int result = f->ended ? f->result : IDCANCEL;
    DestroyForm(f);
    return result;
}

void EndDialog(Form* f, int result) {
    if (!f || f->ended) {
        return;
    }
    f->ended = true;
    f->result = result;
    if (auto* d = qobject_cast<QDialog*>(f->root)) {
        d->done(result);
    }
}

const std::string& FormName(Form* f) {
    static const std::string kNone;
    return f ? f->name : kNone;
}

void SetFormCaption(Form* f, const std::string& caption) {
    if (f && f->root) {
        f->root->setWindowTitle(Q(caption));
    }
}

// ---- Notice box and file-open dialog -----------------------------------------------------------

NoticeBox::NoticeBox(Form* owner, const std::string& text, const std::string& caption) {
    EnsureApplication();
    QWidget* parent = owner && owner->root ? owner->root->window() : nullptr;
    auto* d = new QDialog(parent);
    d->setWindowTitle(Q(caption));
    auto* layout = new QVBoxLayout(d);
    auto* label = new QLabel(Q(text), d);
    label->setTextFormat(Qt::PlainText);
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 30);
    layout->addWidget(label);
    d->setModal(false);
    d->show();
    QCoreApplication::processEvents();
    g_notices.push_back(d);
    impl_ = d;
}

NoticeBox::~NoticeBox() {
    auto* d = static_cast<QDialog*>(impl_);
    g_notices.erase(std::remove(g_notices.begin(), g_notices.end(), d), g_notices.end());
    delete d;
}

void NoticeBox::SetText(const std::string& text) {
    if (auto* l = static_cast<QDialog*>(impl_)->findChild<QLabel*>()) {
        l->setText(Q(text));
        QCoreApplication::processEvents();
    }
}

bool ChooseFileToOpen(Form* owner, const OpenFileRequest& request, std::string* path) {
    EnsureApplication();
    std::string chosen;
    bool ok = false;
    if (g_hooks && g_hooks->openFile) {
        ok = g_hooks->openFile(request, &chosen);
    } else {
        QStringList filters;
        for (const FileFilter& ff : request.filters) {
            filters << Q(ff.name + " (" + ff.patterns + ")").replace(';', ' ');
        }
        QWidget* parent = owner && owner->root ? owner->root->window() : nullptr;
        QString file = QFileDialog::getOpenFileName(parent, Q(request.title), Q(request.folder),
                                                    filters.join(";;"));
        ok = !file.isEmpty();
        chosen = S(file);
    }
    if (ok && path) {
        *path = chosen;
    }
    return ok;
}

}  // namespace platform
