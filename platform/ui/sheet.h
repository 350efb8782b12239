// The property sheet: the console's main window, a row of tabbed pages with OK, Cancel, Apply and
// Help, and the conventions every page of the console follows on apply, cancel and help.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/form.h"

namespace platform {

struct SheetPage {
    FormTemplate form{};
    FormHandler handler{};
    std::string title{};  // tab title
    bool help = false;    // the Help button serves this page
};

struct PropertySheet {
    std::string caption = kCaption;
    std::string iconPath{};  // PNG or SVG file; "" for none
    int startPage = 0;
    std::vector<SheetPage> pages{};  // in tab order; plug-in libraries append theirs
};

// Shows the sheet modally until OK (IDOK) or Cancel (IDCANCEL). A page is created, and gets Init,
// when it is first shown; Apply goes to every page created so far. The window has a minimise
// button.
int RunPropertySheet(const PropertySheet& sheet);

// Makes the toolkit ready before any window is shown: message boxes shown from then on (a
// program's start-up, a command-line run) are real windows. A test harness keeps its own boxes.
void StartWindowing();

// The page's changed notification: enables Apply. SheetUnchanged withdraws it for this page.
void SheetChanged(Form* page);
void SheetUnchanged(Form* page);
// Puts QuerySiblings to every page created so far; true when one answers non-zero.
bool SheetQuerySiblings(Form* page);

// ---- Conventions shared by the console's pages ----------------------------------------------

// Set while some page holds edits that are not yet applied. Pages that store everything on apply
// clear it there; others leave it set.
extern bool ConfigurationChanged;

// A setting of `page` changed: sets ConfigurationChanged and sends the changed notification.
void MarkConfigurationChanged(Form* page);

// The answer of every page to QueryCancel: kAllow at once when ConfigurationChanged is clear and
// no page reports changes; otherwise asks "Exit without saving configuration changes?" and allows
// only on Yes.
int AnswerQueryCancel(Form* page);

// Help: what the sheet's Help button opens (the manual). The start-up code installs it; without
// one, Help does nothing.
void SetHelpOpener(void (*open)());
void OpenHelp();

}  // namespace platform
