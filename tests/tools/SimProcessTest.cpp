// The simulator as a black box: spawned, talked to through its terminal link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

int msLeft(Clock::time_point end) {
    return std::max(0, int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()));
}

std::string readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Lines splitLines(const std::string& text, char sep)  // an unterminated tail is not a line
{
    Lines out(1);
    for (char c : text)
        c == sep ? void(out.emplace_back()) : out.back().push_back(c);
    out.pop_back();
    return out;
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Runs the simulator in a private directory (relative file arguments land there).
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        std::string tmpl = ::testing::TempDir() + "kestro-sim-XXXXXX";
        if (!mkdtemp(tmpl.data())) return;
        dir_ = tmpl;
        args.insert(args.begin(), {KESTRO_SIM_PATH, "--link", link()});
        if ((pid_ = fork()) == 0) {
            const int o = ::open(path("sim.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1), dup2(o, 2);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            if (chdir(dir_.c_str()) == 0) execv(argv[0], argv.data());
            _exit(127);
        }
        for (const auto end = Clock::now() + std::chrono::seconds(5); pid_ > 0 && !started_ && msLeft(end);)
            if (!(started_ = exists(link()))) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (started_ && (fd_ = ::open(link().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) >= 0) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~SimProcess() {
        if (fd_ >= 0) ::close(fd_);
        if (pid_ > 0 && !reaped_) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    bool started() const { return started_ && fd_ >= 0; }
    pid_t pid() const { return pid_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string link() const { return path("tty"); }
    long long bytesReceived() const { return bytesReceived_; }
    void send(const std::string& command) {
        const std::string s = command + "\r";
        ASSERT_EQ(::write(fd_, s.data(), s.size()), ssize_t(s.size()));
    }
    // Next complete line (without CR) within timeoutMs.
    std::optional<std::string> readLine(int timeoutMs) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::size_t cr;
        while ((cr = pending_.find('\r')) == std::string::npos)
            if (!pull(msLeft(end)) && !msLeft(end)) return std::nullopt;
        std::string line = pending_.substr(0, cr);
        pending_.erase(0, cr + 1);
        return line;
    }
    // Raw bytes for ms; midLine counts reads that ended inside a line.
    std::string readFor(int ms, int* midLine = nullptr) {
        for (const auto end = Clock::now() + std::chrono::milliseconds(ms); msLeft(end);)
            pull(msLeft(end), midLine);
        return std::exchange(pending_, {});
    }
    // Signal (0: just wait) and wait up to 5 s; exit status or -1.
    int stop(int signal) {
        if (signal) kill(pid_, signal);
        for (const auto end = Clock::now() + std::chrono::seconds(5); !reaped_ && msLeft(end);) {
            int status = 0;
            if ((reaped_ = waitpid(pid_, &status, WNOHANG) == pid_))
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

private:
    bool pull(int timeoutMs, int* midLine = nullptr) {
        pollfd p{fd_, POLLIN, 0};
        char buf[4096];
        const ssize_t n = poll(&p, 1, timeoutMs) > 0 ? ::read(fd_, buf, sizeof buf) : 0;
        if (n <= 0) return false;
        pending_.append(buf, std::size_t(n));
        bytesReceived_ += n;
        if (midLine && buf[n - 1] != '\r') ++*midLine;
        return true;
    }
    std::string dir_, pending_;
    pid_t pid_ = -1;
    int fd_ = -1;
    bool started_ = false, reaped_ = false;
    long long bytesReceived_ = 0;
};

const std::regex kAnyLine(R"(^([a-z]+) ([0-9A-F]{9}|\d+ [0-9A-F]|err [0-9A-F]|\d)$)");

// A quiet simulator: slow values far off, so only answers come back.
std::vector<std::string> quiet(std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--slow-ms", "100000", "--seed", "7"});
    return more;
}

Lines sentTexts(const SimProcess& sim)  // the sent log without timestamps
{
    Lines out;
    for (const auto& l : splitLines(readTextFile(sim.path("sent.log")), '\n'))
        out.push_back(l.substr(l.find(' ') + 1));
    return out;
}

// Commands arrive through the link, a bare CR is no command, and a quiet
// meter sends nothing of its own.
TEST(SimProcess, AnswersThroughTheLink) {
    SimProcess sim(quiet({"--serial", "87654321"}));
    ASSERT_TRUE(sim.started());
    for (const auto& [command, answer] : {std::pair{"", ""}, {"gsn", "gsn 87654321"}, {"GDS", "gds 11203"}}) {
        sim.send(command);
        if (*answer) EXPECT_EQ(sim.readLine(1000).value_or("none"), answer) << "command " << command;
    }
    EXPECT_FALSE(sim.readLine(300)) << "stray output";
}

TEST(SimProcess, SplitAndGarbageStillDeliverTheSentLinesWhole) {
    for (const char* mode : {"--split", "--garbage"}) {
        SCOPED_TRACE(mode);
        SimProcess sim({mode, "--slow-ms", "50", "--fast-ms", "10", "--seed", "11", "--sent-log", "sent.log"});
        ASSERT_TRUE(sim.started());
        sim.send("awm 1");
        int midLine = 0, noisy = 0;
        Lines values;
        for (const auto& seg : splitLines(sim.readFor(1500, &midLine), '\r')) {
            const auto start = std::size_t(std::find_if(seg.begin(), seg.end(), ::isalpha) - seg.begin());
            noisy += start > 0;
            // A CR or a letter in the noise would leave a segment that is no valid line.
            ASSERT_TRUE(std::regex_match(seg.substr(start), kAnyLine)) << "torn or noisy: " << seg;
            if (seg.substr(start) != "awm 1") values.push_back(seg.substr(start));
        }
        EXPECT_GT(std::string(mode) == "--split" ? midLine : noisy, 5);
        EXPECT_EQ(std::string(mode) == "--split" ? noisy : 0, 0);
        const Lines log = sentTexts(sim);
        ASSERT_GE(values.size(), 20u);
        ASSERT_GE(log.size(), values.size());
        EXPECT_EQ(values, Lines(log.begin(), log.begin() + long(values.size())));
    }
}

// Commands in order and counts per key from the stats file, checked against the sent log.
void expectStats(const SimProcess& sim, const Lines& commands, std::map<std::string, int>* sentCounts = nullptr) {
    Lines cmds;
    std::map<std::string, std::string> v;
    for (const auto& l : splitLines(readTextFile(sim.path("stats.txt")), '\n')) {
        if (l.rfind("cmd ", 0) == 0)
            cmds.push_back(l.substr(4));
        else
            v[l.substr(0, l.rfind(' '))] = l.substr(l.rfind(' ') + 1);
    }
    EXPECT_EQ(cmds, commands);
    std::map<std::string, int> logged;
    for (const auto& text : sentTexts(sim))
        ++logged[text.substr(0, text.find(' '))];
    for (const char* key : {"lp", "leq", "max", "p", "q", "r", "gdv"}) {
        ASSERT_TRUE(v.count(std::string("sent ") + key)) << key;
        EXPECT_EQ(std::stoi(v[std::string("sent ") + key]), logged[key]) << key;
    }
    EXPECT_EQ(v["dropped"], "0");
    EXPECT_EQ(std::stoll(v["bytes_out"]), sim.bytesReceived());
    if (sentCounts) *sentCounts = logged;
}

TEST(SimProcess, StatsOnSigusr1AndSigtermListCommandsAndMatchTheSentLog) {
    SimProcess sim(quiet({"--fast-ms", "20", "--stats", "stats.txt", "--sent-log", "sent.log"}));
    ASSERT_TRUE(sim.started());
    Lines sent;
    std::map<std::string, int> counts;
    for (const Lines& batch : {Lines{"gsn", "GDS", "awm 1"}, Lines{"gdv", "swm 2", "awm 1"}}) {
        for (const auto& c : batch)
            sim.send(c), sent.push_back(c);
        sim.readFor(400);
        sim.send("awm 0"), sent.push_back("awm 0");
        sim.readFor(300);
        if (sent.size() == 4) {
            ASSERT_EQ(::kill(sim.pid(), SIGUSR1), 0);
            for (int i = 0; i < 400 && !exists(sim.path("stats.txt")); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            expectStats(sim, sent, &counts);
            EXPECT_GT(counts["p"], 5);
        }
    }
    ASSERT_EQ(sim.stop(SIGTERM), 0);
    EXPECT_FALSE(exists(sim.link())) << "link left behind";
    expectStats(sim, sent, &counts);
    EXPECT_EQ(counts["gdv"], 1);
    EXPECT_GT(counts["q"], 3);
}

}  // namespace
