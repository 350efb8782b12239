// The Qt property sheet: tabs of pages with OK, Cancel, Apply and Help, the page notifications
// (set active, kill active, apply, query cancel, help, query siblings), and the conventions the
// console's pages share (ConfigurationChanged, the cancel question, Help).
#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/qt/qt_ui.h"

namespace platform {
namespace qtui {

class SheetWindow : public QDialog {
  public:
    struct Page {
        SheetPage desc;
        QWidget* holder = nullptr;
        Form* form = nullptr;
        bool initialised = false;  // Init sent: the page takes part in Apply
        bool changed = false;
    };

    explicit SheetWindow(const PropertySheet& desc) {
        setWindowTitle(QString::fromStdString(desc.caption));
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        if (!desc.iconPath.empty()) {
            setWindowIcon(QIcon(QString::fromStdString(desc.iconPath)));
        }
        auto* layout = new QVBoxLayout(this);
        tabs = new QTabWidget(this);
        layout->addWidget(tabs, 1);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        ok = new QPushButton(tr("OK"), this);
        cancel = new QPushButton(tr("Cancel"), this);
        apply = new QPushButton(tr("&Apply"), this);
        help = new QPushButton(tr("Help"), this);
        for (QPushButton* b : {ok, cancel, apply, help}) {
            b->setAutoDefault(false);
            row->addWidget(b);
        }
        ok->setDefault(true);
        apply->setEnabled(false);
        layout->addLayout(row);
        bool anyHelp = false;
        for (const SheetPage& p : desc.pages) {
            Page page;
            page.desc = p;
            page.holder = new QWidget(tabs);
            auto* hl = new QVBoxLayout(page.holder);
            hl->setContentsMargins(0, 0, 0, 0);
            page.form = BuildForm(p.form, p.handler, page.holder, false);
            page.form->sheet = this;
            hl->addWidget(page.form->root);
            tabs->addTab(page.holder, QString::fromStdString(p.title));
            anyHelp = anyHelp || p.help;
            pages.push_back(std::move(page));
        }
        help->setVisible(anyHelp);
        QObject::connect(ok, &QPushButton::clicked, [this] { Press(SheetButton::Ok); });
        QObject::connect(cancel, &QPushButton::clicked, [this] { Press(SheetButton::Cancel); });
        QObject::connect(apply, &QPushButton::clicked, [this] { Press(SheetButton::Apply); });
        QObject::connect(help, &QPushButton::clicked, [this] { Press(SheetButton::Help); });
        if (!pages.empty()) {
            int start = desc.startPage >= 0 && desc.startPage < static_cast<int>(pages.size())
                            ? desc.startPage
                            : 0;
            switching = true;
            tabs->setCurrentIndex(start);
            switching = false;
            Activate(start);
        }
        QObject::connect(tabs, &QTabWidget::currentChanged, [this](int i) { OnTabChanged(i); });
    }

    ~SheetWindow() override { DestroyPages(); }

    void reject() override { Press(SheetButton::Cancel); }

    void Activate(int i) {
        Page& p = pages[i];
        current = i;
        if (!p.initialised) {
            p.initialised = true;
            FormEvent e;
            e.type = FormEventType::Init;
            Send(p.form, e);
        }
        FormEvent e;
        e.type = FormEventType::SetActive;
        Send(p.form, e);
        help->setEnabled(p.desc.help);
    }

    bool LeaveCurrent() {
        if (current < 0) {
            return true;
        }
        FormEvent e;
        e.type = FormEventType::KillActive;
        return Send(pages[current].form, e) != kRefuse;
    }

    void ShowPage(int i) {
        switching = true;
        tabs->setCurrentIndex(i);
        switching = false;
        Activate(i);
    }

    void OnTabChanged(int i) {
        if (switching || closed || i == current) {
            return;
        }
        if (!LeaveCurrent()) {
            switching = true;
            tabs->setCurrentIndex(current);
            switching = false;
            return;
        }
        Activate(i);
    }

    bool ApplyAll() {
        if (!LeaveCurrent()) {
            return false;
        }
        for (size_t i = 0; i < pages.size(); ++i) {
            if (!pages[i].initialised) {
                continue;
            }
            FormEvent e;
            e.type = FormEventType::Apply;
            if (Send(pages[i].form, e) == kRefuse) {
                if (static_cast<int>(i) != current) {
                    ShowPage(static_cast<int>(i));
                }
                return false;
            }
        }
        for (Page& p : pages) {
            p.changed = false;
        }
        apply->setEnabled(false);
        return true;
    }

    void Press(SheetButton b) {
        if (closed) {
            return;
        }
        switch (b) {
            case SheetButton::Ok:
                if (ApplyAll()) {
                    Finish(IDOK);
                }
                break;
            case SheetButton::Apply:
                if (apply->isEnabled()) {
                    ApplyAll();
                }
                break;
            case SheetButton::Cancel: {
                FormEvent e;
                e.type = FormEventType::QueryCancel;
                if (current < 0 || Send(pages[current].form, e) != kRefuse) {
                    Finish(IDCANCEL);
                }
                break;
            }
            case SheetButton::Help:
                if (current >= 0 && pages[current].desc.help) {
                    FormEvent e;
                    e.type = FormEventType::Help;
                    Send(pages[current].form, e);
                }
                break;
        }
    }

    void Finish(int r) {
        closed = true;
        result = r;
        DestroyPages();
        done(r);
    }

    void DestroyPages() {
        for (Page& p : pages) {
            Form* f = p.form;
            p.form = nullptr;
            if (f) {
                f->root->setParent(nullptr);
                DestroyForm(f);
            }
        }
    }

    Page* PageOf(Form* f) {
        for (Page& p : pages) {
            if (p.form == f) {
                return &p;
            }
        }
        return nullptr;
    }

    void UpdateApply() {
        bool any = false;
        for (const Page& p : pages) {
            any = any || p.changed;
        }
        apply->setEnabled(any);
    }

    std::vector<Page> pages;
    QTabWidget* tabs = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* apply = nullptr;
    QPushButton* help = nullptr;
    int current = -1;
    bool switching = false;
    bool closed = false;
    int result = 0;
};

SheetWindow* CreateSheet(const PropertySheet& desc) {
    EnsureApplication();
    InstallBackends();
    return new SheetWindow(desc);
}

void DestroySheet(SheetWindow* s) {
    delete s;
}

QWidget* SheetWidget(SheetWindow* s) {
    return s;
}

Form* SheetCurrentPage(SheetWindow* s) {
    return s && !s->closed && s->current >= 0 ? s->pages[s->current].form : nullptr;
}

int SheetPageCount(SheetWindow* s) {
    return s ? static_cast<int>(s->pages.size()) : 0;
}

std::string SheetPageTitle(SheetWindow* s, int index) {
    return s && index >= 0 && index < SheetPageCount(s) ? s->pages[index].desc.title
                                                        : std::string();
}

bool SheetSelectPage(SheetWindow* s, int index) {
    if (!s || s->closed || index < 0 || index >= SheetPageCount(s)) {
        return false;
    }
    s->tabs->setCurrentIndex(index);
    return s->current == index;
}

int SheetCurrentIndex(SheetWindow* s) {
    return s ? s->current : -1;
}

static QPushButton* Button(SheetWindow* s, SheetButton b) {
    switch (b) {
        case SheetButton::Ok:
            return s->ok;
        case SheetButton::Cancel:
            return s->cancel;
        case SheetButton::Apply:
            return s->apply;
        case SheetButton::Help:
            return s->help;
    }
    return nullptr;
}

void SheetPress(SheetWindow* s, SheetButton b) {
    if (s && !s->closed) {
        QPushButton* button = Button(s, b);
        if (button->isEnabled() && !button->isHidden()) {
            button->click();
        }
    }
}

bool SheetButtonEnabled(SheetWindow* s, SheetButton b) {
    return s && Button(s, b)->isEnabled();
}

bool SheetButtonVisible(SheetWindow* s, SheetButton b) {
    return s && !Button(s, b)->isHidden();
}

bool SheetClosed(SheetWindow* s) {
    return !s || s->closed;
}

int SheetResult(SheetWindow* s) {
    return s ? s->result : 0;
}

}  // namespace qtui

using namespace qtui;

void StartWindowing() {
    EnsureApplication();
    InstallBackends();
}

int RunPropertySheet(const PropertySheet& sheet) {
    SheetWindow* s = CreateSheet(sheet);
    if (!s->closed) {
        s->exec();
    }
    int r = s->closed ? s->result : IDCANCEL;
    DestroySheet(s);
    return r;
}

void SheetChanged(Form* page) {
    if (auto* s = page ? static_cast<SheetWindow*>(page->sheet) : nullptr) {
        if (auto* p = s->PageOf(page)) {
            p->changed = true;
            s->UpdateApply();
        }
    }
}

void SheetUnchanged(Form* page) {
    if (auto* s = page ? static_cast<SheetWindow*>(page->sheet) : nullptr) {
        if (auto* p = s->PageOf(page)) {
            p->changed = false;
            s->UpdateApply();
        }
    }
}

bool SheetQuerySiblings(Form* page) {
    auto* s = page ? static_cast<SheetWindow*>(page->sheet) : nullptr;
    if (!s) {
        return false;
    }
    for (auto& p : s->pages) {
        if (p.initialised && p.form) {
            FormEvent e;
            e.type = FormEventType::QuerySiblings;
            if (Send(p.form, e) != 0) {
                return true;
            }
        }
    }
    return false;
}

// ---- Conventions -----------------------------------------------------------------------------

bool ConfigurationChanged = false;

namespace {
void (*g_helpOpener)() = nullptr;
}

void MarkConfigurationChanged(Form* page) {
    ConfigurationChanged = true;
    SheetChanged(page);
}

int AnswerQueryCancel(Form* page) {
    if (!ConfigurationChanged && !SheetQuerySiblings(page)) {
        return kAllow;
    }
    int answer = ShowMessageBox(page, "Exit without saving configuration changes?",
                                MbIcon::Question, MbButtons::YesNoCancel);
    return answer == IDYES ? kAllow : kRefuse;
}

void SetHelpOpener(void (*open)()) {
    g_helpOpener = open;
}

void OpenHelp() {
    if (g_helpOpener) {
        g_helpOpener();
    }
}

}  // namespace platform
