#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Runs the simulator binary in a private directory and talks to it through its link.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return started_; }
    pid_t pid() const { return pid_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string link() const { return path("tty"); }

    bool openLink();
    void closeLink();
    void send(const std::string& command);  // appends the CR
    // Next complete line (without CR) within timeoutMs.
    std::optional<std::string> readLine(int timeoutMs);
    // Raw bytes for ms; reads counts read() calls, midLine those that ended inside a line.
    std::string readFor(int ms, int* reads = nullptr, int* midLine = nullptr);
    std::vector<std::string> linesFor(int ms);
    // Reads until nothing has arrived for quietMs; returns what came.
    std::string drain(int quietMs);

    bool running();
    // Signal (0 = none, just wait) and wait up to timeoutMs; exit status or -1.
    int stop(int signal, int timeoutMs = 5000);
    long long bytesReceived() const { return bytesReceived_; }

private:
    std::string dir_;
    pid_t pid_ = -1;
    int fd_ = -1;
    bool started_ = false;
    bool reaped_ = false;
    std::string pending_;
    long long bytesReceived_ = 0;
};

std::string readTextFile(const std::string& path);
std::vector<std::string> splitLines(const std::string& text, char sep);
long long realtimeMs();
