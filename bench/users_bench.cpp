// The user file as the users page uses it: a file of 100,000 users held open, read row by row
// (SMSGetUserRecord by index) and searched as the operator types (SMSFindFirstUserRecord).
// Target: under 5 us per call once the file is open. Adding a user, which rewrites the file,
// is measured for information.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_root.h"
#include "libs/zozeziv/user_file.h"
#include "libs/zozeziv/zozeziv.h"

namespace {

constexpr int kUsers = 100000;

std::string NameOf(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "user%06d", i);
    return name;
}

// A scratch data root with a user file of kUsers users, held open.
struct Fixture {
    bench::ScratchRoot root;
    uint32_t handle = 0;

    Fixture() {
        std::vector<UserRecord> records(kUsers);
        for (int i = 0; i < kUsers; ++i) {
            records[i] = zozeziv::EmptyUserRecord();
            zozeziv::SetUserName(records[i], NameOf(i));
            zozeziv::SetFullName(records[i], "Full name of " + NameOf(i));
        }
        std::filesystem::create_directories(root.path() + "/ProgramData");
        std::ofstream(root.path() + "/ProgramData/" ZOZEZIV_USER_FILE, std::ios::binary)
            << zozeziv::SerializeUserFile(records, 1);
        SMSOpenUserFile(&handle, ZOZEZIV_USERS_READWRITE);
    }
    ~Fixture() { SMSCloseUserFile(handle); }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_GetUserRecordByIndex(benchmark::State& state) {
    Fixture& f = Shared();
    UserRecord r;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SMSGetUserRecord(f.handle, i, zozeziv::RecordBytes(r)));
        i = (i + 7919) % kUsers;
    }
    if (SMSGetRecordCount(f.handle) != kUsers) {
        state.SkipWithError("the user file did not open with every user");
    }
}
BENCHMARK(BM_GetUserRecordByIndex);

void BM_FindFirstUserRecord(benchmark::State& state) {
    Fixture& f = Shared();
    std::vector<std::string> prefixes;
    for (int i = 0; i < 1000; ++i) {
        std::string name = NameOf(i * 97 % kUsers);
        prefixes.push_back(name.substr(0, 4 + i % 6));
    }
    prefixes.push_back("nobody");
    UserRecord r;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            SMSFindFirstUserRecord(f.handle, prefixes[i].c_str(), zozeziv::RecordBytes(r)));
        i = (i + 1) % prefixes.size();
    }
}
BENCHMARK(BM_FindFirstUserRecord);

void BM_AddUser(benchmark::State& state) {
    Fixture& f = Shared();
    UserRecord r = zozeziv::EmptyUserRecord();
    int i = 0;
    for (auto _ : state) {
        zozeziv::SetUserName(r, "added" + std::to_string(i++));
        benchmark::DoNotOptimize(SMSAddUser(f.handle, zozeziv::RecordBytes(r)));
    }
}
BENCHMARK(BM_AddUser)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
