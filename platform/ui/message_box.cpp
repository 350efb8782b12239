// Dispatch of message boxes and the wait cursor to the installed windowing backend.
#include <atomic>
#include <cstdio>

#include "platform/ui/message_box.h"
#include "platform/ui/wait_cursor.h"

namespace platform {
namespace {

std::atomic<const MessageBoxBackend*> g_boxBackend{nullptr};
std::atomic<const WaitCursorBackend*> g_cursorBackend{nullptr};
std::atomic<int> g_cursorDepth{0};

int DefaultAnswer(const MessageBoxRequest& r) {
    static const int kAnswers[][3] = {{IDOK, IDOK, IDOK},
                                      {IDOK, IDCANCEL, IDCANCEL},
                                      {IDYES, IDNO, IDNO},
                                      {IDYES, IDNO, IDCANCEL}};
    int i = r.defaultButton < 0 || r.defaultButton > 2 ? 0 : r.defaultButton;
    return kAnswers[static_cast<int>(r.buttons)][i];
}

}  // namespace

int ShowMessageBox(const MessageBoxRequest& request) {
    if (const MessageBoxBackend* b = g_boxBackend.load()) {
        return b->show(b->ctx, request);
    }
    std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    return DefaultAnswer(request);
}

int ShowMessageBox(Form* owner, const std::string& text, MbIcon icon, MbButtons buttons) {
    MessageBoxRequest r;
    r.owner = owner;
    r.text = text;
    r.icon = icon;
    r.buttons = buttons;
    r.foreground = owner == nullptr;
    return ShowMessageBox(r);
}

void SetMessageBoxBackend(const MessageBoxBackend* backend) {
    g_boxBackend.store(backend);
}

WaitCursor::WaitCursor() : shown_(true) {
    g_cursorDepth.fetch_add(1);
    if (const WaitCursorBackend* b = g_cursorBackend.load()) {
        b->push(b->ctx);
    }
}

WaitCursor::~WaitCursor() {
    Hide();
}

void WaitCursor::Hide() {
    if (!shown_) {
        return;
    }
    shown_ = false;
    g_cursorDepth.fetch_sub(1);
    if (const WaitCursorBackend* b = g_cursorBackend.load()) {
        b->pop(b->ctx);
    }
}

int WaitCursorDepth() {
    return g_cursorDepth.load();
}

void SetWaitCursorBackend(const WaitCursorBackend* backend) {
    g_cursorBackend.store(backend);
}

}  // namespace platform
