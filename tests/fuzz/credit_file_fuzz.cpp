// Fuzzes the credit-file reader (from an open file, as the credit operations read it) and the
// credit texts: any bytes give a balance of at least 0, and what is shown parses back.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "users/credits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = memfd_create("SMS.CTR", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    if (size == 0 || write(fd, data, size) == static_cast<ssize_t>(size)) {
        int64_t balance = users::ReadCreditBalance(fd);
        if (balance < 0 || balance != users::DecodeCreditBytes(data, size < 8 ? size : 8)) {
            __builtin_trap();
        }
        if (users::ParseCredits(users::FormatCredits(balance)) != balance &&
            balance / users::kCreditUnit <= INT32_MAX) {
            __builtin_trap();
        }
    }
    close(fd);
    users::ParseCredits(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
