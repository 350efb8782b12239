// Temporary test directories and small file helpers.
#include "tests/support/temp_root.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempRoot::TempRoot(bool asDataRoot) : asDataRoot_(asDataRoot) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zelmo-test-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
    if (asDataRoot_) {
        if (const char* old = std::getenv("ZELMOSMS_ROOT")) {
            hadRoot_ = true;
            oldRoot_ = old;
        }
        setenv("ZELMOSMS_ROOT", path_.c_str(), 1);
    }
}

TempRoot::~TempRoot() {
    if (asDataRoot_) {
        if (hadRoot_) {
            setenv("ZELMOSMS_ROOT", oldRoot_.c_str(), 1);
        } else {
            unsetenv("ZELMOSMS_ROOT");
        }
    }
    std::error_code ec;
    // Make everything removable again (tests take rights away to provoke failures).
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string TempRoot::Path(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
}

void TempRoot::Write(std::string_view relative, std::string_view content) const {
    std::string p = Path(relative);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    WriteFile(p, content);
}

std::string TempRoot::Read(std::string_view relative) const {
    return ReadFile(Path(relative));
}

bool TempRoot::Exists(std::string_view relative) const {
    return std::filesystem::exists(Path(relative));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

int OpenDescriptorCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) {
            ++n;
        }
        closedir(d);
        n -= 3;  // ".", ".." and the directory's own descriptor
    }
    return n;
}

}  // namespace testsupport
