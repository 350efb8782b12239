// The UI test harness: drives the real widgets (on Qt's offscreen platform) the way an operator
// would, by the labels the operator reads. It scripts the answers to message boxes and checks each
// box's text, icon and buttons; runs the modal dialogs that handlers open with scripts given in
// advance; fires form timers in virtual time; and renders windows to PNG files.
//
// Nothing is thrown: every expectation that is not met is recorded as a failure (failures()), and
// an action on a control that is missing, hidden or disabled fails too.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/sheet.h"

namespace platform {

class UiHarness {
  public:
    // One harness at a time. Creates the application object if needed, installs the scripted
    // message box backend, the
    // dialog hooks, virtual form timers and a virtual clock (platform::Clock) that starts at
    // `wallStart`.
    explicit UiHarness(std::time_t wallStart = 1700000000);
    // Calls Finish() and closes what is still open.
    ~UiHarness();
    UiHarness(const UiHarness&) = delete;
    UiHarness& operator=(const UiHarness&) = delete;

    // ---- Outcome
    const std::vector<std::string>& failures() const;
    bool ok() const { return failures().empty(); }
    std::string Report() const;  // the failures, one a line
    void Fail(const std::string& message);
    // Called with each failure as it happens (the scenario runner stops on the first).
    void OnFailure(std::function<void(const std::string&)> listener);
    // Every expectation still waiting (box, dialog, file dialog) becomes a failure.
    void Finish();

    // ---- The property sheet, shown modelessly
    void OpenSheet(const PropertySheet& sheet);
    bool SheetOpen() const;                    // shown and not yet closed by OK or Cancel
    int SheetResult() const;                   // IDOK or IDCANCEL once closed, else 0
    bool SelectTab(const std::string& title);  // false when missing or the page refused
    std::string CurrentTab() const;
    // "OK", "Cancel", "Apply", "Help". Pressing a disabled or hidden button fails.
    bool PressSheetButton(const std::string& name);
    bool SheetButtonEnabled(const std::string& name) const;
    bool SheetButtonVisible(const std::string& name) const;
    void CloseSheet();  // throws the window away without any notification but Close

    // ---- Controls of the form on top: the dialog being driven, else the sheet's current page.
    // `label` is the control's own text (buttons, check boxes, labels, group boxes) or the text of
    // the label just before it (edits, lists), without "&"; "#123" names control id 123.
    // `occurrence` picks the n-th control of that label (1 = first).
    Form* TopForm() const;
    bool Exists(const std::string& label, int occurrence = 1) const;
    bool Type(const std::string& label, const std::string& text, int occurrence = 1);
    bool Tick(const std::string& label, bool on, int occurrence = 1);
    bool Click(const std::string& label, int occurrence = 1);
    // Lists, drop-downs and report lists: the item whose text (report: first column) is `item`.
    bool Choose(const std::string& label, const std::string& item, int occurrence = 1);
    bool DoubleClick(const std::string& label, const std::string& item, int occurrence = 1);
    // "Enter", "Delete", "Insert", "Escape", or one printable character.
    bool PressKey(const std::string& label, const std::string& key, int occurrence = 1);
    std::string Text(const std::string& label, int occurrence = 1);
    bool Enabled(const std::string& label, int occurrence = 1);
    bool Checked(const std::string& label, int occurrence = 1);
    bool Visible(const std::string& label, int occurrence = 1);
    // Items of a list or drop-down; rows of a report list with cells joined by TAB.
    std::vector<std::string> Items(const std::string& label, int occurrence = 1);

    // ---- Expectations, met in the order given
    // The next message box: its text, icon, buttons and caption must match; it is answered.
    void ExpectBox(const std::string& text, MbIcon icon, MbButtons buttons, int answer,
                   const std::string& caption = kCaption);
    // The next modal dialog must be `name`; `script` acts on it and should end it (OK, Cancel);
    // a dialog still open after its script is cancelled and fails.
    void ExpectDialog(const std::string& name, std::function<void()> script);
    // The next file-open dialog answers `path` ("" = cancelled).
    void ExpectFileDialog(const std::string& path);
    size_t PendingExpectations() const;
    // Boxes shown so far, as "text" (for logs).
    const std::vector<MessageBoxRequest>& ShownBoxes() const;
    std::vector<std::string> Notices() const;  // open notice boxes

    // ---- Time
    // Moves the virtual clock on by `ms`, firing every form timer that falls due on the way at
    // its own tick.
    void Advance(uint64_t ms);
    uint64_t Now() const;

    // ---- Pictures
    // Renders the window on top (dialog or sheet) to a PNG file. False when nothing is shown or
    // the file cannot be written.
    bool Screenshot(const std::string& pngPath);

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// Parses "none", "error", "warning", "question", "information" / "ok", "okcancel", "yesno",
// "yesnocancel" / "ok", "cancel", "yes", "no"; false when unknown.
bool ParseIcon(const std::string& word, MbIcon* icon);
bool ParseButtons(const std::string& word, MbButtons* buttons);
bool ParseAnswer(const std::string& word, int* answer);
const char* IconName(MbIcon icon);
const char* ButtonsName(MbButtons buttons);

}  // namespace platform
