// A scratch data root for one benchmark run: a fresh directory named by ZELMOSMS_ROOT, removed
// with everything in it when the run ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace bench {

class ScratchRoot {
  public:
    ScratchRoot() {
        std::string base = std::filesystem::temp_directory_path().string() + "/zelmo-bench-XXXXXX";
        if (mkdtemp(base.data())) {
            path_ = base;
            setenv("ZELMOSMS_ROOT", path_.c_str(), 1);
        }
    }
    ~ScratchRoot() {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
    ScratchRoot(const ScratchRoot&) = delete;
    ScratchRoot& operator=(const ScratchRoot&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace bench
