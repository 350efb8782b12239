// The SMS capability test of a modem: open it, bring it to full functionality and network
// registration, unlock the SIM, set echo and result format, select the SMS service and message
// format, and start (then abort) the send command, so that no message leaves the modem. Every
// problem is reported in a message box of its own.
#pragma once

#include <string>

#include "platform/ui/message_box.h"

namespace modem {

// 1 when the modem passed, 0 otherwise; all messages have been shown and nothing is left open.
int TestModem(platform::Form* owner, const std::string& name, const std::string& pin);

// True when the modem reported a functionality level other than 1 and then accepted
// "AT+CFUN=1\r".
bool EnsureFullFunctionality(int link);
// True when the modem is registered with an operator (up to 18 queries 5 s apart) and its message
// storage answers without "+CMS ERROR" (up to 10 queries 2 s apart).
bool WaitForNetwork(int link);

}  // namespace modem
