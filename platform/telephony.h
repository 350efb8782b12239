// Telephony lines: the host's line devices that hand out the serial link of a data call, and the
// modem device registry (friendly name to attached port). The modem engine reaches them through a
// table of entry points, so that a scripted provider can stand in for tests.
//
// The Linux provider lists the links under /dev/serial/by-id/ (or the directory named by
// $ZELMOSMS_SERIAL_BY_ID) as lines that support data-modem calls, each named by its link name; a
// data call opens the serial device; the registry maps the same link names to the port names of
// the COMn port map (platform/serial_port.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Media mode bits and results, with the values the console reports in its messages.
inline constexpr uint32_t kLineMediaInteractiveVoice = 0x00000004;
inline constexpr uint32_t kLineMediaDataModem = 0x00000010;
inline constexpr long kLineErrNoDevice = static_cast<long>(static_cast<int32_t>(0x80000036u));
inline constexpr long kLineErrOperationFailed =
    static_cast<long>(static_cast<int32_t>(0x80000048u));
inline constexpr long kLineErrResourceUnavail =
    static_cast<long>(static_cast<int32_t>(0x80000047u));
inline constexpr long kLineErrStructureTooSmall =
    static_cast<long>(static_cast<int32_t>(0x8000004Du));
inline constexpr long kLineErrIncompatibleApiVersion =
    static_cast<long>(static_cast<int32_t>(0x8000003Cu));
inline constexpr long kLineErrReinit = static_cast<long>(static_cast<int32_t>(0x80000052u));
// Message kinds delivered by `getMessage`.
inline constexpr uint32_t kLineReply = 12;
inline constexpr uint32_t kLineCallState = 2;
// Interface versions: 1.3 and 2.2.
inline constexpr uint32_t kApiVersion13 = 0x00010003;
inline constexpr uint32_t kApiVersion22 = 0x00020002;

// The part of a line's capability record the console reads.
struct LineDevCaps {
    std::string lineName;
    uint32_t mediaModes = 0;
};

// One installed modem of the device registry.
struct RegistryModem {
    std::string friendlyName;
    std::string attachedTo;  // port name such as "COM3"; may be empty
};

// Results are 0 for success or a negative error code unless said otherwise. Handles are non-zero.
struct TelephonyProvider {
    long (*initialize)(void* ctx, const char* appName, uint32_t* lineApp, uint32_t* deviceCount);
    long (*negotiateVersion)(void* ctx, uint32_t lineApp, uint32_t device, uint32_t low,
                             uint32_t high, uint32_t* version);
    // Fills `caps` when `bufferSize` holds the whole record. Answers kLineErrStructureTooSmall
    // when the buffer cannot even hold the fixed part; answers 0 with `neededSize` larger than
    // `bufferSize` when only the variable part did not fit (then `caps` is not filled).
    long (*getDevCaps)(void* ctx, uint32_t lineApp, uint32_t device, uint32_t version,
                       uint32_t bufferSize, uint32_t* neededSize, LineDevCaps* caps);
    long (*open)(void* ctx, uint32_t lineApp, uint32_t device, uint32_t version,
                 uint32_t mediaModes, uint32_t* line);
    // The line's port name ("comm/datamodem/portname").
    long (*getPortName)(void* ctx, uint32_t line, std::string* portName);
    // Places a data call: a positive request id (a reply message follows) or a negative error.
    // `call` receives the call handle, or 0 when the provider delivered none.
    long (*makeCall)(void* ctx, uint32_t line, uint32_t* call);
    // The serial link of a call ("comm/datamodem"); the caller owns and closes it.
    long (*getCallLink)(void* ctx, uint32_t call, int* link);
    long (*drop)(void* ctx, uint32_t call);
    long (*deallocate)(void* ctx, uint32_t call);
    long (*close)(void* ctx, uint32_t line);
    long (*shutdown)(void* ctx, uint32_t lineApp);
    // The next message of `lineApp`, waiting at most `timeoutMs` (on the injectable clock); 0 and
    // `kind` filled when one was fetched.
    long (*getMessage)(void* ctx, uint32_t lineApp, uint32_t timeoutMs, uint32_t* kind);
    // The modem device class of the registry; false when it cannot be opened.
    bool (*registryModems)(void* ctx, std::vector<RegistryModem>* modems);
    void* ctx;
};

// The provider in use: the Linux provider unless another was installed.
const TelephonyProvider& Telephony();
const TelephonyProvider& LinuxTelephony();
// Installs a provider (null restores the Linux one); the caller keeps it alive while installed.
void SetTelephonyProvider(const TelephonyProvider* provider);

// A scripted provider for tests and demos: lines with their failures, registry entries, and a
// count of what is open so that a test can check that everything was given back.
class ScriptedTelephony {
  public:
    struct Line {
        std::string name;
        uint32_t mediaModes = kLineMediaDataModem;
        std::string portName;       // answered to the port-name query; "" = the query fails
        std::string device;         // the serial port (name or path) a data call opens
        long openError = 0;         // non-zero: open is refused with this error
        long callError = 0;         // non-zero (negative): the call is refused
        bool noCallHandle = false;  // the call is placed but no handle is delivered
        bool noLink = false;        // the call has no link to hand out
        uint32_t capsNeeded = 0;    // size of the capability record (0: fits the first buffer)
    };
    ScriptedTelephony();
    ~ScriptedTelephony();
    ScriptedTelephony(const ScriptedTelephony&) = delete;
    ScriptedTelephony& operator=(const ScriptedTelephony&) = delete;

    std::vector<Line> lines;
    std::vector<RegistryModem> registry;
    long initializeError = 0;
    bool sendReplies = true;  // deliver the reply message after a call
    // Re-read lines and registry from the host's by-id links at every initialize (the Linux
    // provider is such an engine).
    bool readHostDevices = false;

    const TelephonyProvider& provider() const { return table_; }
    // What is open now: instances, lines, calls, links handed out but not yet taken.
    int OpenInstances() const;
    int OpenLines() const;
    int OpenCalls() const;
    // Line opens attempted, per line name, in order.
    std::vector<std::string> openAttempts() const;

    struct State;

  private:
    TelephonyProvider table_;
    std::unique_ptr<State> state_;
};

}  // namespace platform
