// The record writer through outages: lines wait in the spool, come back in
// order, survive the end of the program, and never go through a planted link.

#include "PrintBytes.h"
#include "recording/RecordWriter.h"
#include "shell/AppendFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <cerrno>
#include <csignal>
#include <memory>
#include <tuple>

namespace kestro {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray Lines(int from, int to) {
    QByteArray out;
    for (int i = from; i < to; ++i)
        out += "line " + QByteArray::number(i) + "\r\n";
    return out;
}

// n pieces of the drain's size, 1024 lines of 64 bytes each.
QByteArray Pieces(int n) {
    QByteArray all;
    for (int i = 0; i < n * 1024; ++i)
        all += QByteArray::number(i).rightJustified(63, '.') + '\n';
    return all;
}

class WriterTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString Dir(const char* name) const { return tmp.path() + QLatin1Char('/') + QLatin1String(name); }
    QString File() const { return Dir("rec") + QStringLiteral("/a.dat"); }
    QStringList Spools() const { return QDir(Dir("spool")).entryList(QDir::Files, QDir::Name); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(Dir("rec"))); }
    void Unplug() { ASSERT_TRUE(QDir(Dir("rec")).removeRecursively()); }
    void Replug() { ASSERT_TRUE(QDir().mkpath(Dir("rec"))); }
    // Appends bytes during an outage in pieces of the drain's size.
    void Spool(RecordWriter& w, const QByteArray& bytes) {
        for (qsizetype at = 0; at < bytes.size(); at += RecordWriter::kDrainPiece)
            w.Append(File(), bytes.mid(at, RecordWriter::kDrainPiece));
    }
};

// A long outage: every batch goes to the spool (not to memory); afterwards the
// backlog drains in chunks, in order, with new lines behind it.
TEST_F(WriterTest, OutageSpoolsAndDrainsInOrder) {
    RecordWriter w(Dir("spool"));
    ASSERT_TRUE(w.Append(File(), Lines(0, 10)).ok());
    Unplug();
    int next = 10;
    for (int tick = 0; tick < 8000; ++tick, next += 40)
        ASSERT_EQ(w.Append(File(), Lines(next, next + 40)).err, 76) << tick;
    EXPECT_EQ(w.MemoryBytes(), 0) << "nothing waits in memory while the spool works";
    EXPECT_GT(w.HeldBytes(File()), RecordWriter::kDrainChunk * 2);
    EXPECT_EQ(Spools().size(), 2u) << "the spool and its sidecar";
    Replug();
    int ticks = 0;
    for (; w.HeldBytes() > 0 && ticks < 100; ++ticks, next += 40)
        ASSERT_TRUE(w.Append(File(), Lines(next, next + 40)).ok());
    EXPECT_GT(ticks, 2) << "a large backlog takes several ticks, not one long one";
    // (The first ten lines went with the removed folder.)
    EXPECT_TRUE(ReadAll(File()) == Lines(10, next)) << "every line once, in order";
    EXPECT_TRUE(Spools().isEmpty());
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
    const QByteArray all = Pieces(40);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stepMs);
        RecordWriter w(Dir("spool"));
        int64_t fakeNs = 0;
        w.setMonotonic([&fakeNs, &c] { return fakeNs += c.stepMs * 1000000; });
        Unplug();
        Spool(w, all);
        Replug();
        for (int tick = 0; w.HeldBytes() > 0 && tick < 50; ++tick) {
            w.StartTick();
            const qint64 before = w.HeldBytes();
            ASSERT_TRUE(w.Append(File(), QByteArray()).ok());
            const qint64 between = w.HeldBytes();
            ASSERT_TRUE(w.Append(File(), QByteArray()).ok());
            EXPECT_EQ(before - between, std::min(c.first * kPiece, before)) << tick;
            EXPECT_EQ(between - w.HeldBytes(), std::min(c.second * kPiece, between)) << tick;
        }
        EXPECT_TRUE(ReadAll(File()) == all);
    }
}

// Neither file nor spool: lines wait in memory up to the limit, then the
// newest are dropped and counted. Once the spool works again the held lines
// go into it ahead of the new ones.
TEST_F(WriterTest, WithoutSpoolMemoryIsBoundedAndDropsAreCounted) {
    RecordWriter w(Dir("missing/spool"));
    QFile blocker(Dir("missing"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the spool's folder should be
    blocker.close();
    w.setMemoryLimit(1000);
    Unplug();
    int64_t dropped = 0;
    for (int i = 0; i < 200; i += 10)
        dropped += w.Append(File(), Lines(i, i + 10)).droppedLines;
    EXPECT_LE(w.MemoryBytes(), 1000);
    EXPECT_GT(dropped, 0);
    ASSERT_TRUE(blocker.remove());
    w.Append(File(), Lines(200, 210));
    EXPECT_EQ(w.MemoryBytes(), 0);
    Replug();
    ASSERT_TRUE(w.Append(File(), QByteArray()).ok());
    EXPECT_EQ(ReadAll(File()), Lines(0, int(200 - dropped)) + Lines(200, 210));
}

// At exit the waiting lines are saved under the record file's name in the
// rescue folder (unless the record folder is back); spools left by a crash
// are recovered at the next start, without what was copied before the crash.
TEST_F(WriterTest, RescueAtExitAndRecoveryOfLeftovers) {
    const QString rescued = Dir("rescued") + QStringLiteral("/a.dat");
    {
        RecordWriter w(Dir("spool"));
        Unplug();
        w.Append(File(), Lines(0, 5));
        Replug();
        EXPECT_TRUE(w.Rescue(Dir("rescued")).empty());
        EXPECT_EQ(ReadAll(File()), Lines(0, 5));
        ASSERT_TRUE(QFile::remove(File()));
        Unplug();
        for (int i = 0; i < 100; i += 10)
            w.Append(File(), Lines(i, i + 10));
        const auto r = w.Rescue(Dir("rescued"));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(std::tuple(r[0].target, r[0].savedTo, r[0].lines, r[0].lostLines),
                  std::tuple(File(), rescued, 100, 0));
        EXPECT_EQ(ReadAll(rescued), Lines(0, 100));
        EXPECT_TRUE(Spools().isEmpty());
        EXPECT_EQ(w.HeldBytes(), 0);
    }
    // A run killed while it catches up (the folder is still away) leaves its spool and how far it got.
    const QByteArray backlog = Pieces(20);
    auto crashed = std::make_unique<RecordWriter>(Dir("spool"));
    crashed->setMonotonic([] { return int64_t{0}; });
    Spool(*crashed, backlog);
    Replug();
    crashed->StartTick();
    ASSERT_TRUE(crashed->Append(File(), QByteArray()).ok());
    ASSERT_EQ(ReadAll(File()).size(), RecordWriter::kDrainChunk);
    crashed.reset();  // what a kill leaves: the files, no rescue
    RecordWriter next(Dir("spool"));
    const auto recovered = next.RecoverLeftovers(Dir("rescued"));
    ASSERT_EQ(recovered.size(), 1u);
    EXPECT_EQ(recovered[0].target, File());
    EXPECT_EQ(recovered[0].lines, backlog.count('\n') - 16 * 1024);
    EXPECT_TRUE(ReadAll(File()) + ReadAll(rescued).mid(Lines(0, 100).size()) == backlog) << "each line once";
    EXPECT_TRUE(Spools().isEmpty());
}

// A link planted under the record file's name (or at the event log's) is
// never written through: its target stays untouched.
TEST_F(WriterTest, SymbolicLinkAtTheFileNameIsRefused) {
    const QString target = Dir("victim");
    QFile v(target);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly) && v.write("precious\n") > 0);
    v.close();
    ASSERT_TRUE(QFile::link(target, File()));
    RecordWriter w(Dir("spool"));
    const WriteOutcome o = w.Append(File(), Lines(0, 3));
    EXPECT_EQ(o.sysErrno, ELOOP);
    EXPECT_TRUE(o.reason.contains(QStringLiteral("symbolic link")));
    EXPECT_EQ(ReadAll(target), QByteArray("precious\n"));
    EXPECT_EQ(w.HeldBytes(File()), Lines(0, 3).size()) << "the lines wait instead";
    EXPECT_EQ(OpenForAppend(File()), -1);
}

// A batch that fits only in part is taken back: the file never ends in half a
// line, and none of the batch counts as written.
TEST_F(WriterTest, PartialWriteIsTakenBack) {
    ASSERT_TRUE(RecordWriter().Append(File(), Lines(0, 2)).ok());
    const QByteArray before = ReadAll(File());
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{static_cast<rlim_t>(before.size() + 10), old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    qint64 written = -1;
    const WriteOutcome o = RecordWriter::WriteBatch(OpenForAppend, File(), Lines(2, 9), &written);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(o.sysErrno, EFBIG);
    EXPECT_EQ(o.err, 61);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadAll(File()), before);
}

}  // namespace
}  // namespace kestro
