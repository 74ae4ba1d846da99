#include "ui/recording/RecordFormat.h"
#include "ui/recording/RecordWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "PrintBytes.h"

#include <gtest/gtest.h>

namespace kestro {
namespace {

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class RecordWriterTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    RecordWriter w;
    QString P(const QString& rel) const { return tmp.path() + QLatin1Char('/') + rel; }
};

TEST_F(RecordWriterTest, AppendsBatchesAndCreatesEmptyFiles) {
    EXPECT_TRUE(w.Append(P("a.dat"), QByteArray()).ok());
    EXPECT_TRUE(QFile::exists(P("a.dat")));
    EXPECT_EQ(Read(P("a.dat")), QByteArray());
    EXPECT_TRUE(w.Append(P("a.dat"), "one\r\n").ok());
    EXPECT_TRUE(w.Append(P("a.dat"), "two\r\nthree\r\n").ok());
    EXPECT_EQ(Read(P("a.dat")), QByteArray("one\r\ntwo\r\nthree\r\n"));
    EXPECT_EQ(w.HeldBytes(), 0);
}

TEST_F(RecordWriterTest, FailuresAreNumberedAndHeld) {
    QFile plain(P("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("dir")));
    struct Case {
        QString path;
        int32_t err;
        bool held;
    };
    const Case cases[] = {
        {P("missing/x.dat"), kErrPathNotFound, true},
        {P("plain/x.dat"), kErrPathNotFound, true},  // a regular file where the directory should be
        {P("dir"), kErrPathAccess, true},            // a directory where the file should be
        {QStringLiteral("/dev/full"), kErrDiskFull, true},
        {QString(), kErrBadFileName, false},  // nothing could ever take these lines
        {P(QString(300, QLatin1Char('n'))), kErrBadFileName, true},
    };
    for (const Case& c : cases) {
        RecordWriter fresh;
        const WriteOutcome o = fresh.Append(c.path, "l1\r\n");
        EXPECT_EQ(o.err, c.err) << c.path.toStdString();
        EXPECT_FALSE(o.reason.isEmpty());
        EXPECT_EQ(fresh.HeldBytes(c.path), c.held ? 4 : 0) << c.path.toStdString();
        fresh.Append(c.path, "l2\r\n");
        EXPECT_EQ(fresh.HeldBytes(c.path), c.held ? 8 : 0);
        EXPECT_EQ(fresh.HeldBytes(), c.held ? 8 : 0);
    }
}

TEST_F(RecordWriterTest, DiskFullIsReportedNotSwallowed) {
    qsizetype written = -1;
    const WriteOutcome o = RecordWriter::WriteBatch(QStringLiteral("/dev/full"), QByteArray(4096, 'x'), &written);
    EXPECT_EQ(o.err, kErrDiskFull);
    EXPECT_EQ(written, 0);
    // A sink that takes everything succeeds although it cannot be synced.
    EXPECT_TRUE(RecordWriter::WriteBatch(QStringLiteral("/dev/null"), "x\r\n", &written).ok());
}

TEST_F(RecordWriterTest, HeldLinesGoFirstOnceTheDirectoryIsBack) {
    const QString f = P("stick/rec.dat");
    EXPECT_FALSE(w.Append(f, "1\r\n").ok());
    EXPECT_FALSE(w.Append(f, "2\r\n").ok());
    EXPECT_FALSE(w.Append(P("stick/other.dat"), "o\r\n").ok());
    EXPECT_EQ(w.HeldPaths(), QStringList({f, P("stick/other.dat")}));
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("stick")));
    EXPECT_TRUE(w.Append(f, "3\r\n").ok());
    EXPECT_EQ(Read(f), QByteArray("1\r\n2\r\n3\r\n"));
    EXPECT_EQ(w.HeldBytes(f), 0);
    EXPECT_EQ(w.HeldPaths(), QStringList({P("stick/other.dat")}));
    EXPECT_TRUE(w.Append(P("stick/other.dat"), QByteArray()).ok());
    EXPECT_EQ(Read(P("stick/other.dat")), QByteArray("o\r\n"));
    EXPECT_EQ(w.HeldBytes(), 0);
}

TEST_F(RecordWriterTest, ErrnoMapping) {
    struct Case {
        int e;
        int32_t err;
    };
    const Case cases[] = {{ENOENT, 76}, {ENOTDIR, 76}, {ENOSPC, 61}, {EDQUOT, 61}, {EFBIG, 61},
                          {EIO, 57},    {EMFILE, 67},  {EACCES, 75}, {EROFS, 75},  {EISDIR, 75},
                          {ENAMETOOLONG, 52}};
    for (const Case& c : cases)
        EXPECT_EQ(RecordErrorNumber(c.e), c.err) << c.e;
}

}  // namespace
}  // namespace kestro
