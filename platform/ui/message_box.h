// Message boxes, toolkit-neutral. Logic code (modem tests, service control, pages) asks here; the
// windowing backend installed at start-up shows the box, and tests install a scripted backend.
#pragma once

#include <string>

namespace platform {

struct Form;  // a shown dialog or page; owner of boxes and timers (defined by the UI layer)

// The caption every box of the console carries.
inline constexpr const char* kCaption = "Zelmo SMS/MMS Gateway v2013.07.02";

enum class MbIcon { None, Error, Warning, Question, Information };
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers, with the values the console's logic compares against.
enum MbAnswer : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageBoxRequest {
    Form* owner = nullptr;  // null: no owner
    std::string text;
    std::string caption = kCaption;
    MbIcon icon = MbIcon::None;
    MbButtons buttons = MbButtons::Ok;
    int defaultButton = 0;    // index of the default button, from the left
    bool foreground = false;  // bring to the foreground
    bool taskModal = false;
};

// Shows the box through the installed backend and returns the answer. Without a backend the box
// is written to standard error and the default button's answer is returned.
int ShowMessageBox(const MessageBoxRequest& request);

// Shorthand for the common case.
int ShowMessageBox(Form* owner, const std::string& text, MbIcon icon,
                   MbButtons buttons = MbButtons::Ok);

struct MessageBoxBackend {
    int (*show)(void* ctx, const MessageBoxRequest& request);
    void* ctx;
};
// Installs the backend (null removes it). The caller keeps `backend` alive while installed.
void SetMessageBoxBackend(const MessageBoxBackend* backend);

}  // namespace platform
