// The support library: directories of the data root, configuration reads over the shared INI
// reader, and rights on directories. The user file (user_file.cpp), operator settings
// (operators.cpp) and GSM text (gsm7.cpp) are in the files beside this one.
#include "libs/zozeziv/zozeziv.h"

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "platform/dirs.h"
#include "platform/ini.h"

namespace {

std::mutex g_pathMutex;
std::string g_smsIni;
std::string g_mmscIni;

// Callers append file names to what they get, so a relative data root ($ZELMOSMS_ROOT=data) is
// made absolute against the working directory of the moment the path is handed out.
std::string Absolute(std::string dir) {
    if (dir.empty() || dir[0] == '/') {
        return dir;
    }
    char cwd[ZOZEZIV_MAX_PATH];
    if (!::getcwd(cwd, sizeof cwd)) {
        return {};
    }
    if (dir.rfind("./", 0) == 0) {
        dir.erase(0, 2);
    }
    std::string base = cwd;
    return base + (base.back() == '/' ? "" : "/") + dir;
}

void CopyPath(char* buffer, std::string dir) {
    dir = Absolute(std::move(dir));
    if (dir.size() >= ZOZEZIV_MAX_PATH) {
        dir.clear();
    }
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
}

void FillDirectory(char* buffer, const char* name) {
    if (buffer) {
        CopyPath(buffer, platform::DataDirectory(name));
    }
}

void SetPath(std::string& slot, const char* path) {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    slot = path ? path : "";
}

void GetString(const std::string& slot, const char* section, const char* key, const char* def,
               char* buffer, unsigned size) {
    if (!buffer || size == 0) {
        return;
    }
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_pathMutex);
        path = slot;
    }
    if (path.empty()) {
        // No file named yet: every key is missing.
        std::strncpy(buffer, def ? def : "", size - 1);
        buffer[size - 1] = '\0';
        return;
    }
    platform::IniGetProfileString(section, key, def, buffer, size, path);
}

}  // namespace

extern "C" {

void GetProgramDataDirectory(char* buffer) {
    FillDirectory(buffer, "ProgramData");
}
void GetPrivateDataDirectory(char* buffer) {
    FillDirectory(buffer, "Private");
}
void GetLogDirectory(char* buffer) {
    FillDirectory(buffer, "Logs");
}
void GetDebugLogDirectory(char* buffer) {
    FillDirectory(buffer, "Debug");
}
void GetMMSCDebugLogDirectory(char* buffer) {
    FillDirectory(buffer, "MMSCDebug");
}

void GetRealProgramDirectory(char* buffer) {
    if (buffer) {
        CopyPath(buffer, platform::ProgramDirectory());
    }
}

void SMSIniSetFilename(const char* path) {
    SetPath(g_smsIni, path);
}
void MMSCIniSetFilename(const char* path) {
    SetPath(g_mmscIni, path);
}

void SMSIniGetProfileString(const char* section, const char* key, const char* def, char* buffer,
                            unsigned size) {
    GetString(g_smsIni, section, key, def, buffer, size);
}

void MMSCIniGetProfileString(const char* section, const char* key, const char* def, char* buffer,
                             unsigned size) {
    GetString(g_mmscIni, section, key, def, buffer, size);
}

void SetZelmoSMSTrustees(const char* directory) {
    if (directory && *directory) {
        platform::GrantGatewayRights(directory);
    }
}

}  // extern "C"
