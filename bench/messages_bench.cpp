// How fast the viewers read the gateway's message files: they rescan the whole outbound queue
// every minute. Writes 100,000 typical queue files, then times reading and decoding all of them
// with ReadQueuedMessageFile beside the time `cat` takes to read the same files in the same run
// (the goal: at most twice cat's time). Then the Google Benchmark cases of the parser and the
// display conversion on one message.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "viewers/message_file.h"

extern char** environ;

namespace {

constexpr int kFiles = 100000;
constexpr int kCatBatch = 5000;  // file names per cat process, well inside the argument limit
constexpr int kRounds = 3;       // each side runs this often; the best time counts

std::string TypicalFile(int i) {
    std::string text = "Your code is " + std::to_string(100000 + i % 900000) +
                       ". Do not share it with anyone.\\nReply STOP to end.";
    text.append(static_cast<std::size_t>(i % 90), 'x');
    std::string file = "[SMS]\r\nPhoneNumber=+4477009" + std::to_string(10000 + i % 89999) +
                       "\r\nSender=Zelmo\r\nData=" + text +
                       "\r\nSubmittedBy=192.168.1.20\r\nSubmitUser=web" + std::to_string(i % 17) +
                       "\r\nSMSCRoute=SMPP - smsc.example:2775\r\nValidity=1440\r\n"
                       "ReceiptRequested=Yes\r\nModemName=COM3:\r\n";
    if (i % 4 == 0) {
        file += "[ErrorDetail]\r\nRetryCount=" + std::to_string(i % 5) +
                "\r\nLastRetryTime=20130702101112\r\nFirstAttemptTime=20130702100000\r\n"
                "LastErrorInfo=Throttling error (ESME has exceeded allowed message limits)\r\n";
    }
    return file;
}

double Millis(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs cat over the files in batches, its working directory `dir`, its output to /dev/null.
bool RunCat(const std::string& dir, const std::vector<std::string>& names) {
    for (std::size_t first = 0; first < names.size(); first += kCatBatch) {
        std::vector<char*> argv{const_cast<char*>("cat")};
        for (std::size_t i = first; i < names.size() && i < first + kCatBatch; ++i) {
            argv.push_back(const_cast<char*>(names[i].c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        int rc = posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            return false;
        }
    }
    return true;
}

void CompareWithCat() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zelmo-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return;
    }
    const std::string dir = pattern;
    std::vector<std::string> names;
    std::vector<std::string> paths;
    names.reserve(kFiles);
    paths.reserve(kFiles);
    std::size_t bytes = 0;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%06d.REQ", i);
        names.emplace_back(name);
        paths.push_back(dir + "/" + name);
        std::string content = TypicalFile(i);
        bytes += content.size();
        FILE* f = std::fopen(paths.back().c_str(), "wb");
        if (!f || std::fwrite(content.data(), 1, content.size(), f) != content.size()) {
            std::perror("writing the queue files");
            if (f) {
                std::fclose(f);
            }
            std::filesystem::remove_all(dir);
            return;
        }
        std::fclose(f);
    }

    double best_parse = 1e300;
    double best_cat = 1e300;
    std::size_t listed = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        if (!RunCat(dir, names)) {
            std::fprintf(stderr, "cat failed\n");
            break;
        }
        best_cat = std::min(best_cat, Millis(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        listed = 0;
        for (const std::string& path : paths) {
            std::optional<viewers::QueuedMessage> m = viewers::ReadQueuedMessageFile(path);
            if (m && !m->recipient.empty()) {
                ++listed;
            }
        }
        best_parse = std::min(best_parse, Millis(std::chrono::steady_clock::now() - start));
    }
    std::filesystem::remove_all(dir);

    std::printf("%d queue files, %zu bytes, best of %d runs\n", kFiles, bytes, kRounds);
    std::printf("  ParseQueuedMessage (open, read, decode, close): %8.1f ms  (%zu listed)\n",
                best_parse, listed);
    std::printf("  cat of the same files:                          %8.1f ms\n", best_cat);
    std::printf("  ratio: %.2f (goal: at most 2.00)\n\n", best_parse / best_cat);
}

void BM_ParseQueuedMessageText(benchmark::State& state) {
    const std::string file = TypicalFile(4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(viewers::ParseQueuedMessageText(file));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ParseQueuedMessageText);

void BM_MessageDisplayText(benchmark::State& state) {
    viewers::QueuedMessage m = viewers::ParseQueuedMessageText(TypicalFile(4));
    m.text += "caf\xC3\xA9 \xE2\x82\xAC";
    for (auto _ : state) {
        benchmark::DoNotOptimize(viewers::MessageDisplayText(m, nullptr));
    }
}
BENCHMARK(BM_MessageDisplayText);

}  // namespace

int main(int argc, char** argv) {
    CompareWithCat();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
