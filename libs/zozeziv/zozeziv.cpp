// The support library: directories of the data root, configuration reads over the shared INI
// reader, and rights on directories. The user file, operator settings and GSM text are in the
// files beside this one.
#include "libs/zozeziv/zozeziv.h"

#include <cstring>
#include <mutex>
#include <string>

#include "platform/dirs.h"
#include "platform/ini.h"

namespace {

std::mutex g_pathMutex;
std::string g_smsIni;
std::string g_mmscIni;

void FillDirectory(char* buffer, const char* name) {
    if (!buffer) {
        return;
    }
    std::string dir = platform::DataDirectory(name);
    if (dir.size() >= ZOZEZIV_MAX_PATH) {
        dir.clear();
    }
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
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
    if (!buffer) {
        return;
    }
    std::string dir = platform::ProgramDirectory();
    if (dir.size() >= ZOZEZIV_MAX_PATH) {
        dir.clear();
    }
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
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
