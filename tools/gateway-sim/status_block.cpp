// Creating side of the status blocks of status_block.h, over POSIX shared memory.
#include "tools/gateway-sim/status_block.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/shm.h"

namespace gatewaysim {

std::string BlockObjectName(const std::string& name) {
    return platform::SharedMemoryObjectName(name);
}

OwnedBlock::~OwnedBlock() {
    Remove();
}

bool OwnedBlock::Create(const std::string& name) {
    Remove();
    std::string object = BlockObjectName(name);
    if (object.empty()) {
        return false;
    }
    int fd = ::shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    if (fd < 0) {
        return false;
    }
    // A block left behind by a run that was killed is taken over and cleared.
    void* view = MAP_FAILED;
    if (::ftruncate(fd, 0) == 0 && ::ftruncate(fd, kBlockSize) == 0) {
        view = ::mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    ::close(fd);
    if (view == MAP_FAILED) {
        ::shm_unlink(object.c_str());
        return false;
    }
    data_ = static_cast<volatile uint8_t*>(view);
    object_ = object;
    return true;
}

uint8_t OwnedBlock::Read(std::size_t offset) const {
    return data_ && offset < kBlockSize ? data_[offset] : 0;
}

void OwnedBlock::Write(std::size_t offset, uint8_t value) {
    if (data_ && offset < kBlockSize) {
        data_[offset] = value;
    }
}

void OwnedBlock::Remove() {
    if (data_) {
        ::munmap(const_cast<uint8_t*>(data_), kBlockSize);
        data_ = nullptr;
        ::shm_unlink(object_.c_str());
        object_.clear();
    }
}

}  // namespace gatewaysim
