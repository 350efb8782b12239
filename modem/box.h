// The message boxes of the modem engine: owner, icon and foreground as the engine shows them.
#pragma once

#include <string>

#include "platform/ui/message_box.h"

namespace modem {

// Shows `text` with the console's caption; a box without owner is brought to the foreground.
inline void ShowBox(platform::Form* owner, const std::string& text, platform::MbIcon icon) {
    platform::MessageBoxRequest r;
    r.owner = owner;
    r.text = text;
    r.icon = icon;
    r.foreground = owner == nullptr;
    platform::ShowMessageBox(r);
}
inline void ShowError(const std::string& text) {
    ShowBox(nullptr, text, platform::MbIcon::Error);
}

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace modem
