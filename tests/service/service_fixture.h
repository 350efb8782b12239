// Shared pieces of the service control tests: a scripted message-box backend, environment
// settings that end with the test, a way to lose the rights to change services (also as root),
// stub programs on the PATH and real-time waits for files that child processes write.
#pragma once

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/message_box.h"
#include "platform/ui/wait_cursor.h"
#include "tests/support/temp_root.h"

namespace servicetest {

// Records every box and answers from a script (then with the default answer: OK, or No).
struct BoxRecorder {
    std::vector<platform::MessageBoxRequest> shown;
    std::deque<int> answers;
    platform::MessageBoxBackend backend{&Show, this};

    BoxRecorder() { platform::SetMessageBoxBackend(&backend); }
    ~BoxRecorder() { platform::SetMessageBoxBackend(nullptr); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& r : shown) {
            texts.push_back(r.text);
        }
        return texts;
    }

  private:
    static int Show(void* ctx, const platform::MessageBoxRequest& r) {
        auto* self = static_cast<BoxRecorder*>(ctx);
        self->shown.push_back(r);
        if (!self->answers.empty()) {
            int a = self->answers.front();
            self->answers.pop_front();
            return a;
        }
        return r.buttons == platform::MbButtons::Ok ? platform::IDOK : platform::IDNO;
    }
};

// Counts how often the wait cursor was shown.
struct CursorRecorder {
    int pushes = 0;
    int pops = 0;
    platform::WaitCursorBackend backend{[](void* c) { ++static_cast<CursorRecorder*>(c)->pushes; },
                                        [](void* c) { ++static_cast<CursorRecorder*>(c)->pops; },
                                        this};
    CursorRecorder() { platform::SetWaitCursorBackend(&backend); }
    ~CursorRecorder() { platform::SetWaitCursorBackend(nullptr); }
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Takes away write access to `directory` for this thread while the object lives: the mode loses
// its write bits and, when we run as root, the capabilities that override file modes are dropped
// from the effective set (they stay permitted and come back at the end).
class ScopedNoWrite {
  public:
    explicit ScopedNoWrite(std::string directory) : directory_(std::move(directory)) {
        struct stat st;
        ::stat(directory_.c_str(), &st);
        mode_ = st.st_mode & 07777;
        ::chmod(directory_.c_str(), mode_ & ~0222u);
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) == 0) {
            __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
            reduced[0].effective &=
                ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
            dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
        }
    }
    ~ScopedNoWrite() {
        if (dropped_) {
            syscall(SYS_capset, &header_, saved_);
        }
        ::chmod(directory_.c_str(), mode_);
    }
    ScopedNoWrite(const ScopedNoWrite&) = delete;
    ScopedNoWrite& operator=(const ScopedNoWrite&) = delete;

  private:
    std::string directory_;
    mode_t mode_ = 0755;
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

// Writes an executable script.
inline void WriteScript(const std::string& path, const std::string& text) {
    testsupport::WriteFile(path, text);
    ::chmod(path.c_str(), 0755);
}

// Waits up to `ms` of real time for a file to exist.
inline bool WaitForFile(const std::string& path, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 5) {
        if (::access(path.c_str(), F_OK) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ::access(path.c_str(), F_OK) == 0;
}

// Whether a process with that id exists (and is no zombie).
inline bool ProcessExists(pid_t pid) {
    std::string stat = testsupport::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

}  // namespace servicetest
