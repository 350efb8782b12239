// The status blocks the running services publish in named shared memory. The console opens a
// block for one access and closes it at once; it never creates one. Of the gateway's block it
// writes only the first byte (the stop request); everything else it only reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/shm.h"

namespace service {

// The gateway service's block, "ZELMO_ZIZOD_ShMem" (else "Global\ZELMO_ZIZOD_ShMem").
struct GatewayStatusBlock {
    static constexpr std::size_t kStopRequested = 0;
    static constexpr std::size_t kWebPortInUse = 2;
    static constexpr std::size_t kSmppServerActive = 3;
    static constexpr std::size_t kSmppPortInUse = 4;

    platform::SharedMemory view;

    bool stopRequested() const { return view.ReadByte(kStopRequested) != 0; }
    bool webPortInUse() const { return view.ReadByte(kWebPortInUse) != 0; }
    bool smppServerActive() const { return view.ReadByte(kSmppServerActive) != 0; }
    bool smppPortInUse() const { return view.ReadByte(kSmppPortInUse) != 0; }
    // Writes 1 into the first byte: the request to the service to stop.
    bool RequestStop() { return view.WriteByte(kStopRequested, 1); }
};

// The MMSC service's block, "ZELMO_MMSC_ShMem" (else "Global\ZELMO_MMSC_ShMem").
struct MmscStatusBlock {
    static constexpr std::size_t kHttpPortInUse = 2;
    static constexpr std::size_t kSmtpPortInUse = 6;

    platform::SharedMemory view;

    bool httpPortInUse() const { return view.ReadByte(kHttpPortInUse) != 0; }
    bool smtpPortInUse() const { return view.ReadByte(kSmtpPortInUse) != 0; }
};

// Open the block under its plain name, else under the global name. Nothing when neither exists
// or the view cannot be mapped. The view ends with the returned object: keep it for one access.
std::optional<GatewayStatusBlock> OpenGatewayStatusBlock();
std::optional<MmscStatusBlock> OpenMmscStatusBlock();

// The bytes of one look at a block, for pages that poll.
struct GatewayStatus {
    bool stopRequested = false;
    bool webPortInUse = false;
    bool smppServerActive = false;
    bool smppPortInUse = false;
};
struct MmscStatus {
    bool httpPortInUse = false;
    bool smtpPortInUse = false;
};
std::optional<GatewayStatus> ReadGatewayStatus();
std::optional<MmscStatus> ReadMmscStatus();

// The stop signal: when the gateway's block exists, writes 1 into its first byte. False when
// there is no block (then nothing is signalled).
bool SignalGatewayStop();

}  // namespace service
