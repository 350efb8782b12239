// Forms, toolkit-neutral: modal dialogs and property-sheet pages made from a template (plain data),
// driven by one handler function per form, and the operations a handler performs on its controls.
// Pages and dialogs include this header and never a toolkit header; the windowing backend
// (platform/qt, library zelmo_qt) implements these calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/message_box.h"

namespace platform {

// ---- Templates -------------------------------------------------------------------------------

enum class ControlKind {
    Label,          // static text; also names the control that follows it (its "buddy")
    Edit,           // one-line edit
    Password,       // one-line edit showing bullets
    MultiLineText,  // multi-line read-only text
    MultiLineEdit,  // multi-line editable text
    CheckBox,
    Radio,  // grouped by `group`: one of a group is checked
    Button,
    DefaultButton,  // the button that Enter presses
    DropDownList,   // combo box without edit field
    ListBox,        // with `tabStops`, single or `multiSelect`
    ReportList,     // columns of on-demand cell text (virtual mode)
    GroupBox        // a frame with a title; controls name it as their `parent`
};

// One control. Controls sit in the grid of their container (the form, or the group box named by
// `parent`), at `row` and `column`; the grid is laid out by the toolkit, so a template only says
// what goes beside what. Sizes are in average character widths and text lines, which follow the
// font and the pixel density.
struct ControlTemplate {
    int id = 0;  // 0 for labels nobody addresses (they still name their buddy for tests)
    ControlKind kind = ControlKind::Label;
    std::string text{};  // label text; "&" marks the mnemonic ("&Add"), "&&" is an ampersand
    int row = 0;
    int column = 0;
    int rowSpan = 1;
    int columnSpan = 1;
    int parent = 0;               // id of the enclosing group box, 0 for the form itself
    int group = 0;                // radio buttons: buttons of one group exclude each other
    bool multiSelect = false;     // list box, report list
    bool sorted = false;          // list box, drop-down list: items kept in order
    bool readOnly = false;        // edits
    int limit = 0;                // edits: most characters accepted (0 = no limit)
    std::vector<int> tabStops{};  // list box: TAB positions in quarters of a character width
    int width = 0;                // least width in characters (0 = natural)
    int height = 0;               // lists and multi-line texts: visible lines (0 = natural)
};

struct FormTemplate {
    std::string name{};     // "DIALOG_SMPP", "DIALOG_USERINFO" ...
    std::string caption{};  // window title of a dialog (pages take the tab title of the sheet)
    std::vector<ControlTemplate> controls{};
};

// ---- Handler ---------------------------------------------------------------------------------

enum class FormEventType {
    Init,           // controls exist; fill them (pages: the first time the page is shown)
    Command,        // `id` sent `notify`
    Timer,          // timer `id` is due
    SetActive,      // page: becoming the visible page
    KillActive,     // page: about to be left (OK, Apply or another tab); kRefuse keeps it shown
    Apply,          // page: store the settings; kRefuse keeps the sheet open on this page
    QueryCancel,    // page on top: the sheet is being cancelled; kRefuse keeps it open
    Help,           // page on top: the Help button was pressed
    QuerySiblings,  // page: answer non-zero when it holds unsaved changes
    Close           // the form goes away (timers are already stopped)
};

enum class Notify {
    None,
    Clicked,           // button, check box, radio button; Escape/close sends IDCANCEL Clicked
    TextChanged,       // edits, by the operator (not by SetText)
    SelectionChanged,  // lists, drop-downs, report lists, by the operator
    DoubleClicked,     // lists and report lists; `index` is the row
    Enter,             // Enter pressed in a list; `index` is the current row
    Delete,            // Delete key in a list
    Insert,            // Insert key in a list
    TypedText,         // printable text typed in a list; `text` holds it
    ColumnClick        // report list column head clicked; `index` is the column
};

struct FormEvent {
    FormEventType type = FormEventType::Init;
    int id = 0;  // control of a Command, timer of a Timer
    Notify notify = Notify::None;
    int index = -1;
    std::string text{};
};

inline constexpr int kAllow = 0;
inline constexpr int kRefuse = 1;

// The form's handler. Returns kAllow or kRefuse where the event asks (KillActive, Apply,
// QueryCancel), the answer of QuerySiblings, and is otherwise ignored.
using FormHandler = std::function<int(Form* form, const FormEvent& event)>;

// ---- Control operations ------------------------------------------------------------------------
// An unknown form or control id makes every call do nothing and return 0, "", false or -1.
// Changes made through these calls send no Command to the handler.

void SetText(Form* f, int id, const std::string& text);
std::string GetText(Form* f, int id);
void SetEnabled(Form* f, int id, bool enabled);
bool IsEnabled(Form* f, int id);
void SetVisible(Form* f, int id, bool visible);
bool IsVisible(Form* f, int id);
void SetChecked(Form* f, int id, bool checked);  // check box or radio button
bool IsChecked(Form* f, int id);
void SetFocus(Form* f, int id);
// Text colour as 0xRRGGBB (the red status texts); ResetTextColor goes back to the theme's.
void SetTextColor(Form* f, int id, uint32_t rgb);
void ResetTextColor(Form* f, int id);

// List boxes and drop-down lists. Indices count from 0; -1 is "none".
int ListAdd(Form* f, int id, const std::string& text);                // index where it landed
int ListInsert(Form* f, int id, int index, const std::string& text);  // -1 appends
bool ListDelete(Form* f, int id, int index);
void ListClear(Form* f, int id);
int ListCount(Form* f, int id);
std::string ListItemText(Form* f, int id, int index);
// First item after `after` (-1: from the start, wrapping round) equal to `text` (`prefix`: starting
// with it), with or without regard to letter case. -1 when none.
int ListFind(Form* f, int id, const std::string& text, bool prefix = false, bool matchCase = false,
             int after = -1);
void ListSelect(Form* f, int id, int index);                      // -1 clears the selection
int ListSelection(Form* f, int id);                               // the current item, -1 when none
void ListSetSelected(Form* f, int id, int index, bool selected);  // multi-selection lists
std::vector<int> ListSelectedItems(Form* f, int id);

// Report lists in virtual mode: the list holds only a row count and asks `CellText` for what it
// shows, when it shows it.
struct ReportColumn {
    std::string title{};
    int width = 100;  // pixels at normal density
};
using CellText = std::function<std::string(int row, int column)>;
void ReportSetColumns(Form* f, int id, const std::vector<ReportColumn>& columns);
void ReportSetSource(Form* f, int id, CellText cells);
// Rows that stay keep their selection; the list is redrawn.
void ReportSetRowCount(Form* f, int id, int rows);
int ReportRowCount(Form* f, int id);
void ReportRedraw(Form* f, int id);  // asks again for the cells shown
void ReportEnsureVisible(Form* f, int id, int row);
void ReportSelect(Form* f, int id, int row, bool selected = true);
void ReportClearSelection(Form* f, int id);
std::vector<int> ReportSelectedRows(Form* f, int id);  // ascending
int ReportCurrentRow(Form* f, int id);                 // the focused row, -1 when none

// Timers of a form: a Timer event with `timerId` every `ms` milliseconds until killed or the
// form closes. Setting an existing timer restarts it with the new period.
void SetTimer(Form* f, int timerId, uint32_t ms);
void KillTimer(Form* f, int timerId);

// Runs a modal dialog and returns the result given to EndDialog. `owner` may be null.
int RunDialog(Form* owner, const FormTemplate& form, FormHandler handler);
void EndDialog(Form* f, int result);
const std::string& FormName(Form* f);
void SetFormCaption(Form* f, const std::string& caption);  // a dialog's window title

// ---- Other windows ---------------------------------------------------------------------------

// A modeless box with a text and no buttons ("Test in Progress"), shown until the object ends.
class NoticeBox {
  public:
    NoticeBox(Form* owner, const std::string& text, const std::string& caption = kCaption);
    ~NoticeBox();
    void SetText(const std::string& text);
    NoticeBox(const NoticeBox&) = delete;
    NoticeBox& operator=(const NoticeBox&) = delete;

  private:
    void* impl_;
};

struct FileFilter {
    std::string name{};      // "Log files"
    std::string patterns{};  // "*.log;*.txt"
};
struct OpenFileRequest {
    std::string title{};
    std::vector<FileFilter> filters{};
    std::string folder{};  // start folder; "" for the current one
};
// Asks for an existing file. False when the operator cancels.
bool ChooseFileToOpen(Form* owner, const OpenFileRequest& request, std::string* path);

}  // namespace platform
