// POSIX shared memory behind platform/shm.h.
#include "platform/shm.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <utility>

namespace platform {

std::string SharedMemoryObjectName(std::string_view name) {
    constexpr std::string_view kGlobal = "Global\\";
    std::string rest(name);
    std::string object = "/";
    if (const char* prefix = std::getenv("ZELMOSMS_SHM_PREFIX"); prefix && *prefix) {
        object += prefix;
    }
    if (name.substr(0, kGlobal.size()) == kGlobal) {
        object += "Global.";
        rest = std::string(name.substr(kGlobal.size()));
    }
    if (rest.empty() || rest.find('/') != std::string::npos ||
        rest.find('\0') != std::string::npos || object.find('/', 1) != std::string::npos) {
        return {};
    }
    return object + rest;
}

SharedMemory::~SharedMemory() {
    Close();
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        Close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

std::optional<SharedMemory> SharedMemory::Open(std::string_view name) {
    std::string object = SharedMemoryObjectName(name);
    if (object.empty()) {
        return std::nullopt;
    }
    int fd = ::shm_open(object.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st;
    void* view = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        view = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE,
                      MAP_SHARED, fd, 0);
    }
    ::close(fd);
    if (view == MAP_FAILED) {
        return std::nullopt;
    }
    SharedMemory block;
    block.data_ = static_cast<uint8_t*>(view);
    block.size_ = static_cast<std::size_t>(st.st_size);
    return block;
}

uint8_t SharedMemory::ReadByte(std::size_t offset) const {
    if (!data_ || offset >= size_) {
        return 0;
    }
    return std::atomic_ref<uint8_t>(data_[offset]).load(std::memory_order_relaxed);
}

bool SharedMemory::WriteByte(std::size_t offset, uint8_t value) {
    if (!data_ || offset >= size_) {
        return false;
    }
    std::atomic_ref<uint8_t>(data_[offset]).store(value, std::memory_order_relaxed);
    return true;
}

void SharedMemory::Close() {
    if (data_) {
        ::munmap(data_, size_);
        data_ = nullptr;
        size_ = 0;
    }
}

}  // namespace platform
