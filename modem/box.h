// The message boxes of the modem engine: owner, icon and foreground as the engine shows them.
#pragma once

#include <optional>
#include <string>

#include "platform/ui/message_box.h"
#include "platform/ui/wait_cursor.h"

namespace modem {

// Shows `text` with the console's caption; a box without owner is brought to the foreground.
// The wait cursor of a running modem test (see BoxCursor) is taken away for the box and shown
// again after it.
void ShowBox(platform::Form* owner, const std::string& text, platform::MbIcon icon);

// Names the wait cursor of the modem test running on this thread (null when none).
void SetBoxCursor(std::optional<platform::WaitCursor>* cursor);
inline void ShowError(const std::string& text) {
    ShowBox(nullptr, text, platform::MbIcon::Error);
}

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace modem
