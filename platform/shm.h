// Named shared-memory blocks published by the gateway's services, opened by the console for one
// access at a time. The console never creates a block: it opens an existing one read-write, maps
// its whole size and lets go of it as soon as the access is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The POSIX object name for a block name: "X" is "/X" and "Global\X" is "/Global.X". When the
// environment variable ZELMOSMS_SHM_PREFIX is set, its value goes in front of the name ("/" +
// prefix + ...), so that tests and simulators running side by side keep their blocks apart.
// Empty when the name cannot be an object name (empty, or holding "/" or a NUL).
std::string SharedMemoryObjectName(std::string_view name);

// One mapped view of a block. The mapping ends with the object (or with Close()); the descriptor
// is closed right after mapping.
class SharedMemory {
  public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Opens the existing block `name` (see SharedMemoryObjectName) read-write and maps it whole.
    // Nothing when no such block exists, it is empty, or it cannot be mapped.
    static std::optional<SharedMemory> Open(std::string_view name);

    std::size_t size() const { return size_; }
    // One byte at `offset`; 0 when the block is shorter. Other processes write the block without
    // locks, so every access is a single byte read or written whole.
    uint8_t ReadByte(std::size_t offset) const;
    // False when the block is shorter than `offset + 1`.
    bool WriteByte(std::size_t offset, uint8_t value);
    void Close();

  private:
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform
