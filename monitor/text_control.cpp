// The change-only text update of monitor/text_control.h.
#include "monitor/text_control.h"

#include "config/text.h"

namespace monitor {

int SetTextIfChanged(const TextControl& control, std::string_view text) {
    // The whole current text is compared: a text longer than a 499-character read
    // would otherwise count as changed on every refresh.
    if (config::EqualNoCase(control.getText(control.ctx), text)) {
        return 0;
    }
    control.setText(control.ctx, text);
    return 1;
}

}  // namespace monitor
