// The status blocks over POSIX shared memory: names, the plain and the global block, the bytes the
// console reads and the one it writes, and blocks that are missing or too short.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "platform/shm.h"
#include "service/restart_trigger.h"
#include "service/status_block.h"
#include "tests/service/service_fixture.h"

namespace {

using servicetest::ScopedEnv;

// A block created as a service creates it, removed with the object.
class Block {
  public:
    Block(const char* name, std::size_t size) : object_(platform::SharedMemoryObjectName(name)) {
        int fd = ::shm_open(object_.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        EXPECT_GE(fd, 0) << object_;
        EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        if (size > 0) {
            data_ = static_cast<uint8_t*>(
                ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        }
        size_ = size;
        ::close(fd);
    }
    ~Block() {
        if (data_) {
            ::munmap(data_, size_);
        }
        ::shm_unlink(object_.c_str());
    }
    uint8_t& operator[](std::size_t i) { return data_[i]; }

  private:
    std::string object_;
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

class StatusBlockTest : public ::testing::Test {
  protected:
    ScopedEnv prefix_{"ZELMOSMS_SHM_PREFIX", "zelmoblock" + std::to_string(::getpid()) + "."};
};

TEST_F(StatusBlockTest, ObjectNames) {
    ScopedEnv none("ZELMOSMS_SHM_PREFIX", "");
    EXPECT_EQ(platform::SharedMemoryObjectName("ZELMO_ZIZOD_ShMem"), "/ZELMO_ZIZOD_ShMem");
    EXPECT_EQ(platform::SharedMemoryObjectName("Global\\ZELMO_MMSC_ShMem"),
              "/Global.ZELMO_MMSC_ShMem");
    EXPECT_EQ(platform::SharedMemoryObjectName(""), "");
    EXPECT_EQ(platform::SharedMemoryObjectName("a/b"), "");
    EXPECT_EQ(platform::SharedMemoryObjectName("Global\\"), "");
    ScopedEnv prefix("ZELMOSMS_SHM_PREFIX", "t1.");
    EXPECT_EQ(platform::SharedMemoryObjectName("Global\\X"), "/t1.Global.X");
}

TEST_F(StatusBlockTest, MissingBlocksOpenNothingAndCreateNothing) {
    EXPECT_FALSE(service::OpenGatewayStatusBlock());
    EXPECT_FALSE(service::ReadMmscStatus());
    EXPECT_FALSE(service::SignalGatewayStop());
    std::string object = platform::SharedMemoryObjectName("ZELMO_ZIZOD_ShMem");
    EXPECT_LT(::shm_open(object.c_str(), O_RDONLY, 0), 0);
}

TEST_F(StatusBlockTest, GatewayBytesAreReadAndTheStopByteWritten) {
    Block block("ZELMO_ZIZOD_ShMem", 4096);
    block[2] = 1;
    block[4] = 7;
    int fds = testsupport::OpenDescriptorCount();
    auto status = service::ReadGatewayStatus();
    ASSERT_TRUE(status);
    EXPECT_FALSE(status->stopRequested);
    EXPECT_TRUE(status->webPortInUse);
    EXPECT_FALSE(status->smppServerActive);
    EXPECT_TRUE(status->smppPortInUse);

    EXPECT_TRUE(service::SignalGatewayStop());
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(block[1], 0);
    EXPECT_TRUE(service::ReadGatewayStatus()->stopRequested);
    EXPECT_EQ(testsupport::OpenDescriptorCount(), fds);  // nothing kept open
}

TEST_F(StatusBlockTest, TheGlobalNameIsTheFallback) {
    Block global("Global\\ZELMO_MMSC_ShMem", 16);
    global[6] = 1;
    auto status = service::ReadMmscStatus();
    ASSERT_TRUE(status);
    EXPECT_FALSE(status->httpPortInUse);
    EXPECT_TRUE(status->smtpPortInUse);

    Block plain("ZELMO_MMSC_ShMem", 16);
    plain[2] = 1;
    status = service::ReadMmscStatus();
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->httpPortInUse);
    EXPECT_FALSE(status->smtpPortInUse);
}

TEST_F(StatusBlockTest, ShortAndEmptyBlocks) {
    {
        Block empty("ZELMO_ZIZOD_ShMem", 0);
        EXPECT_FALSE(service::OpenGatewayStatusBlock());
    }
    Block tiny("ZELMO_ZIZOD_ShMem", 1);
    auto block = service::OpenGatewayStatusBlock();
    ASSERT_TRUE(block);
    EXPECT_EQ(block->view.size(), 1u);
    EXPECT_FALSE(block->smppPortInUse());  // beyond the end reads as 0
    EXPECT_TRUE(block->RequestStop());
    EXPECT_EQ(tiny[0], 1);
    EXPECT_FALSE(block->view.WriteByte(1, 1));
}

TEST(RestartTriggerTest, StampIsFourteenDigitsOfLocalTime) {
    {
        ScopedEnv tz("TZ", "UTC");
        tzset();
        EXPECT_EQ(service::RestartStamp(1700000000), "20231114221320");
    }
    {
        ScopedEnv tz("TZ", "XYZ-2");
        tzset();
        EXPECT_EQ(service::RestartStamp(1700000000), "20231115001320");
    }
    tzset();
}

TEST(RestartTriggerTest, SeenStampIsSharedAndCut) {
    service::SetRestartTriggerSeen(std::string(60, '9'));
    EXPECT_EQ(service::RestartTriggerSeen(), std::string(50, '9'));
    std::thread writer([] {
        for (int i = 0; i < 1000; ++i) {
            service::SetRestartTriggerSeen(i % 2 ? "20240101000000" : "20250101000000");
        }
    });
    for (int i = 0; i < 1000; ++i) {
        std::string seen = service::RestartTriggerSeen();
        EXPECT_TRUE(seen.size() == 14 || seen.size() == 50) << seen;
    }
    writer.join();
}

}  // namespace
