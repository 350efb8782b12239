// The desktop's own programs: opening a file with the program associated with it (xdg-open),
// started with posix_spawn and an argument vector, never a shell.
#pragma once

#include <string>

namespace platform {

// Opens `path` with the program the desktop associates with it and does not wait for it; the
// child is reaped in the background. False when xdg-open could not be started.
bool OpenWithAssociatedProgram(const std::string& path);

}  // namespace platform
