// Helpers of the protocol library tests: test peers started as child processes (the scripted node
// peers under tools/protocol-peers, openssl s_server, the packaged CIMD2 test server), tools looked
// up on the PATH, loopback sockets and small in-process servers.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace protocoltest {

// Full path of a program on the PATH, "" when absent.
std::string FindProgram(const std::string& name);
// The folder of the node peers in the source tree.
std::string PeersDirectory();
// "" when node and the peers' packages are installed, else the reason to skip.
std::string NodePeersMissing();

// Runs a program to its end (argument vector, no shell) and returns its exit status (-1 when it
// could not be started), with standard output and error together in `output`.
int RunProgram(const std::vector<std::string>& argv, std::string* output);

// A child process serving on 127.0.0.1, stopped (SIGTERM, then SIGKILL) when the object ends.
class Peer {
  public:
    Peer() = default;
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Starts a node peer script of tools/protocol-peers with its options; it announces its port.
    bool StartNode(const std::string& script, const std::vector<std::string>& options);
    // Starts a program with its standard output and error going to the file `output`.
    bool StartLogged(const std::vector<std::string>& argv, const std::string& output);
    // Starts any program that listens on `port` (chosen beforehand with FreePort) and waits until a
    // connection to it succeeds.
    bool StartListening(const std::vector<std::string>& argv, int port);
    void Stop();

    int port() const { return port_; }
    const std::string& error() const { return error_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    std::string error_;
};

// A port on 127.0.0.1 that was free a moment ago.
int FreePort();
// A new TCP socket (the caller closes it); -1 on failure.
int NewSocket();
// A TCP socket connected to 127.0.0.1:port, or -1.
int ConnectLoopback(int port);

// A one-connection server on 127.0.0.1 run on a thread: `serve` gets the accepted socket (closed
// after it returns). The destructor waits for the thread.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::function<void(int)> serve);
    ~LoopbackServer();
    int port() const { return port_; }

  private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace protocoltest
