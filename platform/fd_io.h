// Whole reads and writes on a file descriptor, retrying short transfers and interruptions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Appends everything from the descriptor's current offset to its end to `out` (cleared first).
// False on a read error; `out` then holds what was read before it.
bool ReadAllFd(int fd, std::string* out);

// Reads up to `size` bytes from the start of the file (pread: the descriptor's offset stays).
// Returns the bytes read; fewer when the file is shorter or a read fails.
std::size_t ReadFromStart(int fd, void* buffer, std::size_t size);

// Writes all of `data`. False when the descriptor refuses more (disk full, closed pipe ...).
bool WriteAllFd(int fd, std::string_view data);

}  // namespace platform
