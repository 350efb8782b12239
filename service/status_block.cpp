// Opening and reading the services' status blocks.
#include "service/status_block.h"

namespace service {
namespace {

std::optional<platform::SharedMemory> OpenEither(const char* name, const char* globalName) {
    if (auto view = platform::SharedMemory::Open(name)) {
        return view;
    }
    return platform::SharedMemory::Open(globalName);
}

}  // namespace

std::optional<GatewayStatusBlock> OpenGatewayStatusBlock() {
    auto view = OpenEither("ZELMO_ZIZOD_ShMem", "Global\\ZELMO_ZIZOD_ShMem");
    if (!view) {
        return std::nullopt;
    }
    return GatewayStatusBlock{std::move(*view)};
}

std::optional<MmscStatusBlock> OpenMmscStatusBlock() {
    auto view = OpenEither("ZELMO_MMSC_ShMem", "Global\\ZELMO_MMSC_ShMem");
    if (!view) {
        return std::nullopt;
    }
    return MmscStatusBlock{std::move(*view)};
}

std::optional<GatewayStatus> ReadGatewayStatus() {
    auto block = OpenGatewayStatusBlock();
    if (!block) {
        return std::nullopt;
    }
    return GatewayStatus{block->stopRequested(), block->webPortInUse(), block->smppServerActive(),
                         block->smppPortInUse()};
}

std::optional<MmscStatus> ReadMmscStatus() {
    auto block = OpenMmscStatusBlock();
    if (!block) {
        return std::nullopt;
    }
    return MmscStatus{block->httpPortInUse(), block->smtpPortInUse()};
}

bool SignalGatewayStop() {
    auto block = OpenGatewayStatusBlock();
    return block && block->RequestStop();
}

}  // namespace service
