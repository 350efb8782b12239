// The user file's format and name order, apart from the open-handle bookkeeping of the C calls:
// what the tests, the fuzzer and the benchmark use to build and inspect files directly.
// docs/user-file.md describes the format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "libs/zozeziv/user_record.h"

namespace zozeziv {

inline constexpr char kUserFileMagic[8] = {'Z', 'E', 'L', 'M', 'O', 'U', 'S', 'R'};
inline constexpr std::uint32_t kUserFileVersion = 1;
inline constexpr std::uint32_t kUserFileHeaderSize = 64;

enum class UserFileState {
    kOk,       // ours, whole and in order
    kDamaged,  // ours, but cut short, with trailing bytes, out of order or with a nameless
               // record: what is whole is read
    kNewer,    // written by a later format version: readable, never written
    kForeign,  // not a user file (or a header we cannot read): nothing is read
};

struct UserFileImage {
    UserFileState state = UserFileState::kOk;
    std::uint64_t serial = 0;         // number of rewrites the file has seen
    std::vector<UserRecord> records;  // sorted by name, each name once
};

// Compares two names as the file orders them: bytewise, ASCII letters without regard to case.
int CompareNames(std::string_view a, std::string_view b);
// True when `name` begins with `prefix`, ASCII letters without regard to case.
bool NameStartsWith(std::string_view name, std::string_view prefix);

// Terminates every text field (cutting an over-long text to its field). True when it changed a
// byte.
bool NormalizeRecord(UserRecord& r);

// Reads a whole file image. An empty text is an empty user file.
UserFileImage ParseUserFile(std::string_view bytes);
// The file image of `records` (already sorted and unique) with the given serial.
std::string SerializeUserFile(const std::vector<UserRecord>& records, std::uint64_t serial);

// Where the user file lives: the program data directory + ZOZEZIV_USER_FILE ("" when the
// program data directory cannot be made).
std::string UserFilePath();

}  // namespace zozeziv
