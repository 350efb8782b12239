// Setting a control's text only when it changes, for the pages that refresh themselves
// periodically. The rule works on two small hooks, so that it does not depend on the windowing
// layer; pages use the form overload below, which binds them to a control of the UI API.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/form.h"

namespace monitor {

struct TextControl {
    std::string (*getText)(void* ctx);                  // the control's whole current text
    void (*setText)(void* ctx, std::string_view text);  // replaces it
    void* ctx;
};

// Sets `text` unless the control already shows it (letter case ignored). Returns 1 when the text
// was replaced, 0 when it was already equal; the caller repaints on 1 when a colour follows it.
int SetTextIfChanged(const TextControl& control, std::string_view text);

// The same for control `id` of a form (a page's label). Defined here, inline, so that only the
// pages that call it link the windowing backend.
inline int SetTextIfChanged(platform::Form* form, int id, std::string_view text) {
    struct Target {
        platform::Form* form;
        int id;
    } target{form, id};
    TextControl control{[](void* ctx) {
                            auto* t = static_cast<Target*>(ctx);
                            return platform::GetText(t->form, t->id);
                        },
                        [](void* ctx, std::string_view value) {
                            auto* t = static_cast<Target*>(ctx);
                            platform::SetText(t->form, t->id, std::string(value));
                        },
                        &target};
    return SetTextIfChanged(control, text);
}

}  // namespace monitor
