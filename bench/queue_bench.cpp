// The outbound queue count over 100,000 ".REQ" files spread over the queue directory and 20 route
// subdirectories, beside `find` counting the same files in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/bench_root.h"
#include "libs/zozeziv/zozeziv.h"
#include "monitor/counters.h"

extern char** environ;

namespace {

constexpr int kFiles = 100000;
constexpr int kRoutes = 20;

struct Queue {
    bench::ScratchRoot root;
    monitor::DataPaths paths;
    std::string qdir;

    Queue() {
        paths = monitor::CurrentDataPaths();
        SMSIniSetFilename(paths.configFile.c_str());
        qdir = monitor::ResolveQDir(paths);
        std::vector<std::string> dirs = {qdir};
        for (int r = 1; r <= kRoutes; ++r) {
            dirs.push_back(
                monitor::ResolveQDir(paths, "SMPP - host" + std::to_string(r) + ":2775"));
        }
        for (int i = 0; i < kFiles; ++i) {
            std::string path = dirs[static_cast<std::size_t>(i) % dirs.size()] + "MSG" +
                               std::to_string(i) + (i % 2 ? ".REQ" : ".req");
            int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
};

Queue* g_queue = nullptr;

Queue& TheQueue() {
    if (!g_queue) {
        g_queue = new Queue;
    }
    return *g_queue;
}

// Runs `find` on the queue and counts the lines it prints; -1 when it cannot be run.
long FindCount(const std::string& qdir) {
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    std::vector<std::string> args = {"find",  qdir, "-maxdepth", "2",
                                     "-type", "f",  "-iname",    "*.REQ"};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[1]);
    long lines = 0;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(pipefd[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            lines += buf[i] == '\n';
        }
    }
    ::close(pipefd[0]);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return lines;
}

void BM_CountOutboundQueue(benchmark::State& state) {
    Queue& q = TheQueue();
    uint32_t count = 0;
    for (auto _ : state) {
        count = monitor::CountOutboundQueue(q.paths);
        benchmark::DoNotOptimize(count);
    }
    if (count != kFiles) {
        state.SkipWithError("wrong count");
    }
    state.counters["files"] = count;
}
BENCHMARK(BM_CountOutboundQueue)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindSameFiles(benchmark::State& state) {
    Queue& q = TheQueue();
    long count = 0;
    for (auto _ : state) {
        count = FindCount(q.qdir);
    }
    if (count != kFiles) {
        state.SkipWithError("find did not count the same files");
    }
    state.counters["files"] = static_cast<double>(count);
}
BENCHMARK(BM_FindSameFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_queue;
    return 0;
}
