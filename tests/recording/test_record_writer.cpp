// Record files: their names and lines, and the writer through outages: lines
// wait in the spool, come back in order, survive the end of the program, and
// never go through a planted link.

#include "RecorderFixture.h"
#include "recording/RecordFormat.h"
#include "recording/RecordWriter.h"
#include "shell/AppendFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <memory>
#include <tuple>

namespace kestro::test {
namespace {

QByteArray lines(int from, int to) {
    QByteArray out;
    for (int i = from; i < to; ++i)
        out += "line " + QByteArray::number(i) + "\r\n";
    return out;
}

// n pieces of the drain's size, 1024 lines of 64 bytes each.
QByteArray pieces(int n) {
    QByteArray all;
    for (int i = 0; i < n * 1024; ++i)
        all += QByteArray::number(i).rightJustified(63, '.') + '\n';
    return all;
}

class WriterTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString dir(const char* name) const { return tmp.path() + QLatin1Char('/') + QLatin1String(name); }
    QString file() const { return dir("rec") + QStringLiteral("/a.dat"); }
    QStringList spools() const { return QDir(dir("spool")).entryList(QDir::Files, QDir::Name); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(dir("rec"))); }
    void unplug() { ASSERT_TRUE(QDir(dir("rec")).removeRecursively()); }
    void replug() { ASSERT_TRUE(QDir().mkpath(dir("rec"))); }
    // Appends bytes during an outage in pieces of the drain's size.
    void spool(RecordWriter& w, const QByteArray& bytes) {
        for (qsizetype at = 0; at < bytes.size(); at += RecordWriter::kDrainPiece)
            w.append(file(), bytes.mid(at, RecordWriter::kDrainPiece));
    }
};

// A long outage: every batch goes to the spool (not to memory); afterwards the
// backlog drains in chunks, in order, with new lines behind it.
TEST_F(WriterTest, OutageSpoolsAndDrainsInOrder) {
    RecordWriter w(dir("spool"));
    ASSERT_TRUE(w.append(file(), lines(0, 10)).ok());
    unplug();
    int next = 10;
    for (int tick = 0; tick < 8000; ++tick, next += 40)
        ASSERT_EQ(w.append(file(), lines(next, next + 40)).err, 76) << tick;
    EXPECT_EQ(w.memoryBytes(), 0) << "nothing waits in memory while the spool works";
    EXPECT_GT(w.heldBytes(file()), RecordWriter::kDrainChunk * 2);
    EXPECT_EQ(spools().size(), 2u) << "the spool and its sidecar";
    replug();
    int ticks = 0;
    for (; w.heldBytes() > 0 && ticks < 100; ++ticks, next += 40)
        ASSERT_TRUE(w.append(file(), lines(next, next + 40)).ok());
    EXPECT_GT(ticks, 2) << "a large backlog takes several ticks, not one long one";
    // The first ten lines, not yet synced, went with the removed folder and came back.
    EXPECT_TRUE(readFile(file()) == lines(0, next)) << "every line once, in order";
    EXPECT_TRUE(spools().isEmpty());
}

// Catching up is bounded by time: when every written piece costs stepMs, a
// tick copies the pieces that fit in its budget (at least one, at most a
// chunk, none that would end past it), and a second drain in the same tick
// gets only what is left of it.
TEST_F(WriterTest, CatchUpPerTickIsBoundedByTime) {
    constexpr qint64 kPiece = RecordWriter::kDrainPiece;
    const struct {
        int64_t stepMs;
        qint64 first, second;  // pieces per tick: first and second drain
    } cases[] = {{0, 16, 16}, {8, 2, 0}, {30, 1, 0}};
    const QByteArray all = pieces(40);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stepMs);
        int64_t fakeNs = 0;
        RecordWriter w(dir("spool"));
        w.setMonotonic([&fakeNs, &c] { return fakeNs += c.stepMs * 1000000; });
        unplug();
        spool(w, all);
        replug();
        for (int tick = 0; w.heldBytes() > 0 && tick < 50; ++tick) {
            w.startTick();
            const qint64 before = w.heldBytes();
            ASSERT_TRUE(w.append(file(), QByteArray()).ok());
            const qint64 between = w.heldBytes();
            ASSERT_TRUE(w.append(file(), QByteArray()).ok());
            EXPECT_EQ(before - between, std::min(c.first * kPiece, before)) << tick;
            EXPECT_EQ(between - w.heldBytes(), std::min(c.second * kPiece, between)) << tick;
        }
        EXPECT_TRUE(readFile(file()) == all);
    }
}

// Neither file nor spool: lines wait in memory up to the limit, then the
// newest are dropped and counted. Once the spool works again the held lines
// go into it ahead of the new ones.
TEST_F(WriterTest, WithoutSpoolMemoryIsBoundedAndDropsAreCounted) {
    RecordWriter w(dir("missing/spool"));
    ASSERT_TRUE(QFile(dir("missing")).open(QIODevice::WriteOnly));  // a file where the spool's folder should be
    w.setMemoryLimit(1000);
    unplug();
    int64_t dropped = 0;
    for (int i = 0; i < 200; i += 10)
        dropped += w.append(file(), lines(i, i + 10)).droppedLines;
    EXPECT_LE(w.memoryBytes(), 1000);
    EXPECT_GT(dropped, 0);
    ASSERT_TRUE(QFile::remove(dir("missing")));
    w.append(file(), lines(200, 210));
    EXPECT_EQ(w.memoryBytes(), 0);
    replug();
    ASSERT_TRUE(w.append(file(), QByteArray()).ok());
    EXPECT_EQ(readFile(file()), lines(0, int(200 - dropped)) + lines(200, 210));
}

// At exit the waiting lines are saved under the record file's name in the
// rescue folder (unless the record folder is back); spools left by a crash
// are recovered at the next start, without what was copied before the crash.
TEST_F(WriterTest, RescueAtExitAndRecoveryOfLeftovers) {
    const QString rescued = dir("rescued") + QStringLiteral("/a.dat");
    {
        RecordWriter w(dir("spool"));
        unplug();
        w.append(file(), lines(0, 5));
        replug();
        EXPECT_TRUE(w.rescue(dir("rescued")).empty());
        EXPECT_EQ(readFile(file()), lines(0, 5));
        ASSERT_TRUE(QFile::remove(file()));
        unplug();
        w.append(file(), lines(0, 100));
        const auto r = w.rescue(dir("rescued"));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(std::tuple(r[0].target, r[0].savedTo, r[0].lines, r[0].lostLines),
                  std::tuple(file(), rescued, 100, 0));
        EXPECT_TRUE(spools().isEmpty());
    }
    // A run killed while it catches up (the folder is still away) leaves its spool and how far it got.
    const QByteArray backlog = pieces(20);
    auto crashed = std::make_unique<RecordWriter>(dir("spool"));
    crashed->setMonotonic([] { return int64_t{0}; });
    spool(*crashed, backlog);
    replug();
    crashed->startTick();
    ASSERT_TRUE(crashed->append(file(), QByteArray()).ok());
    ASSERT_EQ(readFile(file()).size(), RecordWriter::kDrainChunk);
    crashed.reset();  // what a kill leaves: the files, no rescue
    RecordWriter next(dir("spool"));
    const auto recovered = next.recoverLeftovers(dir("rescued"));
    ASSERT_EQ(recovered.size(), 1u);
    EXPECT_EQ(recovered[0].target, file());
    EXPECT_EQ(recovered[0].lines, backlog.count('\n') - 16 * 1024);
    EXPECT_TRUE(readFile(file()) + readFile(rescued).mid(lines(0, 100).size()) == backlog) << "each line once";
    EXPECT_TRUE(spools().isEmpty());
}

// A link planted under the record file's name (or at the event log's) is
// never written through: its target stays untouched.
TEST_F(WriterTest, SymbolicLinkAtTheFileNameIsRefused) {
    const QString target = dir("victim");
    QFile v(target);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly) && v.write("precious\n") > 0);
    v.close();
    ASSERT_TRUE(QFile::link(target, file()));
    RecordWriter w(dir("spool"));
    const WriteOutcome o = w.append(file(), lines(0, 3));
    EXPECT_EQ(o.sysErrno, ELOOP);
    EXPECT_TRUE(o.reason.contains(QStringLiteral("symbolic link")));
    EXPECT_EQ(readFile(target), QByteArray("precious\n"));
    EXPECT_EQ(w.heldBytes(file()), lines(0, 3).size()) << "the lines wait instead";
    EXPECT_EQ(openForAppend(file()), -1);
}

// A batch that fits only in part is taken back: the file never ends in half a
// line, and none of the batch counts as written.
TEST_F(WriterTest, PartialWriteIsTakenBack) {
    ASSERT_TRUE(RecordWriter().append(file(), lines(0, 2)).ok());
    const QByteArray before = readFile(file());
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{static_cast<rlim_t>(before.size() + 10), old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    qint64 written = -1;
    const WriteOutcome o = RecordWriter::writeBatch(openForAppend, file(), lines(2, 9), &written);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(o.sysErrno, EFBIG);
    EXPECT_EQ(o.err, 61);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(readFile(file()), before);
}

MeasurementRecord sample(int16_t flags, int h, int m, int sec, int ms, int16_t level, double fast, int16_t levelFlags) {
    const SystemTime t{2026, 3, 4, 5, int16_t(h), int16_t(m), int16_t(sec), int16_t(ms)};
    return {flags, dateFromSystemTime(t), t, level, fast, levelFlags, 0};
}

TEST(RecordFormat, FileNames) {
    const SystemTime now{2026, 3, 4, 5, 14, 3, 27, 250};
    const struct {
        const char *dir, *base, *ext, *word;
        SystemTime now;
        const char* expected;
    } cases[] = {
        {"/data", "NoiseData", ".dat", "LEQ", now, "/data/NoiseData_LEQ_20260305_140327.dat"},
        {"/data/", "NoiseData", ".dat", "LP", now, "/data/NoiseData_LP_20260305_140327.dat"},
        {"/", "N", ".txt", "RAW", {2027, 12, 5, 31, 23, 59, 59, 999}, "/N_RAW_20271231_235959.txt"},
        {"/d", "", "", "UnknownType", {2026, 1, 4, 2, 0, 0, 0, 0}, "/d/_UnknownType_20260102_000000"},
    };
    for (const auto& c : cases) {
        RecorderSettings s;
        s.RecordDirectory = QString::fromUtf8(c.dir);
        s.RecordNameBase = QString::fromUtf8(c.base);
        s.RecordFileExtension = QString::fromUtf8(c.ext);
        EXPECT_EQ(recordFilePath(s, QString::fromUtf8(c.word), c.now), QString::fromUtf8(c.expected));
    }
}

// One table for header, slow and fast lines: switches, separators, signs and missing values.
TEST(RecordFormat, Lines) {
    enum Kind { Header, Slow, Fast };
    const struct {
        Kind kind;
        MeasurementRecord r;
        char tab, dec;
        bool time, over, under;
        int32_t err;
        const char* expected;
    } cases[] = {
        {Header, {}, ';', ',', true, true, true, 0, "Time;NoiseValue;Overflow;Underflow\r\n"},
        {Header, {}, ';', ',', false, false, false, 0, ";NoiseValue\r\n"},
        {Header, {}, ' ', ',', false, true, false, 0, " NoiseValue Overflow\r\n"},
        {Slow, sample(1, 14, 3, 27, 250, 653, 0, 0), ';', ',', true, true, true, 0, "14:03:27,250; 65,3; 0; 0\r\n"},
        {Slow, sample(1, 14, 3, 28, 250, 48, 0, 5), ';', ',', true, true, true, 0, "14:03:28,250; 4,8; 1; 1\r\n"},
        {Slow, sample(2, 9, 5, 7, 45, 700, 0, 4), ';', ',', true, true, false, 0, "09:05:07,045; 70,0; 1\r\n"},
        {Slow, sample(1, 9, 5, 7, 45, 653, 0, 0), '\t', '.', false, false, false, 0, "\t 65.3\r\n"},
        {Slow, sample(1, 0, 0, 0, 0, 0, 0, 0), ' ', '.', true, false, false, 0, "00:00:00.000  0.0\r\n"},
        {Slow, sample(1, 1, 2, 3, 4, -5, 0, 0), ';', ',', false, false, false, 0, "; -0,5\r\n"},
        {Slow, sample(1, 1, 2, 3, 4, -32768, 0, 0), ';', ',', false, false, false, 0, "; -3276,8\r\n"},
        {Fast, sample(32, 14, 3, 27, 265, 0, std::pow(10.0, 6.5), 4), ';', ',', true, true, true, 0,
         "14:03:27,265; 65,00; 1; 0\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, std::pow(10.0, 6.505), 0), ';', ',', true, false, false, 0,
         "09:05:07,045; 65,05\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, 0.5, 0), ';', '.', true, false, false, 0, "09:05:07.045; -3.01\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, std::pow(10.0, -0.0004), 0), ';', ',', true, false, false, 0,
         "09:05:07,045; 0,00\r\n"},
        {Fast, sample(16, 9, 5, 7, 45, 0, std::pow(10.0, -0.0009), 0), ';', ',', true, false, false, 0,
         "09:05:07,045; -0,01\r\n"},
        // no logarithm: the line keeps its time and flags with an empty value column
        {Fast, sample(16, 9, 5, 7, 45, 0, 0.0, 5), ';', ',', true, true, true, kErrInvalidCall,
         "09:05:07,045;; 1; 1\r\n"},
        {Fast, sample(64, 9, 5, 7, 45, 0, 1e300, 0), ';', ',', true, false, false, kErrOverflow, "09:05:07,045;\r\n"},
    };
    for (const auto& c : cases) {
        RecorderSettings s;
        s.TabularSeparator = QLatin1Char(c.tab);
        s.DecimalSeparator = QLatin1Char(c.dec);
        s.IncludeSystemTime = c.time;
        s.IncludeOverflow = c.over;
        s.IncludeUnderflow = c.under;
        QByteArray out("x");
        if (c.kind == Header) out += headerLine(s);
        if (c.kind == Slow) appendSlowLine(out, s, c.r);
        if (c.kind == Fast) {
            EXPECT_EQ(appendFastLine(out, s, c.r), c.err) << c.expected;
        }
        EXPECT_EQ(out, "x" + QByteArray(c.expected));
    }
}

// Lines are synced once a second; until then they are kept, and a failure
// cuts the file back to its last sync so that they wait with the new batch.
TEST_F(WriterTest, UnsyncedLinesAreKeptUntilTheirSync) {
    int64_t ns = 0;
    RecordWriter w;
    w.setMonotonic([&ns] { return ns; });
    const struct {
        int64_t atMs;
        int from, to, unsyncedFrom;
    } steps[] = {{0, 0, 2, 0}, {500, 2, 4, 0}, {999, 4, 4, 0}, {1000, 4, 4, 4}, {1100, 4, 6, 4}};
    for (const auto& s : steps) {
        ns = s.atMs * 1000000;
        EXPECT_EQ(w.dueUnsyncedPaths().size(), s.atMs == 1000 ? 1 : 0) << s.atMs;
        ASSERT_TRUE(w.append(file(), lines(s.from, s.to)).ok());
        EXPECT_EQ(w.unsyncedBytes(), lines(s.unsyncedFrom, s.to).size()) << s.atMs;
    }
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{static_cast<rlim_t>(lines(0, 7).size()), old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const WriteOutcome o = w.append(file(), lines(6, 9));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(o.sysErrno, EFBIG);
    EXPECT_EQ(readFile(file()), lines(0, 4));
    EXPECT_EQ(w.heldBytes(file()), lines(4, 9).size());
    ASSERT_TRUE(w.append(file(), lines(9, 10)).ok());
    EXPECT_EQ(readFile(file()), lines(0, 10));
}

// The folder goes between two syncs and comes back (renamed back), or a new
// one is made (also between two ticks): the waiting lines stand once, and a
// file begun again starts with its head; a head that itself waited is not
// written twice.
TEST_F(WriterTest, FolderGoneAndBack) {
    enum Back { Renamed, NewFolder, NewBetweenTicks, GoneBeforeTheHead };
    for (const Back back : {Renamed, NewFolder, NewBetweenTicks, GoneBeforeTheHead}) {
        SCOPED_TRACE(back);
        QDir(dir("rec")).removeRecursively();
        QDir(dir("away")).removeRecursively();
        replug();
        int64_t ns = 0;  // outlives the writer, whose destructor still asks the time
        RecordWriter w(dir("spool"));
        w.setMonotonic([&ns] { return ns; });
        const QByteArray head("head\r\n");
        if (back == GoneBeforeTheHead) unplug();
        w.setHead(file(), head);
        w.append(file(), head);
        ns = 1'000'000'000;
        w.append(file(), lines(0, 2));  // synced
        ns += 100'000'000;
        w.append(file(), lines(2, 4));  // not yet
        if (back != GoneBeforeTheHead) ASSERT_TRUE(QDir().rename(dir("rec"), dir("away")));
        if (back == NewBetweenTicks) replug();
        const WriteOutcome gap = w.append(file(), lines(4, 5));
        EXPECT_EQ(gap.ok(), back == NewBetweenTicks);
        EXPECT_EQ(gap.restarted, back == NewBetweenTicks);
        EXPECT_EQ(QFileInfo::exists(dir("rec")), back == NewBetweenTicks) << "never made by the writer";
        if (back == Renamed)
            ASSERT_TRUE(QDir().rename(dir("away"), dir("rec")));
        else
            replug();
        const WriteOutcome o = w.append(file(), lines(5, 6));
        ASSERT_TRUE(o.ok());
        EXPECT_EQ(o.restarted, back == NewFolder);
        const QByteArray want[] = {head + lines(0, 6), head + lines(2, 6), head + lines(4, 6), head + lines(0, 6)};
        EXPECT_EQ(readFile(file()), want[back]);
        EXPECT_EQ(w.heldBytes(), 0);
    }
}

}  // namespace
}  // namespace kestro::test
