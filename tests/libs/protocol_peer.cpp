// Helpers of the protocol library tests (see protocol_peer.h).
#include "tests/libs/protocol_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace protocoltest {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    for (const std::string& a : argv) {
        out.push_back(const_cast<char*>(a.c_str()));
    }
    out.push_back(nullptr);
    return out;
}

bool Spawn(const std::vector<std::string>& argv, int stdoutFd, pid_t* pid) {
    std::string program = argv[0].find('/') == std::string::npos ? FindProgram(argv[0]) : argv[0];
    if (program.empty()) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> args = Argv(argv);
    int rc = posix_spawn(pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

// True when some socket listens on the TCP port (from /proc/net/tcp: state 0A).
bool Listening(int port) {
    FILE* f = std::fopen("/proc/net/tcp", "r");
    if (!f) {
        return false;
    }
    char line[512];
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f)) {
        char local[64] = "", remote[64] = "", state[8] = "";
        if (std::sscanf(line, "%*s %63s %63s %7s", local, remote, state) == 3) {
            std::string l = local;
            found = l.size() > 5 && l.compare(l.size() - 5, 5, wanted) == 0 &&
                    std::strcmp(state, "0A") == 0;
        }
    }
    std::fclose(f);
    return found;
}

}  // namespace

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        std::string dir =
            dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    return "";
}

std::string PeersDirectory() {
    return std::string(ZELMO_SOURCE_DIR) + "/tools/protocol-peers";
}

std::string NodePeersMissing() {
    if (FindProgram("node").empty()) {
        return "node is not installed (scripts/setup-deps.sh installs it)";
    }
    struct stat st {};
    if (stat((PeersDirectory() + "/node_modules/smpp/package.json").c_str(), &st) != 0) {
        return "the npm package smpp is not installed in tools/protocol-peers (run "
               "scripts/packages.d/protocols.sh)";
    }
    return "";
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t pid = -1;
    bool started = Spawn(argv, fds[1], &pid);
    close(fds[1]);
    output->clear();
    char buffer[4096];
    ssize_t n;
    while (started && (n = read(fds[0], buffer, sizeof buffer)) > 0) {
        output->append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (!started) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Peer::~Peer() {
    Stop();
}

void Peer::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (i == 199) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
        pid_ = -1;
    }
    if (out_ >= 0) {
        close(out_);
        out_ = -1;
    }
}

bool Peer::StartNode(const std::string& script, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {"node", PeersDirectory() + "/" + script};
    argv.insert(argv.end(), options.begin(), options.end());
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return false;
    }
    bool started = Spawn(argv, fds[1], &pid_);
    close(fds[1]);
    out_ = fds[0];
    if (!started) {
        error_ = "node could not be started";
        return false;
    }
    // Wait (at most 10 s) for "LISTENING <port>".
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buffer[256];
        ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
        size_t at = text.find("LISTENING ");
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
            port_ = std::atoi(text.c_str() + at + 10);
            return port_ > 0;
        }
    }
    error_ = "the peer did not start: " + text;
    return false;
}

bool Peer::StartLogged(const std::vector<std::string>& argv, const std::string& output) {
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = "cannot create " + output;
        return false;
    }
    bool started = Spawn(argv, fd, &pid_);
    close(fd);
    if (!started) {
        error_ = argv[0] + " could not be started";
    }
    return started;
}

bool Peer::StartListening(const std::vector<std::string>& argv, int port) {
    port_ = port;
    if (!Spawn(argv, -1, &pid_)) {
        error_ = argv[0] + " could not be started";
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = argv[0] + " ended at once";
            return false;
        }
        // Listening is seen in the kernel's socket table, without a probe connection that a
        // one-client server would take for its client.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (Listening(port)) {
            return true;
        }
    }
    error_ = argv[0] + " does not listen on port " + std::to_string(port);
    return false;
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

int NewSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

int ConnectLoopback(int port) {
    int fd = NewSocket();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

LoopbackServer::LoopbackServer(std::function<void(int)> serve) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 4);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, serve] {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) {
            return;
        }
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            serve(fd);
            close(fd);
        }
    });
}

LoopbackServer::~LoopbackServer() {
    if (thread_.joinable()) {
        thread_.join();
    }
    close(listener_);
}

}  // namespace protocoltest
