// The serial-port adapter underneath the modem engine: COMn names and the port map, definition
// texts, the exclusive hold, and the Linux telephony provider over by-id links.
#include <gtest/gtest.h>
#include <unistd.h>

#include "modem/modem.h"
#include "modem_env.h"
#include "platform/serial_port.h"
#include "platform/telephony.h"

namespace {

TEST(SerialNames, ComPortNumbers) {
    struct Case {
        const char* name;
        int number;  // -1: not a COM name
    } cases[] = {
        {"COM3", 3},   {"com3:", 3},   {"\\\\.\\COM12", 12}, {"COM", -1},
        {"COM3x", -1}, {"COM3::", -1}, {"/dev/ttyS0", -1},   {"", -1},
    };
    for (const auto& c : cases) {
        auto n = platform::ComPortNumber(c.name);
        EXPECT_EQ(n ? static_cast<int>(*n) : -1, c.number) << c.name;
    }
}

TEST(SerialNames, PortMapFromLinksFileOrDefault) {
    testsupport::TempRoot root(true);
    unsetenv("ZELMOSMS_COMPORTS");
    EXPECT_EQ(platform::ComPortDevice(1), "/dev/ttyS0");
    EXPECT_EQ(platform::PortNameForDevice("/dev/ttyS4"), "COM5");
    root.Write("ProgramData/COMPORTS.INI", "[Ports]\r\nCOM7=/dev/ttyUSB0\r\n");
    EXPECT_EQ(platform::ComPortDevice(7), "/dev/ttyUSB0");
    EXPECT_EQ(platform::PortNameForDevice("/dev/ttyUSB0"), "COM7");
    testsupport::TempRoot links;
    setenv("ZELMOSMS_COMPORTS", links.path().c_str(), 1);
    EXPECT_EQ(platform::ComPortDevice(7), links.Path("COM7"));
    unsetenv("ZELMOSMS_COMPORTS");
}

TEST(SerialNames, DefinitionTexts) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t baud;
    } cases[] = {
        {"baud=9600 parity=N data=8 stop=1", true, 9600},
        {"baud=115200 parity=N data=8 stop=1", true, 115200},
        {"baud=2400", true, 2400},
        {"baud=12345 parity=N data=8 stop=1", false, 0},
        {"baud=9600 parity=X", false, 0},
        {"speed=9600", false, 0},
        {"baud=", false, 0},
    };
    for (const auto& c : cases) {
        platform::SerialState s;
        s.baud = 1200;
        EXPECT_EQ(platform::ApplyCommDefinition(&s, c.text), c.ok) << c.text;
        EXPECT_EQ(s.baud, c.ok ? c.baud : 1200u) << c.text;
    }
}

TEST(SerialPort, SecondOpenIsRefusedUntilTheFirstCloses) {
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartSerial());
    platform::SystemError error;
    int a = platform::SerialOpen(sim.devicePath(), &error);
    ASSERT_GE(a, 0);
    EXPECT_EQ(platform::SerialOpen(sim.devicePath(), &error), -1);
    EXPECT_EQ(error.code, platform::kErrorAccessDenied);
    EXPECT_FALSE(error.text.empty());
    platform::LinkClose(a);
    int b = platform::SerialOpen(sim.devicePath(), &error);
    EXPECT_GE(b, 0);
    platform::LinkClose(b);
    EXPECT_EQ(platform::SerialOpen("/dev/null", &error), -1);  // not a serial device
}

class HostLines : public modemtest::ModemEnv {};

TEST_F(HostLines, ByIdLinksAreDataModemLinesWithTheirPorts) {
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartSerial());
    LinkCom(5, sim);
    testsupport::TempRoot byId;
    std::string link = byId.Path("usb-Zelmo_GSM_Modem-if00");
    ASSERT_EQ(symlink(sim.devicePath().c_str(), link.c_str()), 0);
    setenv("ZELMOSMS_SERIAL_BY_ID", byId.path().c_str(), 1);
    std::vector<std::string> choices;
    modem::ListTelephonyModems(choices);
    EXPECT_EQ(choices, std::vector<std::string>{"usb-Zelmo_GSM_Modem-if00"});
    std::string port;
    EXPECT_TRUE(modem::FindModemPort("USB-ZELMO_GSM_MODEM-IF00", port));
    EXPECT_EQ(port, "COM5");
    int before = testsupport::OpenDescriptorCount();
    modem::ModemConnection c = modem::OpenModem("usb-Zelmo_GSM_Modem-if00");
    EXPECT_GE(c.link, 0);
    EXPECT_NE(c.call, 0u);
    modem::CloseModemConnection(c);
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
    unsetenv("ZELMOSMS_SERIAL_BY_ID");
}

}  // namespace
