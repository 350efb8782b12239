// The choice of service manager, and the systemd implementation: a unit file in the unit directory
// and systemctl, started without a shell, for everything else.
#include "platform/service_manager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/spawn.h"

namespace platform {
namespace {

constexpr const char* kDefaultUnitDirectory = "/etc/systemd/system";
constexpr uint32_t kSystemctlTimeoutMs = 30000;

std::mutex g_unitDirMutex;
std::string g_unitDir;

std::string UnitName(const std::string& service) {
    return service + ".service";
}

bool ValidServiceName(const std::string& service) {
    return !service.empty() && service.find('/') == std::string::npos && service != "." &&
           service != ".." && service.find('\0') == std::string::npos && service[0] != '-';
}

bool ContainsNoCase(const std::string& text, std::string_view what) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = 0; i + what.size() <= text.size(); ++i) {
        std::size_t j = 0;
        while (j < what.size() && lower(text[i + j]) == lower(what[j])) {
            ++j;
        }
        if (j == what.size()) {
            return true;
        }
    }
    return false;
}

// Runs "systemctl ARGS..." and turns the outcome into an error code: 0, EACCES for a refusal for
// lack of rights (exit status 4 or the manager's "access denied" / "authentication required"
// wording), the errno when systemctl cannot be started, else its exit status.
uint32_t Systemctl(std::vector<std::string> args, std::string* output = nullptr) {
    args.insert(args.begin(), "systemctl");
    SpawnOptions options;
    options.searchPath = true;
    std::string out;
    int error = 0;
    int status = RunCaptured(args, options, kSystemctlTimeoutMs, &out, &error);
    if (output) {
        *output = out;
    }
    if (status < 0) {
        return static_cast<uint32_t>(error ? error : EIO);
    }
    if (status == 0) {
        return 0;
    }
    if (status == 4 || ContainsNoCase(out, "access denied") ||
        ContainsNoCase(out, "authentication required")) {
        return EACCES;
    }
    return static_cast<uint32_t>(status);
}

// The value of `property` in "Key=Value" lines of systemctl show.
std::string ShowValue(const std::string& text, std::string_view property) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        if (line.size() > property.size() && line.compare(0, property.size(), property) == 0 &&
            line[property.size()] == '=') {
            std::string value = line.substr(property.size() + 1);
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
                value.pop_back();
            }
            return value;
        }
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    return {};
}

// LoadState and ActiveState of the unit; false when systemctl could not tell.
bool ShowUnit(const std::string& service, std::string* load, std::string* active) {
    std::string out;
    if (Systemctl({"show", "--property=LoadState", "--property=ActiveState", UnitName(service)},
                  &out) != 0) {
        return false;
    }
    *load = ShowValue(out, "LoadState");
    *active = ShowValue(out, "ActiveState");
    return !load->empty();
}

bool SdInstalled(const std::string& service) {
    std::string load, active;
    return ValidServiceName(service) && ShowUnit(service, &load, &active) && load == "loaded";
}

uint32_t SdOpenManager() {
    return DirectoryWritable(SystemdUnitDirectory()) ? 0 : EACCES;
}

uint32_t SdOpenService(const std::string& service) {
    if (uint32_t rc = SdOpenManager()) {
        return rc;
    }
    return SdInstalled(service) ? 0 : ENOENT;
}

// Writes the unit file (temporary file and rename, so systemd never reads half a file), reloads
// the manager and enables the unit.
uint32_t SdWriteUnit(const ServiceSettings& settings) {
    if (!ValidServiceName(settings.name)) {
        return EINVAL;
    }
    std::string dir = SystemdUnitDirectory();
    std::string path = dir + "/" + UnitName(settings.name);
    std::string temp = dir + "/." + UnitName(settings.name) + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return static_cast<uint32_t>(errno);
    }
    std::string text = SystemdUnitText(settings);
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
              ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    int err = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return static_cast<uint32_t>(err ? err : EIO);
    }
    if (uint32_t rc = Systemctl({"daemon-reload", "--no-ask-password"})) {
        return rc;
    }
    return Systemctl({"enable", "--no-ask-password", UnitName(settings.name)});
}

uint32_t SdCreate(const ServiceSettings& settings) {
    if (SdInstalled(settings.name)) {
        return EEXIST;
    }
    return SdWriteUnit(settings);
}

uint32_t SdChange(const ServiceSettings& settings) {
    return SdWriteUnit(settings);
}

uint32_t SdStart(const std::string& service) {
    if (!ValidServiceName(service)) {
        return EINVAL;
    }
    return Systemctl({"start", "--no-block", "--no-ask-password", UnitName(service)});
}

uint32_t SdStop(const std::string& service) {
    if (!ValidServiceName(service)) {
        return EINVAL;
    }
    return Systemctl({"stop", "--no-block", "--no-ask-password", UnitName(service)});
}

uint32_t SdRemove(const std::string& service) {
    if (!ValidServiceName(service)) {
        return EINVAL;
    }
    if (uint32_t rc = Systemctl({"disable", "--now", "--no-ask-password", UnitName(service)});
        rc == EACCES) {
        return rc;
    }
    std::string path = SystemdUnitDirectory() + "/" + UnitName(service);
    uint32_t result = 0;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        result = static_cast<uint32_t>(errno);
    }
    Systemctl({"daemon-reload", "--no-ask-password"});
    return result;
}

bool SdQuery(const std::string& service, ServiceState* state) {
    std::string load, active;
    if (!ValidServiceName(service) || !ShowUnit(service, &load, &active) || load != "loaded") {
        return false;
    }
    if (active == "active" || active == "reloading" || active == "refreshing") {
        *state = ServiceState::Running;
    } else if (active == "activating") {
        *state = ServiceState::StartPending;
    } else if (active == "deactivating") {
        *state = ServiceState::StopPending;
    } else {
        *state = ServiceState::Stopped;  // inactive, failed, maintenance, unknown
    }
    return true;
}

const ServiceManager kSystemd{"systemd", SdOpenManager, SdOpenService, SdInstalled, SdCreate,
                              SdChange,  SdStart,       SdStop,        SdRemove,    SdQuery};

// Text for a unit file value: no line breaks, "%" doubled so that systemd expands no specifier.
std::string UnitValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            out += ' ';
        } else if (c == '%') {
            out += "%%";
        } else {
            out += c;
        }
    }
    return out;
}

// One quoted command-line word for ExecStart: C-style escapes inside double quotes, "%" and "$"
// doubled, so a path holding blanks, quotes or either sign stays one word and expands nothing.
std::string UnitWord(const std::string& word) {
    std::string out = "\"";
    for (char c : word) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '%':
                out += "%%";
                break;
            case '$':
                out += "$$";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

}  // namespace

bool DirectoryWritable(const std::string& directory) {
    if (directory.empty()) {
        return false;
    }
    std::string probe = directory + (directory.back() == '/' ? "" : "/") + ".rights.XXXXXX";
    int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string SystemdUnitText(const ServiceSettings& settings) {
    return "[Unit]\nDescription=" + UnitValue(settings.displayName) +
           "\n\n[Service]\nType=simple\nExecStart=" + UnitWord(settings.executable) +
           "\n\n[Install]\nWantedBy=multi-user.target\n";
}

void SetSystemdUnitDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> lock(g_unitDirMutex);
    g_unitDir = directory;
    while (g_unitDir.size() > 1 && g_unitDir.back() == '/') {
        g_unitDir.pop_back();
    }
}

std::string SystemdUnitDirectory() {
    std::lock_guard<std::mutex> lock(g_unitDirMutex);
    return g_unitDir.empty() ? kDefaultUnitDirectory : g_unitDir;
}

const ServiceManager& SystemdServiceManager() {
    return kSystemd;
}

const ServiceManager* FindServiceManager(std::string_view name) {
    if (name == "systemd") {
        return &SystemdServiceManager();
    }
    if (name == "local") {
        return &LocalServiceManager();
    }
    return nullptr;
}

const ServiceManager& CurrentServiceManager() {
    if (const char* env = std::getenv("ZELMOSMS_SERVICE_MANAGER"); env && *env) {
        if (const ServiceManager* chosen = FindServiceManager(env)) {
            return *chosen;
        }
    }
    struct stat st;
    if (::stat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode)) {
        return SystemdServiceManager();
    }
    return LocalServiceManager();
}

}  // namespace platform
