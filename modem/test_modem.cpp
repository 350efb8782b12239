// The modem test: the fixed sequence of AT commands that a modem must pass to be used for SMS.
#include "modem/test_modem.h"

#include <optional>
#include <string_view>

#include "config/text.h"
#include "modem/box.h"
#include "modem/modem.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/ui/wait_cursor.h"

namespace modem {
namespace {

constexpr std::size_t kMessageMax = 500;

enum class Outcome { NotStarted, NoAnswer, Answered };

// One AT exchange; `response` holds the answer and `count` its length.
struct Exchange {
    int link;
    ResponseBuffer response{};
    std::size_t count = 0;

    Outcome Run(std::string_view command, unsigned seconds) {
        count = 0;
        response.fill('\0');
        if (!ModemWrite(link, command)) {
            return Outcome::NotStarted;
        }
        count = ModemRead(link, response, seconds);
        return count == 0 ? Outcome::NoAnswer : Outcome::Answered;
    }
    std::string_view Bytes() const { return std::string_view(response.data(), count); }
    bool Ok() const { return IsOkResponse(Bytes()); }
    // The answer as text for a message.
    std::string_view Text() const { return std::string_view(response.data()); }
};

// The part of `text` after `pattern`, blanks skipped; nothing when absent.
std::optional<std::string_view> After(std::string_view text, std::string_view pattern) {
    std::size_t at = text.find(pattern);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return config::SkipBlanks(text.substr(at + pattern.size()));
}

// A PIN goes into the command between double quotes: it ends at a quote or a control character,
// so that it can never carry a further command.
std::string SafePin(const std::string& pin) {
    std::string s;
    for (char c : pin) {
        if (c == '"' || static_cast<unsigned char>(c) < 32) {
            break;
        }
        s += c;
    }
    return s;
}

}  // namespace

bool EnsureFullFunctionality(int link) {
    Exchange x{link};
    if (x.Run("AT+CFUN?\r", 10) != Outcome::Answered) {
        return false;
    }
    auto level = After(x.Bytes(), "+CFUN:");
    if (!level || (!level->empty() && (*level)[0] == '1')) {
        return false;
    }
    return x.Run("AT+CFUN=1\r", 10) == Outcome::Answered && x.Ok();
}

bool WaitForNetwork(int link) {
    EnsureFullFunctionality(link);
    Exchange x{link};
    bool registered = false;
    for (int attempt = 1; attempt <= 18 && !registered; ++attempt) {
        if (x.Run("AT+COPS?\r", 10) != Outcome::Answered) {
            return false;
        }
        auto rest = After(x.Bytes(), "+COPS:");
        if (!rest) {
            continue;
        }
        std::size_t i = 0;
        while (i < rest->size() && (*rest)[i] >= '0' && (*rest)[i] <= '9') {
            ++i;
        }
        std::string_view next = config::SkipBlanks(rest->substr(i));
        if (!next.empty() && next[0] == ',') {
            registered = true;
        } else if (attempt < 18) {
            platform::SleepMs(5000);
        }
    }
    if (!registered) {
        return false;
    }
    for (int attempt = 1; attempt <= 10; ++attempt) {
        if (x.Run("AT+CPMS?\r", 10) != Outcome::Answered) {
            return false;
        }
        if (x.Bytes().find("+CMS ERROR") == std::string_view::npos) {
            return true;
        }
        if (attempt < 10) {
            platform::SleepMs(2000);
        }
    }
    return false;
}

int TestModem(platform::Form* owner, const std::string& name, const std::string& pin) {
    std::optional<platform::WaitCursor> cursor;
    cursor.emplace();
    SetBoxCursor(&cursor);
    struct Forget {
        ~Forget() { SetBoxCursor(nullptr); }
    } forget;
    ModemConnection connection = OpenModem(name);
    if (connection.link < 0) {
        cursor.reset();
        ShowBox(owner,
                "Unable to access modem, ensure that it is powered on and passes diagnostic "
                "tests.",
                platform::MbIcon::Error);
        return 0;
    }
    const int link = connection.link;
    // Serial links only; a socket has no port time-outs.
    platform::SerialSetTimeouts(link, platform::SerialTimeouts{200, 1000, 15000});

    auto fail = [&](const std::string& text) {
        cursor.reset();
        ShowBox(owner, text, platform::MbIcon::Error);
        CloseModemConnection(connection);
        return 0;
    };
    auto quote = [](std::string head, std::string_view answer) {
        config::AppendBounded(head, answer, kMessageMax);
        return head;
    };

    if (EnsureFullFunctionality(link)) {
        WaitForNetwork(link);
    }
    Exchange x{link};

    // PIN.
    if (!pin.empty()) {
        x.Run("AT+CPIN?\r", 5);
        if (!config::FindNoCase(x.Text(), "READY")) {
            std::string command = "AT+CPIN=\"" + SafePin(pin) + "\"\r";
            if (ModemWrite(link, command)) {
                x.count = ModemRead(link, x.response, 30);
                if (!x.Ok()) {
                    return fail(quote("Invalid PIN --\r\n\r\n", x.Text()));
                }
                x.Run("AT+CPIN?\r", 25);
            }
        }
    }

    // Echo and result format, twice.
    switch (x.Run("ATE0V1\r", 30)) {
        case Outcome::NotStarted:
            return fail("Unable to send initialization command to modem");
        case Outcome::NoAnswer:
            return fail("Error waiting for initialization response from modem");
        case Outcome::Answered:
            if (!x.Ok()) {
                return fail(quote("Error initializing modem --\r\n\r\n", x.Text()));
            }
    }
    switch (x.Run("ATE0V1\r", 30)) {
        case Outcome::NotStarted:
            return fail("Unable to send initial command to modem");
        case Outcome::NoAnswer:
            return fail("Error waiting for initial response from modem");
        case Outcome::Answered:
            if (!x.Ok()) {
                return fail(quote("Error initialising modem --\r\n\r\n", x.Text()));
            }
    }

    // SMS service selection; never fails the test.
    bool selected = false;
    for (const char* command : {"AT+CSMS=0\r", "AT+CSMS=128\r"}) {
        switch (x.Run(command, 30)) {
            case Outcome::NotStarted:
                return fail("Unable to send SMS initialization command to modem");
            case Outcome::NoAnswer:
                return fail("Error waiting for SMS initialization response from modem");
            case Outcome::Answered:
                selected = x.Ok();
        }
        if (selected) {
            break;
        }
    }
    if (!selected && EnsureFullFunctionality(link)) {
        WaitForNetwork(link);
        for (int attempt = 0; attempt < 8; ++attempt) {
            platform::SleepMs(5000);
            if (x.Run("AT+CSMS=0\r", 30) == Outcome::Answered && x.Ok()) {
                break;
            }
            if (x.Run("AT+CSMS=128\r", 30) == Outcome::Answered && x.Ok()) {
                break;
            }
            if (x.Run("AT+CSMS?\r", 30) == Outcome::Answered && x.Ok() &&
                config::FindNoCase(x.Bytes(), "+CSMS:")) {
                break;
            }
        }
    }

    // Message format: PDU mode, else text mode.
    bool pdu = false;
    switch (x.Run("AT+CMGF=0\r", 30)) {
        case Outcome::NotStarted:
            return fail("Unable to send SMS PDU mode initialization command to modem");
        case Outcome::NoAnswer:
            return fail("Error waiting for SMS PDU mode initialization response from modem");
        case Outcome::Answered:
            pdu = x.Ok();
    }
    if (!pdu) {
        switch (x.Run("AT+CMGF=1\r", 30)) {
            case Outcome::NotStarted:
                cursor.reset();
                ShowBox(owner, "Unable to send SMS text mode initialization command to modem",
                        platform::MbIcon::Error);
                cursor.emplace();
                break;
            case Outcome::NoAnswer:
                cursor.reset();
                ShowBox(owner, "Error waiting for SMS text mode initialization response from modem",
                        platform::MbIcon::Error);
                cursor.emplace();
                break;
            case Outcome::Answered:
                break;
        }
    }

    // The send command: started, then aborted.
    if (!ModemWrite(link, pdu ? "AT+CMGS=86\r" : "AT+CMGS=\"123456789\"\r")) {
        return fail("Unable to send SMS message command to modem");
    }
    x.count = ModemRead(link, x.response, 5);
    if (x.count != 0 && (x.Ok() || x.Bytes().find("ERROR") != std::string_view::npos)) {
        return fail(pdu ? "Modem does not properly support command for sending SMS (AT+CMGS - PDU "
                          "mode)"
                        : "Modem does not properly support command for sending SMS (AT+CMGS - "
                          "text mode)");
    }
    ModemWrite(link, "\x1b");
    platform::SleepMs(100);
    ModemWrite(link, "\r");
    platform::SleepMs(100);
    x.Run("AT\r", 5);
    cursor.reset();
    ShowBox(owner, "Modem successfully tested!", platform::MbIcon::Information);
    CloseModemConnection(connection);
    return 1;
}

}  // namespace modem
