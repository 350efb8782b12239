// Where things live: the data root and its directories, and the program directory.
#pragma once

#include <string>

namespace platform {

// The data root R, without a trailing "/": $ZELMOSMS_ROOT when set and not empty; else the first
// line of /etc/zelmosms/root when that file exists; else $XDG_DATA_HOME/zelmosms; else
// $HOME/.local/share/zelmosms. Read afresh on every call (tests switch roots).
std::string DataRoot();

// R + "/" + name + "/", created (with its parents) when missing. Empty when it cannot be created.
std::string DataDirectory(const std::string& name);

// The directory of the running executable (from /proc/self/exe), with a trailing "/".
std::string ProgramDirectory();

// Creates `path` and its missing parents with mode 0775; true when it exists as a directory after.
bool MakeDirectories(const std::string& path);

// Gives a directory the rights the gateway's services and users need: group-writable with the
// set-group-id bit (2775), and the group "zelmosms" when that group exists. Failures are silent.
void GrantGatewayRights(const std::string& directory);

}  // namespace platform
