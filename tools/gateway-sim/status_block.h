// The gateway simulator's side of the two status blocks: it creates and fills the named shared
// memory that the running services publish and the console opens. Only the bytes the console
// reads are set; byte 0 of the gateway's block is the console's stop request. The offsets are
// those of service/status_block.h, which the console reads by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "service/status_block.h"

namespace gatewaysim {

// Byte offsets: the console's own definition of the two blocks.
inline constexpr std::size_t kStopRequested = service::GatewayStatusBlock::kStopRequested;
inline constexpr std::size_t kWebPortInUse = service::GatewayStatusBlock::kWebPortInUse;
inline constexpr std::size_t kSmppServerActive = service::GatewayStatusBlock::kSmppServerActive;
inline constexpr std::size_t kSmppPortInUse = service::GatewayStatusBlock::kSmppPortInUse;
inline constexpr std::size_t kHttpPortInUse = service::MmscStatusBlock::kHttpPortInUse;
inline constexpr std::size_t kSmtpPortInUse = service::MmscStatusBlock::kSmtpPortInUse;

inline constexpr char kGatewayBlockName[] = "ZELMO_ZIZOD_ShMem";
inline constexpr char kMmscBlockName[] = "ZELMO_MMSC_ShMem";
inline constexpr std::size_t kBlockSize = 1024;

// The POSIX object name of a block, by the rule the console opens blocks by
// (platform::SharedMemoryObjectName: "/" + $ZELMOSMS_SHM_PREFIX when set + name).
std::string BlockObjectName(const std::string& name);

// A block this process created; unlinked and unmapped when the object ends.
class OwnedBlock {
  public:
    OwnedBlock() = default;
    ~OwnedBlock();
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;

    // Creates (or takes over a stale) block of kBlockSize zero bytes. False when it cannot.
    bool Create(const std::string& name);
    bool IsOpen() const { return data_ != nullptr; }
    uint8_t Read(std::size_t offset) const;
    void Write(std::size_t offset, uint8_t value);
    // Unmaps and removes the name, so the console no longer finds the block.
    void Remove();

  private:
    volatile uint8_t* data_ = nullptr;
    std::string object_;
};

}  // namespace gatewaysim
