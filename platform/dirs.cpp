// The data root and program directory of platform/dirs.h.
#include "platform/dirs.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace platform {

std::string DataRoot() {
    if (const char* env = std::getenv("ZELMOSMS_ROOT"); env && *env) {
        std::string root = env;
        while (root.size() > 1 && root.back() == '/') {
            root.pop_back();
        }
        return root;
    }
    std::ifstream conf("/etc/zelmosms/root");
    std::string line;
    if (conf && std::getline(conf, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '/' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty()) {
            return line;
        }
    }
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        return std::string(xdg) + "/zelmosms";
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/zelmosms";
}

bool MakeDirectories(const std::string& path) {
    struct stat st;
    if (path.empty()) {
        return false;
    }
    if (::stat(path.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    std::size_t slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0) {
        MakeDirectories(path.substr(0, slash));
    }
    if (::mkdir(path.c_str(), 0775) != 0 && errno != EEXIST) {
        return false;
    }
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string DataDirectory(const std::string& name) {
    std::string dir = DataRoot() + "/" + name;
    if (!MakeDirectories(dir)) {
        return {};
    }
    return dir + "/";
}

std::string ProgramDirectory() {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0) {
        return "./";
    }
    buf.resize(static_cast<std::size_t>(n));
    std::size_t slash = buf.rfind('/');
    return slash == std::string::npos ? "./" : buf.substr(0, slash + 1);
}

void GrantGatewayRights(const std::string& directory) {
    if (directory.empty()) {
        return;
    }
    if (struct group* g = ::getgrnam("zelmosms")) {
        if (::chown(directory.c_str(), static_cast<uid_t>(-1), g->gr_gid) != 0) {
            // Not ours to give away; the mode below still applies.
        }
    }
    ::chmod(directory.c_str(), 02775);
}

}  // namespace platform
