// The service operations through the systemd implementation, against a stub systemctl on the PATH
// that records its calls and plays the unit's state (active, activating, deactivating, inactive,
// or "denied": every changing call refused for lack of rights).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/clock.h"
#include "platform/service_manager.h"
#include "service/service_control.h"
#include "tests/service/service_fixture.h"

namespace {

using servicetest::ScopedEnv;
using testsupport::ReadFile;

constexpr const char* kStubSystemctl = R"(#!/bin/sh
d="$ZELMO_STUB_SYSTEMCTL"
printf '%s\n' "$*" >> "$d/calls"
read -r state < "$d/state"
if [ "$1" = show ]; then
    if [ -f "$ZELMO_STUB_UNITDIR/ZelmoSMS.service" ]; then
        echo LoadState=loaded
    else
        echo LoadState=not-found
    fi
    if [ "$state" = denied ]; then state=inactive; fi
    echo "ActiveState=$state"
    exit 0
fi
if [ "$state" = denied ]; then
    echo "Failed to $1 ZelmoSMS.service: Access denied" >&2
    exit 4
fi
if [ -f "$d/fail-$1" ]; then
    read -r code < "$d/fail-$1"
    echo "Job for ZelmoSMS.service failed." >&2
    exit "$code"
fi
exit 0
)";

class SystemdTest : public ::testing::Test {
  protected:
    SystemdTest()
        : manager_("ZELMOSMS_SERVICE_MANAGER", "systemd"),
          path_("PATH", root_.Path("path")),
          stub_("ZELMO_STUB_SYSTEMCTL", root_.Path("stub")),
          units_("ZELMO_STUB_UNITDIR", root_.Path("units")),
          clock_(time_.source) {
        for (const char* dir : {"path", "stub", "units"}) {
            ::mkdir(root_.Path(dir).c_str(), 0755);
        }
        servicetest::WriteScript(root_.Path("path/systemctl"), kStubSystemctl);
        platform::SetSystemdUnitDirectory(root_.Path("units"));
        service::SetGatewayProgramDirectory("/opt/zelmo");
        SetState("inactive");
    }
    ~SystemdTest() override {
        platform::SetSystemdUnitDirectory("");
        service::SetGatewayProgramDirectory("");
    }

    void SetState(const char* state) { root_.Write("stub/state", std::string(state) + "\n"); }
    void PutUnit() { root_.Write("units/ZelmoSMS.service", "[Unit]\n"); }
    std::string Unit() const { return root_.Read("units/ZelmoSMS.service"); }
    // The calls that change something (the queries left out), and forget them.
    std::vector<std::string> Changes() {
        std::vector<std::string> calls;
        std::string text = root_.Read("stub/calls");
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            std::string line = text.substr(pos, end - pos);
            if (line.rfind("show ", 0) != 0) {
                calls.push_back(line);
            }
            pos = end + 1;
        }
        root_.Write("stub/calls", "");
        return calls;
    }
    uint64_t Elapsed() const { return time_.Tick() - start_; }

    testsupport::TempRoot root_{true};
    ScopedEnv manager_, path_, stub_, units_;
    platform::VirtualTime time_;
    platform::ScopedClock clock_;
    uint64_t start_ = time_.Tick();
    servicetest::BoxRecorder boxes_;
};

TEST_F(SystemdTest, UnitStatesMapToActive) {
    EXPECT_EQ(service::IsSMSServiceInstalled(), 0);
    EXPECT_EQ(service::IsSMSServiceActive(), 0);
    PutUnit();
    EXPECT_EQ(service::IsSMSServiceInstalled(), 1);
    const std::pair<const char*, int> cases[] = {
        {"active", 1},   {"activating", 1}, {"deactivating", 1}, {"reloading", 1},
        {"inactive", 0}, {"failed", 0},     {"denied", 0},
    };
    for (const auto& [state, active] : cases) {
        SetState(state);
        EXPECT_EQ(service::IsSMSServiceActive(), active) << state;
    }
    EXPECT_TRUE(Changes().empty());
}

TEST_F(SystemdTest, InstallWritesTheUnitEnablesAndStartsItAndAgainOverAnExistingOne) {
    const std::vector<std::string> calls = {"daemon-reload --no-ask-password",
                                            "enable --no-ask-password ZelmoSMS.service",
                                            "start --no-block --no-ask-password ZelmoSMS.service"};
    const std::string unit =
        "[Unit]\nDescription=Zelmo SMS/MMS Gateway\n\n[Service]\nType=simple\n"
        "ExecStart=\"/opt/zelmo/smsgwnt\"\n\n[Install]\nWantedBy=multi-user.target\n";
    EXPECT_EQ(service::InstallSMSService(false), 1);
    EXPECT_EQ(Unit(), unit);
    EXPECT_EQ(Changes(), calls);

    root_.Write("units/ZelmoSMS.service", "[Unit]\nDescription=Old\n");
    EXPECT_EQ(service::InstallSMSService(false), 1);
    EXPECT_EQ(Unit(), unit);
    EXPECT_EQ(Changes(), calls);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(Elapsed(), 0u);
}

TEST_F(SystemdTest, TheUnitFileKeepsAnyPathOneWordThatExpandsNothing) {
    platform::ServiceSettings s{"ZelmoSMS", "Gateway 100%\nExecStartPre=/bin/evil",
                                "/opt/a b/\"q\"\\%h$HOME/smsgwnt"};
    EXPECT_EQ(platform::SystemdUnitText(s),
              "[Unit]\nDescription=Gateway 100%% ExecStartPre=/bin/evil\n\n[Service]\n"
              "Type=simple\nExecStart=\"/opt/a b/\\\"q\\\"\\\\%%h$$HOME/smsgwnt\"\n\n[Install]\n"
              "WantedBy=multi-user.target\n");
}

TEST_F(SystemdTest, StartEndsOnActivatingWhileStopWaitsThroughDeactivating) {
    PutUnit();
    SetState("activating");
    service::StartSMSService(false);
    EXPECT_EQ(Elapsed(), 0u);
    EXPECT_EQ(Changes(),
              std::vector<std::string>{"start --no-block --no-ask-password ZelmoSMS.service"});

    SetState("deactivating");
    service::StopSMSService(false);
    EXPECT_EQ(Elapsed(), (service::kServicePolls - 1) * 1000u);
    EXPECT_EQ(Changes(),
              std::vector<std::string>{"stop --no-block --no-ask-password ZelmoSMS.service"});

    SetState("inactive");
    start_ = time_.Tick();
    service::StopSMSService(false);
    EXPECT_EQ(Elapsed(), 0u);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(SystemdTest, ARefusedStartShowsSystemctlsStatusAndStillWaits) {
    PutUnit();
    root_.Write("stub/fail-start", "5\n");
    service::StartSMSService(false);
    ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{"Error 5 starting service"});
    EXPECT_EQ(boxes_.shown[0].icon, platform::MbIcon::Error);
    EXPECT_EQ(Elapsed(), (service::kServicePolls - 1) * 1000u);
}

TEST_F(SystemdTest, AnAccessDeniedIsMissingRights) {
    PutUnit();
    SetState("denied");
    const std::string rights =
        "Administrator rights are required for service installation or modification.";
    service::StartSMSService(true);
    service::StopSMSService(true);
    EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{rights, rights}));
    EXPECT_EQ(Elapsed(), 0u);

    // A unit directory we may not write: the manager does not open for changes at all.
    boxes_.shown.clear();
    SetState("inactive");
    ::unlink(root_.Path("units/ZelmoSMS.service").c_str());
    Changes();
    {
        servicetest::ScopedNoWrite noRights(root_.Path("units"));
        EXPECT_EQ(service::InstallSMSService(true), 0);
    }
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{
                                  "Administrator rights are required for service installation."});
    EXPECT_TRUE(Changes().empty());
    EXPECT_FALSE(root_.Exists("units/ZelmoSMS.service"));
}

TEST_F(SystemdTest, RemoveStopsDisablesAndDeletesTheUnit) {
    PutUnit();
    EXPECT_EQ(service::RemoveSMSService(false), 1);
    EXPECT_FALSE(root_.Exists("units/ZelmoSMS.service"));
    EXPECT_EQ(Changes(),
              (std::vector<std::string>{"stop --no-block --no-ask-password ZelmoSMS.service",
                                        "disable --now --no-ask-password ZelmoSMS.service",
                                        "daemon-reload --no-ask-password"}));
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(service::IsSMSServiceInstalled(), 0);
}

TEST_F(SystemdTest, WithoutSystemctlNothingIsInstalledOrActive) {
    ::unlink(root_.Path("path/systemctl").c_str());
    PutUnit();
    EXPECT_EQ(service::IsSMSServiceInstalled(), 0);
    EXPECT_EQ(service::IsSMSServiceActive(), 0);
}

}  // namespace
