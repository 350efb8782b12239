// The modem transport: how a modem named by its connection title is opened (a serial port
// addressed directly, a telephony line that hands out the serial link of a data call, or an IP
// modem over TCP), brought to answer AT commands, and the primitives with which the modem test
// exchanges AT commands. Everything blocks the calling thread; waits run on the injectable clock.
// Failures are reported in message boxes at the point where they happen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace modem {

// ---- Program-wide settings --------------------------------------------------------------------

// The older response reader (`OldModemHandler` of section ZIZOD, read once at start-up).
void SetUseOldModemHandler(bool on);
bool UseOldModemHandler();
// The configuration file (ZIZOD.INI) from which IP modems read their connection settings.
void SetModemConfigFile(const std::string& path);
std::string ModemConfigFile();
// Set for the rest of the run once an IP modem's socket has connected: from then on writes to
// sockets go byte by byte.
bool IpModemFlag();
void SetIpModemFlag();

// ---- Names ------------------------------------------------------------------------------------

enum class ModemNameForm { DirectSerial, IpModem, TelephonyLine };
// "COM" (any case), digits, ":" and nothing after it: a serial port addressed directly; a name
// beginning "IPModem - " (any case): an IP modem; anything else: a telephony line name.
ModemNameForm ClassifyModemName(std::string_view name);

// ---- Connections ------------------------------------------------------------------------------

// An open modem. Only a connection opened through a telephony line has non-zero telephony handles.
struct ModemConnection {
    int link = -1;         // serial port, the serial link of a data call, or a TCP socket
    uint32_t lineApp = 0;  // the program's telephony instance
    uint32_t line = 0;     // telephony line
    uint32_t call = 0;     // telephony call
};

inline constexpr std::size_t kResponseSize = 500;  // at most 499 bytes of text and a zero
using ResponseBuffer = std::array<char, kResponseSize>;

// Appends the name of every telephony line that supports data-modem calls to `choices`.
void ListTelephonyModems(std::vector<std::string>& choices);

// Opens the modem `name` and brings it to answer "ATE0V1" with OK. No link on failure; the reason
// has been shown already.
ModemConnection OpenModem(const std::string& name);

// Closes in the order call (drop, wait for the reply, deallocate), line, link, instance; each step
// is skipped when its handle is zero. The connection is left empty.
void CloseModemConnection(ModemConnection& connection);

// Sets the port to `baud` and checks that the modem answers "ATE0V1\r" with OK; shows
// "Initialised modem at %u bps" when it does.
bool InitModemAtBaud(int link, uint32_t baud);
// Hang-up commands and a speed search on `portName`, then a reset and a 15 s pause. True when the
// modem on that port answered at some speed.
bool RecoverModemPort(const std::string& portName);
// Tries the reset commands; true when one was accepted.
bool ResetModem(int link);
// The port (such as "COM3") of the installed modem with this friendly name; false when none.
bool FindModemPort(const std::string& friendlyName, std::string& port);
// Returns when the telephony instance delivered its reply message or `seconds` have passed.
void WaitTelephonyReply(uint32_t lineApp, unsigned seconds);

// Sends `text` (the caller includes the "\r"). False only when the write cannot be started.
bool ModemWrite(int link, std::string_view text);
// Collects the modem's answer into `buffer` (zero-terminated) for at most `seconds`; returns the
// byte count, 0 when nothing arrived or the link cannot be read.
std::size_t ModemRead(int link, ResponseBuffer& buffer, unsigned seconds);
// True when the text holds a line feed or carriage return directly followed by "OK".
bool IsOkResponse(std::string_view text);
// Reads and discards what is pending, for at most 100 ms.
void ModemDrain(int link);

// The speeds of the direct search, fastest first.
inline constexpr uint32_t kSearchSpeeds[] = {115200, 57600, 38400, 19200, 9600, 2400};

}  // namespace modem
