// Setting a control's text only when it changes, for the pages that refresh themselves
// periodically. A control is reached through two small hooks, so that this rule does not depend on
// the windowing layer; the page binds them to its label.
#pragma once

#include <string>
#include <string_view>

namespace monitor {

struct TextControl {
    std::string (*getText)(void* ctx);                  // the control's whole current text
    void (*setText)(void* ctx, std::string_view text);  // replaces it
    void* ctx;
};

// Sets `text` unless the control already shows it (letter case ignored). Returns 1 when the text
// was replaced, 0 when it was already equal; the caller repaints on 1 when a colour follows it.
int SetTextIfChanged(const TextControl& control, std::string_view text);

}  // namespace monitor
