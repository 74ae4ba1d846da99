// The record writer through outages: lines wait in the spool, come back in
// order, survive the end of the program, and never go through a planted link.

#include "PrintBytes.h"
#include "recording/RecordWriter.h"
#include "shell/AppendFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <cerrno>

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

class WriterTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString Dir(const char* name) const { return tmp.path() + QLatin1Char('/') + QLatin1String(name); }
    QString File() const { return Dir("rec") + QStringLiteral("/a.dat"); }
    QStringList Spools() const { return QDir(Dir("spool")).entryList(QDir::Files, QDir::Name); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(Dir("rec"))); }
};

// A long outage: every batch goes to the spool (not to memory); afterwards the
// backlog drains in chunks, in order, with new lines behind it.
TEST_F(WriterTest, OutageSpoolsAndDrainsInOrder) {
    RecordWriter w(Dir("spool"));
    ASSERT_TRUE(w.Append(File(), Lines(0, 10)).ok());
    ASSERT_TRUE(QDir(Dir("rec")).removeRecursively());
    int next = 10;
    for (int tick = 0; tick < 8000; ++tick, next += 40) {
        const WriteOutcome o = w.Append(File(), Lines(next, next + 40));
        ASSERT_EQ(o.err, 76) << tick;
    }
    EXPECT_EQ(w.MemoryBytes(), 0) << "nothing waits in memory while the spool works";
    EXPECT_GT(w.HeldBytes(File()), RecordWriter::kDrainChunk * 2);
    EXPECT_EQ(Spools().size(), 2u) << "the spool and its sidecar";
    ASSERT_TRUE(QDir().mkpath(Dir("rec")));
    int ticks = 0;
    while (w.HeldBytes() > 0 && ticks < 100) {
        ASSERT_TRUE(w.Append(File(), Lines(next, next + 40)).ok());
        next += 40;
        ++ticks;
    }
    EXPECT_GT(ticks, 2) << "a large backlog takes several ticks, not one long one";
    // (The first ten lines went with the removed folder.)
    EXPECT_TRUE(ReadAll(File()) == Lines(10, next)) << "every line once, in order";
    EXPECT_TRUE(Spools().isEmpty());
    ASSERT_TRUE(w.Append(File(), Lines(next, next + 1)).ok());
    EXPECT_TRUE(ReadAll(File()).endsWith(Lines(next - 1, next + 1))) << "back to direct writes";
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stepMs);
        const QString file = Dir("rec") + QStringLiteral("/step%1.dat").arg(c.stepMs);
        RecordWriter w(Dir("spool"));
        int64_t fakeNs = 0;
        w.setMonotonic([&fakeNs, &c] { return fakeNs += c.stepMs * 1000000; });
        QByteArray all;
        for (int i = 0; i < 40 * 1024; ++i)
            all += QByteArray::number(i).rightJustified(63, '.') + '\n';  // 1024 lines a piece
        ASSERT_TRUE(QDir(Dir("rec")).removeRecursively());
        for (int i = 0; i < 40; ++i)
            w.Append(file, all.mid(i * kPiece, kPiece));
        ASSERT_TRUE(QDir().mkpath(Dir("rec")));
        for (int tick = 0; w.HeldBytes() > 0 && tick < 50; ++tick) {
            w.StartTick();
            const qint64 before = w.HeldBytes();
            ASSERT_TRUE(w.Append(file, QByteArray()).ok());
            const qint64 between = w.HeldBytes();
            ASSERT_TRUE(w.Append(file, QByteArray()).ok());
            EXPECT_EQ(before - between, std::min(c.first * kPiece, before)) << tick;
            EXPECT_EQ(between - w.HeldBytes(), std::min(c.second * kPiece, between)) << tick;
        }
        EXPECT_TRUE(ReadAll(file) == all);
    }
}

// Neither file nor spool: lines wait in memory up to the limit, then the
// newest are dropped and counted; the held ones still come out in order.
TEST_F(WriterTest, WithoutSpoolMemoryIsBoundedAndDropsAreCounted) {
    RecordWriter w(Dir("missing/spool"));
    QFile blocker(Dir("missing"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the spool's folder should be
    blocker.close();
    w.setMemoryLimit(1000);
    ASSERT_TRUE(QDir(Dir("rec")).removeRecursively());
    int64_t dropped = 0;
    for (int i = 0; i < 200; i += 10)
        dropped += w.Append(File(), Lines(i, i + 10)).droppedLines;
    EXPECT_LE(w.MemoryBytes(), 1000);
    EXPECT_GT(dropped, 0);
    ASSERT_TRUE(QDir().mkpath(Dir("rec")));
    ASSERT_TRUE(w.Append(File(), QByteArray()).ok());
    const QByteArray held = ReadAll(File());
    EXPECT_EQ(held.count('\n') + dropped, 200);
    EXPECT_TRUE(Lines(0, 200).startsWith(held)) << "what was held comes out first and whole";
    EXPECT_EQ(w.MemoryBytes(), 0);
}

// At exit the waiting lines are saved under the record file's name in the
// rescue folder; spools left by a crash are recovered at the next start.
TEST_F(WriterTest, RescueAtExitAndRecoveryOfLeftovers) {
    {
        RecordWriter w(Dir("spool"));
        ASSERT_TRUE(QDir(Dir("rec")).removeRecursively());
        for (int i = 0; i < 100; i += 10)
            w.Append(File(), Lines(i, i + 10));
        const auto rescued = w.Rescue(Dir("rescued"));
        ASSERT_EQ(rescued.size(), 1u);
        EXPECT_EQ(rescued[0].target, File());
        EXPECT_EQ(rescued[0].savedTo, Dir("rescued") + QStringLiteral("/a.dat"));
        EXPECT_EQ(rescued[0].lines, 100);
        EXPECT_EQ(rescued[0].lostLines, 0);
        EXPECT_EQ(ReadAll(rescued[0].savedTo), Lines(0, 100));
        EXPECT_TRUE(Spools().isEmpty());
        EXPECT_EQ(w.HeldBytes(), 0);
    }
    {
        // A run that ends without rescue (killed): its spool stays behind.
        auto* crashed = new RecordWriter(Dir("spool"));
        crashed->Append(File(), Lines(100, 110));
        crashed->Append(File(), Lines(110, 120));
        EXPECT_EQ(Spools().size(), 2u);
        delete crashed;  // what a kill leaves: the files, no rescue
    }
    RecordWriter next(Dir("spool"));
    const auto recovered = next.RecoverLeftovers(Dir("rescued"));
    ASSERT_EQ(recovered.size(), 1u);
    EXPECT_EQ(recovered[0].target, File());
    EXPECT_EQ(recovered[0].lines, 20);
    EXPECT_EQ(ReadAll(Dir("rescued") + QStringLiteral("/a.dat")), Lines(0, 120));
    EXPECT_TRUE(Spools().isEmpty());
}

// If the record folder comes back before the end, nothing needs rescuing.
TEST_F(WriterTest, RescueWritesToTheRecordFileWhenItIsBack) {
    RecordWriter w(Dir("spool"));
    ASSERT_TRUE(QDir(Dir("rec")).removeRecursively());
    w.Append(File(), Lines(0, 5));
    ASSERT_TRUE(QDir().mkpath(Dir("rec")));
    EXPECT_TRUE(w.Rescue(Dir("rescued")).empty());
    EXPECT_EQ(ReadAll(File()), Lines(0, 5));
}

// A link planted under the record file's name (or at the event log's) is
// never written through: its target stays untouched.
TEST_F(WriterTest, SymbolicLinkAtTheFileNameIsRefused) {
    const QString target = Dir("victim");
    QFile v(target);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("precious\n");
    v.close();
    ASSERT_TRUE(QFile::link(target, File()));
    RecordWriter w(Dir("spool"));
    const WriteOutcome o = w.Append(File(), Lines(0, 3));
    EXPECT_FALSE(o.ok());
    EXPECT_EQ(o.sysErrno, ELOOP);
    EXPECT_TRUE(o.reason.contains(QStringLiteral("symbolic link")));
    EXPECT_EQ(ReadAll(target), QByteArray("precious\n"));
    EXPECT_EQ(w.HeldBytes(File()), Lines(0, 3).size()) << "the lines wait instead";
    EXPECT_EQ(OpenForAppend(File()), -1);
}

// A batch that does not fit is taken back: the file never ends in half a line.
TEST_F(WriterTest, PartialWriteIsTakenBack) {
    qint64 written = -1;
    const WriteOutcome o = RecordWriter::WriteBatch(
        [](const QString&) { return ::open("/dev/full", O_WRONLY | O_CLOEXEC); }, File(), Lines(0, 3), &written);
    EXPECT_EQ(o.sysErrno, ENOSPC);
    EXPECT_EQ(written, 0);
}

}  // namespace
}  // namespace kestro
