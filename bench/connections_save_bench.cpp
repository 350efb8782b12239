// Saving the connection list: 200 connections, one of them with 10,000 pending routes. Reports
// how many times the save replaced ZIZOD.INI (watched with inotify): it must be once.
#include <benchmark/benchmark.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/bench_root.h"
#include "config/connections.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/ini.h"

namespace {

constexpr int kConnections = 200;
constexpr int kRoutes = 10000;

std::vector<std::string> MakeItems() {
    std::vector<std::string> items;
    for (int i = 1; i <= kConnections; ++i) {
        std::string title = "SMPP - host" + std::to_string(i) + ":2775";
        std::string entry = title + "\tSaveRoute=" + title;
        if (i == 1) {
            for (int r = 1; r <= kRoutes; ++r) {
                config::AppendSetting(entry, "Route" + std::to_string(r), "44" + std::to_string(r));
            }
        } else {
            config::AppendSetting(entry, "UserName", "user" + std::to_string(i));
        }
        items.push_back(title + "\t" + entry);
    }
    return items;
}

// The number of renames onto the file while `fn` runs.
template <typename Fn>
int CountReplacements(const std::string& dir, const std::string& name, Fn fn) {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    inotify_add_watch(fd, dir.c_str(), IN_MOVED_TO);
    fn();
    int count = 0;
    alignas(inotify_event) char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        for (char* p = buf; p < buf + n;) {
            auto* e = reinterpret_cast<inotify_event*>(p);
            if (e->len && name == e->name) {
                ++count;
            }
            p += sizeof(inotify_event) + e->len;
        }
    }
    close(fd);
    return count;
}

void BM_SaveConnectionList(benchmark::State& state) {
    bench::ScratchRoot root;
    std::string dir = root.path();
    std::string ini = dir + "/ZIZOD.INI";
    SMSIniSetFilename(ini.c_str());
    const std::vector<std::string> pending = MakeItems();
    std::vector<std::string> items = pending;
    config::SaveConnectionList(ini, items);  // the file as a later save finds it
    for (auto _ : state) {
        state.PauseTiming();
        items = pending;
        state.ResumeTiming();
        benchmark::DoNotOptimize(config::SaveConnectionList(ini, items));
    }
    items = pending;
    state.counters["rewrites"] =
        CountReplacements(dir, "ZIZOD.INI", [&] { config::SaveConnectionList(ini, items); });
    state.counters["routes_stored"] =
        static_cast<double>(platform::IniReadSection(ini, "SMPP - host1:2775").size());
    SMSIniSetFilename("");
}
BENCHMARK(BM_SaveConnectionList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
