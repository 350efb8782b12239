// Program-wide values, the manual and the recursive delete; see program.h.
#include "app/program.h"

#include <filesystem>
#include <system_error>

#include "platform/spawn.h"

namespace app {

namespace fs = std::filesystem;

ProgramValues& Program() {
    static ProgramValues values;
    return values;
}

void OpenManual() {
    const std::string& manual = Program().manualPath;
    if (manual.empty()) {
        return;
    }
    platform::SpawnOptions options;
    options.searchPath = true;
    std::string::size_type slash = manual.rfind('/');
    if (slash != std::string::npos) {
        options.directory = manual.substr(0, slash);
    }
    pid_t pid = platform::SpawnChild({"xdg-open", manual}, options);
    if (pid > 0) {
        platform::ReapChildLater(pid);
    }
}

void DeleteDirectoryTree(const std::string& path) {
    if (path.empty()) {
        return;
    }
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        if (entry.is_directory(typeError) && !entry.is_symlink(typeError)) {
            std::string name = entry.path().filename().string();
            if (!name.empty() && name[0] != '.') {
                DeleteDirectoryTree(entry.path().string());
            }
        } else {
            std::error_code removeError;
            fs::remove(entry.path(), removeError);
        }
    }
    std::string directory = path;
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    std::error_code removeError;
    fs::remove(directory, removeError);  // only an empty directory goes
}

}  // namespace app
