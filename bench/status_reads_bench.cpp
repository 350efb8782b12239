// One Status-page refresh worth of file reads: the 200 "Modem%u" keys with an error-file probe
// for each connection, and the twelve daily counters (on 3 January, so that each also reads last
// year's file twice).
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "bench/bench_root.h"
#include "libs/zozeziv/zozeziv.h"
#include "monitor/counters.h"
#include "platform/dirs.h"
#include "platform/ini.h"

namespace {

const char* const kCounters[] = {"SMSSUBMIT",   "SMSSENT",     "SMSRECEIVED", "SMSFAILED",
                                 "SMSRETRY",    "MMSIN-USER",  "MMSIN-VASP",  "MMSIN-MODEM",
                                 "MMSOUT-MMSC", "MMSOUT-VASP", "MMSOUT-SMTP", "MMSRETRIEVED"};

void Put(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

void BM_StatusPageReads(benchmark::State& state) {
    bench::ScratchRoot root;
    monitor::DataPaths paths = monitor::CurrentDataPaths();
    SMSIniSetFilename(paths.configFile.c_str());
    platform::IniBatch batch;
    for (int i = 1; i <= 200; ++i) {
        std::string title = "SMPP - host" + std::to_string(i) + ":2775";
        batch.Set("ZIZOD", "Modem" + std::to_string(i), title);
        batch.Set(title, "RouteName", "Route " + std::to_string(i));
        if (i % 40 == 0) {
            Put(paths.privateData + monitor::FileSafeName(title) + ".ERR", "Bind failed");
        }
    }
    platform::IniApply(paths.configFile, batch);
    platform::MakeDirectories(paths.privateData + "STATS");
    for (const char* name : kCounters) {
        for (int year : {2025, 2026}) {
            Put(monitor::GatewayCounterPath(paths, name, year), std::string(1464, '\1'));
        }
    }
    const monitor::CalendarDate today{2026, 1, 3};
    for (auto _ : state) {
        std::string errors = monitor::ConnectionErrorLines(paths, 1023, 1024);
        benchmark::DoNotOptimize(errors);
        for (const char* name : kCounters) {
            benchmark::DoNotOptimize(monitor::ReadDailyCounter(paths, name, today));
        }
    }
    SMSIniSetFilename("");
}
BENCHMARK(BM_StatusPageReads)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
