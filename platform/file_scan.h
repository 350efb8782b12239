// Directory listings and short reads of files that another process (the gateway service) writes.
// Readers here take no lock, so they never hold up the writer; what a listing or read meets
// half-way through a change (a file that vanishes, a link that dangles) gives a defined result.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

enum class EntryType { kFile, kDirectory, kOther };

// Calls `fn(name, type)` for every entry of `directory` (with or without a trailing "/"), "." and
// ".." included. Links are followed: a link to a regular file is kFile, to a directory kDirectory;
// a dangling link, an entry that vanished meanwhile, a device, pipe or socket is kOther. Returns
// false, listing nothing, when the directory cannot be opened.
bool ListDirectory(const std::string& directory,
                   const std::function<void(std::string_view name, EntryType type)>& fn);

// Reads at most `maxBytes` bytes from the start of the regular file `path` into `out`, read-only
// and without a lock. False (and `out` empty) when the path is missing, not a regular file or
// cannot be opened; a read error after the open keeps what was read before it.
bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string* out);

// True when `path` names a directory (links followed).
bool IsDirectory(const std::string& path);

}  // namespace platform
