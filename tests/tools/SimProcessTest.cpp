// The simulator as a black box: spawned, talked to through its terminal link.
#include "SimHarness.h"

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const std::regex kSlowLine(R"(^(lp|leq|max) (\d+|err) [0-9A-F]$)");
const std::regex kFastLine(R"(^([pqr]) ([0-9A-F]{8})([0-9A-F])$)");
const std::regex kAnyLine(R"(^([a-z]+) ([0-9A-F]{9}|\d+ [0-9A-F]|err [0-9A-F]|\d)$)");

// A quiet simulator: slow values far off, so only answers come back.
std::vector<std::string> quiet(std::vector<std::string> more = {})
{
    std::vector<std::string> a = {"--slow-ms", "100000", "--seed", "7"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

double decodeHexFloat(const std::string& hex)
{
    const auto bits = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::map<std::string, std::string> statsValues(const std::string& text, std::vector<std::string>& cmds)
{
    std::map<std::string, std::string> v;
    for (const auto& line : splitLines(text, '\n')) {
        const auto sp = line.find(' ');
        const std::string key = line.substr(0, sp);
        const std::string rest = line.substr(sp + 1);
        if (key == "cmd") {
            cmds.push_back(rest);
        } else if (key == "sent") {
            const auto sp2 = rest.find(' ');
            v["sent " + rest.substr(0, sp2)] = rest.substr(sp2 + 1);
        } else {
            v[key] = rest;
        }
    }
    return v;
}

// Texts of the sent log, with their timestamps.
std::vector<std::pair<long long, std::string>> sentLog(const std::string& path)
{
    std::vector<std::pair<long long, std::string>> out;
    for (const auto& line : splitLines(readTextFile(path), '\n')) {
        const auto sp = line.find(' ');
        out.emplace_back(std::stoll(line.substr(0, sp)), line.substr(sp + 1));
    }
    return out;
}

bool waitForFile(const std::string& path, int ms)
{
    struct stat st{};
    for (int i = 0; i < ms / 5; ++i) {
        if (stat(path.c_str(), &st) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(SimProcess, AnswersEveryCommandWithExactBytes)
{
    SimProcess sim(quiet({"--serial", "87654321"}));
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());

    struct Case { const char* command; const char* answer; };
    const Case cases[] = {
        {"gsn", "gsn 87654321"},
        {"gds", "gds 11203"},
        {"GDS", "gds 11203"},
        {"smm 1", "smm 1"},
        {"SMM 0", "smm 0"},
        {"awm 0", "awm 0"},
        {"saa 4", "saa 4"},
        {"sso 12", "sso 12"},
        {"sks 7", "sks 7"},
        {"gdi", "gdi"},
        {"gsi", "gsi"},
        {"ldk 3", "ldk"},
        {"ldk", "ldk"},
        {"LDK 0", "ldk"},
        {"sw-rev", "sw-rev V1.23"},
        {"hw-rev", "hw-rev H2.0"},
        {"grc 0", "grc 0 1.0000"},
        {"grc 1", "grc 1 1.0234"},
        {"grc 2", "grc 2 0.9871"},
        {"grc 3", "?"},
        {"gso", "gso 3A"},
        {"rdc", "rdc ok"},
        {"wdc", "wdc ok"},
        {"flash", "flash 2048"},
        {"v_batt", "v_batt 2870"},
        {"v_cpu", "v_cpu 3301"},
        {"v_ana", "v_ana 4998"},
        {"temp", "temp 23"},
        {"supply", "supply 9120"},
        {"swm 1", "swm 1"},
        {"swm ", "swm 1"},
        {"smr 2", "smr 2"},
        {"smm x", "?"},
        {"awm 7", "?"},
        {"xyz 12", "?"},
        {"gds\n", "?"},
    };
    for (const auto& c : cases) {
        sim.send(c.command);
        const auto got = sim.readLine(1000);
        ASSERT_TRUE(got) << "no answer to " << c.command;
        EXPECT_EQ(*got, c.answer) << "command " << c.command;
    }

    // A bare CR is no command: the next answer is the next command's.
    sim.send("");
    sim.send("gsn");
    EXPECT_EQ(sim.readLine(1000).value_or("none"), "gsn 87654321");

    sim.send("gdv");
    const auto gdv = sim.readLine(1000);
    ASSERT_TRUE(gdv);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(*gdv, m, std::regex(R"(^gdv (\d+) ([0-9A-F])$)"))) << *gdv;
    const int tenths = std::stoi(m[1]);
    EXPECT_GE(tenths, 500);  // range 2 brackets 50..110 dB
    EXPECT_LE(tenths, 1100);
    EXPECT_FALSE(sim.readLine(300)) << "stray output";
}

TEST(SimProcess, FunctionAndRangeCommandsChangeStatusDigits)
{
    SimProcess sim(quiet({"--no-faults"}));
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());

    struct Step { const char* command; const char* gds; };
    const Step steps[] = {
        {"swm 2", "gds 22203"},  // LEQ, running
        {"swm 3", "gds 32203"},  // MAX-Hold, running
        {"swm 1", "gds 11203"},  // Lp
        {"swm 4", "gds 11203"},  // calibration cannot be entered remotely
        {"swm", "gds 11203"},    // no digit: no change
        {"swm 3", "gds 32203"},
        {"swm 0", "gds 11203"},  // power key: back to Lp
        {"smr 3", "gds 11303"},
        {"smr 1", "gds 11103"},
        {"smr 9", "gds 11103"},
        {"sks 5", "gds 11153"},
        {"ldk 3", "gds 11133"},
        {"LDK 0", "gds 11103"},
    };
    for (const auto& s : steps) {
        sim.send(s.command);
        ASSERT_TRUE(sim.readLine(1000)) << s.command;
        sim.send("gds");
        EXPECT_EQ(sim.readLine(1000).value_or("none"), s.gds) << "after " << s.command;
    }

    // AUTO keeps the range it settles on in the low bits and sets bit 2.
    sim.send("smr 0");
    EXPECT_EQ(sim.readLine(1000).value_or("none"), "smr 0");
    sim.send("gds");
    const std::string gds = sim.readLine(1000).value_or("none");
    ASSERT_EQ(gds.size(), 9u) << gds;
    const int code = std::stoi(gds.substr(6, 1), nullptr, 16);
    EXPECT_EQ(code & 4, 4) << gds;
    EXPECT_GE(code & 3, 1) << gds;
}

TEST(SimProcess, SlowLinesCarryTheKeyOfTheStartFunction)
{
    struct Case { const char* function; const char* key; };
    const Case cases[] = {{"0", ""}, {"1", "lp"}, {"2", "leq"}, {"3", "max"}, {"4", ""}, {"5", ""}};
    for (const auto& c : cases) {
        SimProcess sim({"--slow-ms", "100", "--seed", "3", "--function", c.function});
        ASSERT_TRUE(sim.started());
        ASSERT_TRUE(sim.openLink());
        sim.send("gds");
        ASSERT_EQ(sim.readLine(1000).value_or("none").substr(0, 5), std::string("gds ") + c.function);
        const auto lines = sim.linesFor(1000);
        if (!*c.key) {
            EXPECT_TRUE(lines.empty()) << "function " << c.function << " sent " << lines.front();
            continue;
        }
        EXPECT_GE(lines.size(), 7u) << "function " << c.function;
        EXPECT_LE(lines.size(), 12u) << "function " << c.function;
        for (const auto& l : lines) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(l, m, kSlowLine)) << l;
            EXPECT_EQ(m[1], c.key);
        }
    }
}

TEST(SimProcess, SlowKeyFollowsFunctionSwitch)
{
    SimProcess sim({"--slow-ms", "100", "--seed", "5"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());

    struct Step { const char* command; const char* key; };
    const Step steps[] = {{"swm 2", "leq"}, {"swm 3", "max"}, {"swm 0", "lp"}, {"swm 2", "leq"}, {"swm 1", "lp"}};
    for (const auto& s : steps) {
        sim.send(s.command);
        // Values queued before the command may precede its echo; after the echo only the new key.
        std::optional<std::string> l;
        while ((l = sim.readLine(1000)) && l->rfind("swm", 0) != 0) {
        }
        ASSERT_TRUE(l) << "no echo to " << s.command;
        const auto lines = sim.linesFor(550);
        EXPECT_GE(lines.size(), 3u) << s.command;
        for (const auto& v : lines) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(v, m, kSlowLine)) << v;
            EXPECT_EQ(m[1], s.key) << "after " << s.command;
        }
    }
}

TEST(SimProcess, FastValuesOnlyWhileArmed)
{
    SimProcess sim(quiet({"--fast-ms", "40", "--no-faults"}));
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());
    EXPECT_TRUE(sim.linesFor(400).empty()) << "fast values before awm 1";

    sim.send("awm 1");
    ASSERT_EQ(sim.readLine(1000).value_or("none"), "awm 1");

    struct Phase { const char* command; const char* key; double dbPerDecade; };
    const Phase phases[] = {{nullptr, "p", 10.0}, {"swm 2", "q", 10.0}, {"swm 3", "r", 20.0}};
    for (const auto& ph : phases) {
        if (ph.command) {
            sim.send(ph.command);
            std::optional<std::string> l;
            while ((l = sim.readLine(1000)) && l->rfind("swm", 0) != 0) {
            }
            ASSERT_TRUE(l);
        }
        const auto lines = sim.linesFor(600);
        EXPECT_GE(lines.size(), 6u) << ph.key;
        for (const auto& l : lines) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(l, m, kFastLine)) << l;
            EXPECT_EQ(m[1], ph.key);
            EXPECT_EQ(m[3], "0");  // no faults
            const double db = ph.dbPerDecade * std::log10(decodeHexFloat(m[2]));
            EXPECT_GE(db, 49.9) << l;  // range 2: 50..110 dB
            EXPECT_LE(db, 110.1) << l;
        }
    }

    sim.send("awm 0");
    std::optional<std::string> l;
    while ((l = sim.readLine(1000)) && *l != "awm 0") {
    }
    ASSERT_TRUE(l);
    const auto after = sim.linesFor(400);
    EXPECT_TRUE(after.empty()) << "fast value after awm 0: " << after.front();
}

TEST(SimProcess, UpperCaseKeys)
{
    SimProcess sim({"--upper", "--slow-ms", "100", "--seed", "2"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());
    for (const auto& [cmd, answer] : {std::pair{"gsn", "GSN 12345678"}, {"sw-rev", "SW-REV V1.23"}, {"ldk 3", "LDK"}}) {
        sim.send(cmd);
        std::optional<std::string> l;
        while ((l = sim.readLine(1000)) && l->rfind("LP ", 0) == 0) {
        }
        EXPECT_EQ(l.value_or("none"), answer);
    }
    const auto lines = sim.linesFor(500);
    ASSERT_FALSE(lines.empty());
    for (const auto& v : lines)
        EXPECT_TRUE(std::regex_match(v, std::regex(R"(^LP (\d+|err) [0-9A-F]$)"))) << v;
}

TEST(SimProcess, SplitStillDeliversWholeLines)
{
    SimProcess sim({"--split", "--slow-ms", "100", "--fast-ms", "20", "--seed", "11", "--sent-log", "sent.log"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());
    sim.send("awm 1");
    int reads = 0;
    int midLine = 0;
    const auto lines = splitLines(sim.readFor(1500, &reads, &midLine), '\r');
    EXPECT_GT(midLine, 0) << "no line arrived in pieces";

    std::vector<std::string> values;
    for (const auto& l : lines) {
        ASSERT_TRUE(std::regex_match(l, kAnyLine)) << "torn line: " << l;
        if (l != "awm 1")
            values.push_back(l);
    }
    ASSERT_GE(values.size(), 20u);
    const auto log = sentLog(sim.path("sent.log"));
    ASSERT_GE(log.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(values[i], log[i].second) << "line " << i;
}

TEST(SimProcess, GarbageNeverContainsCarriageReturnOrLetters)
{
    SimProcess sim({"--garbage", "--slow-ms", "50", "--fast-ms", "10", "--seed", "13", "--sent-log", "sent.log"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());
    sim.send("awm 1");
    const auto segments = splitLines(sim.readFor(1500), '\r');

    int noisy = 0;
    std::vector<std::string> values;
    for (const auto& seg : segments) {
        std::size_t start = 0;
        while (start < seg.size() && !std::isalpha(static_cast<unsigned char>(seg[start])))
            ++start;
        noisy += start > 0 ? 1 : 0;
        const std::string line = seg.substr(start);
        // A CR or a letter in the noise would leave a segment that is no valid line.
        ASSERT_TRUE(std::regex_match(line, kAnyLine)) << "segment without a clean line";
        if (line != "awm 1")
            values.push_back(line);
    }
    EXPECT_GT(noisy, 5);
    const auto log = sentLog(sim.path("sent.log"));
    ASSERT_GE(log.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(values[i], log[i].second) << "line " << i;
}

TEST(SimProcess, SilentAfterStopsAllOutputButStaysAlive)
{
    SimProcess sim({"--silent-after", "0.7", "--slow-ms", "100", "--seed", "4", "--stats", "stats.txt"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());
    sim.send("gsn");
    bool answered = false;
    for (const auto& l : sim.linesFor(300))
        answered = answered || l == "gsn 12345678";
    EXPECT_TRUE(answered);

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    sim.drain(100);
    sim.send("gsn");
    sim.send("gds");
    EXPECT_EQ(sim.readFor(700), "");
    EXPECT_TRUE(sim.running());

    ASSERT_EQ(sim.stop(SIGTERM), 0);
    std::vector<std::string> cmds;
    statsValues(readTextFile(sim.path("stats.txt")), cmds);
    EXPECT_EQ(cmds, (std::vector<std::string>{"gsn", "gsn", "gds"}));
}

TEST(SimProcess, StatsListCommandsAndMatchSentLog)
{
    SimProcess sim(quiet({"--fast-ms", "20", "--stats", "stats.txt", "--sent-log", "sent.log"}));
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());

    auto checkAgainstLog = [&](const std::vector<std::string>& expectCmds) -> std::map<std::string, std::string> {
        std::vector<std::string> cmds;
        auto v = statsValues(readTextFile(sim.path("stats.txt")), cmds);
        EXPECT_EQ(cmds, expectCmds);
        std::map<std::string, int> logged;
        for (const auto& [ms, text] : sentLog(sim.path("sent.log")))
            ++logged["sent " + text.substr(0, text.find(' '))];
        for (const char* key : {"lp", "leq", "max", "p", "q", "r", "gdv"}) {
            const std::string k = std::string("sent ") + key;
            EXPECT_TRUE(v.count(k)) << k;
            EXPECT_EQ(std::stoi(v[k]), logged[k]) << k;
        }
        EXPECT_EQ(v["dropped"], "0");
        EXPECT_EQ(std::stoll(v["bytes_out"]), sim.bytesReceived());
        return v;
    };

    sim.send("gsn");
    sim.send("GDS");
    sim.send("awm 1");
    sim.readFor(400);
    sim.send("awm 0");
    sim.drain(300);
    ASSERT_EQ(::kill(sim.pid(), SIGUSR1), 0);
    ASSERT_TRUE(waitForFile(sim.path("stats.txt"), 2000));
    auto v = checkAgainstLog({"gsn", "GDS", "awm 1", "awm 0"});
    EXPECT_GT(std::stoi(v["sent p"]), 5);

    sim.send("gdv");
    sim.send("swm 2");
    sim.send("awm 1");
    sim.readFor(300);
    sim.send("awm 0");
    sim.drain(300);
    ASSERT_EQ(sim.stop(SIGTERM), 0);
    v = checkAgainstLog({"gsn", "GDS", "awm 1", "awm 0", "gdv", "swm 2", "awm 1", "awm 0"});
    EXPECT_EQ(v["sent gdv"], "1");
    EXPECT_GT(std::stoi(v["sent q"]), 3);
}

TEST(SimProcess, EveryWayOfEndingWritesStatsAndRemovesLink)
{
    struct Case { const char* name; int signal; };
    const Case cases[] = {{"exit-after", 0}, {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--stats", "stats.txt"};
        if (c.signal == 0)
            args.insert(args.end(), {"--exit-after", "0.5"});
        SimProcess sim(args);
        ASSERT_TRUE(sim.started()) << c.name;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(sim.stop(c.signal), 0) << c.name;
        struct stat st{};
        EXPECT_NE(lstat(sim.link().c_str(), &st), 0) << c.name << ": link left behind";
        const std::string stats = readTextFile(sim.path("stats.txt"));
        EXPECT_NE(stats.find("\nbytes_out "), std::string::npos) << c.name;
    }
}

TEST(SimProcess, SurvivesReaderComingAndGoingWithoutSpinningOrStaleData)
{
    SimProcess sim({"--slow-ms", "50", "--fast-ms", "10", "--seed", "8", "--sent-log", "sent.log"});
    ASSERT_TRUE(sim.started());
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    auto cpuTicks = [&] {
        std::ifstream in("/proc/" + std::to_string(sim.pid()) + "/stat");
        std::string f;
        long long ticks = 0;
        for (int i = 1; i <= 15 && in >> f; ++i)
            if (i == 14 || i == 15)
                ticks += std::stoll(f);
        return ticks;
    };
    // A second without a reader must cost next to no processor time.
    EXPECT_LT(cpuTicks() * 1000 / sysconf(_SC_CLK_TCK), 150);

    ASSERT_TRUE(sim.openLink());
    sim.send("awm 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // leave output unread
    sim.closeLink();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const long long reopenedAt = realtimeMs();
    ASSERT_TRUE(sim.openLink());
    const auto first = sim.readLine(1000);
    ASSERT_TRUE(first);
    bool fresh = false;
    for (const auto& [ms, text] : sentLog(sim.path("sent.log")))
        fresh = fresh || (text == *first && ms >= reopenedAt - 2);
    EXPECT_TRUE(fresh) << "stale line after reopening: " << *first;

    sim.send("gsn");
    std::optional<std::string> l;
    while ((l = sim.readLine(1000)) && *l != "gsn 12345678") {
    }
    EXPECT_TRUE(l) << "no answer after reopening";
    EXPECT_TRUE(sim.running());
}

TEST(SimProcess, LineRateFloodsFastValuesAtTheByteRate)
{
    SimProcess sim(quiet({"--line-rate", "--sent-log", "sent.log"}));
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.openLink());
    sim.send("awm 1");
    const std::string got = sim.readFor(1500);
    const auto lines = splitLines(got, '\r');
    int fast = 0;
    for (const auto& l : lines)
        fast += std::regex_match(l, kFastLine) ? 1 : 0;
    // 960 bytes/s of 13-byte lines: far more than the 125 ms timer gives, never more than the line allows.
    EXPECT_GT(fast, 60);
    EXPECT_LT(got.size(), 1500u * 96 / 100 + 64);
}

TEST(SimProcess, HelpListsEveryOptionAndBadOptionsFail)
{
    const std::string out = ::testing::TempDir() + "kestro-sim-help.txt";
    ASSERT_EQ(std::system((std::string(KESTRO_SIM_PATH) + " --help > " + out).c_str()), 0);
    const std::string help = readTextFile(out);
    for (const char* opt : {"--link", "--serial", "--slow-ms", "--fast-ms", "--silent-after", "--garbage", "--split",
                            "--upper", "--line-rate", "--seed", "--exit-after", "--stats", "--sent-log", "--no-faults"})
        EXPECT_NE(help.find(opt), std::string::npos) << opt;
    for (const char* bad : {"--slow-ms 0", "--serial 123456789", "--range 4", "--exit-after -1", "--bogus", "--upper=1",
                            "--link"}) {
        const int rc = std::system((std::string(KESTRO_SIM_PATH) + " " + bad + " 2>/dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 2) << bad;
    }
    std::remove(out.c_str());
}

}  // namespace
