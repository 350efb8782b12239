// Profile-string speed: a cached read of one key from a large ZIZOD.INI against reading the file
// afresh for every read, and one batch write of 10,000 keys against 10,000 single writes.
// Targets: the cached read at least 100 times faster; the batch at least 50 times faster.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "platform/ini.h"

namespace {

std::string g_dir;

std::string Fixture(const char* name) {
    return g_dir + "/" + name;
}

// 200 connection sections, one of them with 10,000 routes, as a large installation has.
void WriteLargeConfig(const std::string& path) {
    std::ostringstream out;
    out << "[ZIZOD]\r\nStatusDialogEnabled=Yes\r\n";
    for (int i = 1; i <= 200; ++i) {
        out << "Modem" << i << "=SMPP - host" << i << ".example:2775\r\n";
    }
    for (int i = 1; i <= 200; ++i) {
        out << "[SMPP - host" << i << ".example:2775]\r\n";
        out << "SMPPVersion=52\r\nSMPPSystemId=user" << i << "\r\nSMPPPassword=secret\r\n";
        out << "RouteName=route" << i << "\r\nReceiveSMS=Yes\r\n";
        int routes = i == 100 ? 10000 : 3;
        for (int r = 1; r <= routes; ++r) {
            out << "Route" << r << "=+44" << (7000000 + r) << "*\r\n";
        }
    }
    std::ofstream(path, std::ios::binary) << out.str();
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void BM_CachedRead(benchmark::State& state) {
    std::string path = Fixture("ZIZOD.INI");
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::IniRead(path, "SMPP - host150.example:2775", "Route2"));
    }
}
BENCHMARK(BM_CachedRead);

// The naive reader: read and parse the whole file for every key.
void BM_NaiveRead(benchmark::State& state) {
    std::string path = Fixture("ZIZOD.INI");
    for (auto _ : state) {
        std::string text = ReadWhole(path);
        benchmark::DoNotOptimize(
            platform::IniParseAndRead(text, "SMPP - host150.example:2775", "Route2"));
    }
}
BENCHMARK(BM_NaiveRead)->Unit(benchmark::kMicrosecond);

void BM_BatchWrite10000(benchmark::State& state) {
    std::string path = Fixture("BATCH.INI");
    for (auto _ : state) {
        unlink(path.c_str());
        platform::IniBatch batch;
        for (int r = 1; r <= 10000; ++r) {
            batch.Set("SMPP - host.example:2775", "Route" + std::to_string(r), "+4477*");
        }
        platform::IniApply(path, batch);
    }
}
BENCHMARK(BM_BatchWrite10000)->Unit(benchmark::kMillisecond);

void BM_SingleWrites10000(benchmark::State& state) {
    std::string path = Fixture("SINGLE.INI");
    for (auto _ : state) {
        unlink(path.c_str());
        for (int r = 1; r <= 10000; ++r) {
            platform::IniWrite(path, "SMPP - host.example:2775", "Route" + std::to_string(r),
                               "+4477*");
        }
    }
}
BENCHMARK(BM_SingleWrites10000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Keeps the console output and remembers each benchmark's time per iteration.
class Collector : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ns;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            ns[r.benchmark_name()] = r.GetAdjustedRealTime() * Scale(r.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }

  private:
    static double Scale(benchmark::TimeUnit u) {
        switch (u) {
            case benchmark::kMillisecond:
                return 1e6;
            case benchmark::kMicrosecond:
                return 1e3;
            case benchmark::kSecond:
                return 1e9;
            default:
                return 1;
        }
    }
};

double Find(const Collector& c, const std::string& prefix) {
    for (const auto& [name, ns] : c.ns) {
        if (name.rfind(prefix, 0) == 0) {
            return ns;
        }
    }
    return 0;
}

void Compare(const char* what, double fast, double slow, double target) {
    if (fast <= 0 || slow <= 0) {
        return;
    }
    double ratio = slow / fast;
    std::printf("%-34s %12.0f ns vs %14.0f ns  = %8.1fx  (target >= %.0fx: %s)\n", what, fast, slow,
                ratio, target, ratio >= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    char dir[] = "/tmp/zelmo-bench-ini-XXXXXX";
    if (!mkdtemp(dir)) {
        return 1;
    }
    g_dir = dir;
    WriteLargeConfig(Fixture("ZIZOD.INI"));
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("\n");
    Compare("cached read vs naive re-parse", Find(collector, "BM_CachedRead"),
            Find(collector, "BM_NaiveRead"), 100);
    Compare("batch of 10,000 vs single writes", Find(collector, "BM_BatchWrite10000"),
            Find(collector, "BM_SingleWrites10000"), 50);
    for (const char* f : {"ZIZOD.INI", "BATCH.INI", "SINGLE.INI"}) {
        unlink(Fixture(f).c_str());
    }
    rmdir(dir);
    benchmark::Shutdown();
    return 0;
}
