#include "remote/IntervalQueue.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

constexpr int64_t kT0 = 1772719407250;  // 2026-03-05 14:03:27.250 UTC
constexpr int64_t kDay = 86400000;

QByteArray payload(int i) { return "{\"start\":\"" + QByteArray::number(i) + "\",\"leq\":65.3}"; }

std::vector<QByteArray> payloads(const IntervalQueue& q) {
    std::vector<QByteArray> out;
    for (const IntervalQueue::Entry& e : q.entries())
        out.push_back(e.payload);
    return out;
}

// What a restarted program finds waiting; it checks how many were dropped on loading.
std::vector<QByteArray> reloaded(const QString& dir, int64_t nowUtcMs, int dropped = 0) {
    IntervalQueue q(dir);
    EXPECT_EQ(q.load(nowUtcMs), dropped);
    return payloads(q);
}

TEST(IntervalQueue, WaitingMessagesSurviveARestartInOrder) {
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("mqtt");
    uint64_t lastSeq = 0;
    {
        IntervalQueue q(dir);
        EXPECT_EQ(q.load(kT0), 0);
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(q.push("kestro/1/interval", payload(i), kT0 + i));
        q.acknowledge(q.entries()[1].seq);  // two delivered; a restart before the sync sends them again
        q.sync();
        lastSeq = q.entries().back().seq;
    }
    IntervalQueue again(dir);
    EXPECT_EQ(again.load(kT0 + 10), 0);
    EXPECT_EQ(payloads(again), (std::vector<QByteArray>{payload(2), payload(3), payload(4)}));
    EXPECT_EQ(again.entries().front().topic, "kestro/1/interval");
    // Numbers go on where they stopped: an acknowledgement never hits a new message.
    again.push("kestro/1/interval", payload(5), kT0 + 20);
    EXPECT_GT(again.entries().back().seq, lastSeq);
    // All delivered: nothing left on disk but the mark.
    again.acknowledge(again.entries().back().seq);
    EXPECT_TRUE(again.empty());
    EXPECT_FALSE(QFile::exists(again.queuePath()));
    IntervalQueue third(dir);
    EXPECT_EQ(third.load(kT0 + 30), 0);
    EXPECT_TRUE(third.empty());
    third.push("t", payload(6), kT0 + 40);
    EXPECT_GT(third.entries().back().seq, lastSeq + 1);
}

TEST(IntervalQueue, ATornLastLineIsSkipped) {
    QTemporaryDir tmp;
    {
        IntervalQueue q(tmp.path());
        for (int i = 0; i < 3; ++i)
            q.push("t", payload(i), kT0);
    }
    QFile f(tmp.filePath("intervals.jsonl"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("{\"seq\":\"99\",\"queued\":1,\"topic\":\"t\",\"payl");
    f.close();
    EXPECT_EQ(reloaded(tmp.path(), kT0, 1), (std::vector<QByteArray>{payload(0), payload(1), payload(2)}));
    // The file was written anew without the torn line.
    EXPECT_EQ(reloaded(tmp.path(), kT0).size(), 3u);
}

TEST(IntervalQueue, MessagesOlderThanSevenDaysAreDropped) {
    QTemporaryDir tmp;
    {
        IntervalQueue q(tmp.path());
        q.push("t", payload(0), kT0);
        q.push("t", payload(1), kT0 + kDay);
        q.push("t", payload(2), kT0 + 3 * kDay);
        EXPECT_EQ(q.dropExpired(kT0 + 7 * kDay), 0);
        EXPECT_EQ(q.dropExpired(kT0 + 7 * kDay + 1), 1);
        EXPECT_EQ(q.droppedTotal(), 1);
        q.push("t", payload(3), kT0 + 8 * kDay + 2);  // pushing drops what expired meanwhile
        EXPECT_EQ(payloads(q), (std::vector<QByteArray>{payload(2), payload(3)}));
        q.sync();
    }
    // payload(2) is older than a week by now.
    EXPECT_EQ(reloaded(tmp.path(), kT0 + 10 * kDay + 1, 1), std::vector<QByteArray>{payload(3)});
}

TEST(IntervalQueue, AnUnwritableDirectoryKeepsMessagesInMemory) {
    QTemporaryDir tmp;
    QFile blocker(tmp.filePath("mqtt"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the directory should be
    blocker.close();
    IntervalQueue q(tmp.filePath("mqtt"));
    QString error;
    EXPECT_FALSE(q.push("t", payload(0), kT0, &error) || error.isEmpty());
    EXPECT_FALSE(q.push("t", payload(1), kT0));
    EXPECT_EQ(q.size(), 2u);
    // The disk comes back: everything that waits is written, in order.
    ASSERT_TRUE(QFile::remove(tmp.filePath("mqtt")));
    EXPECT_TRUE(q.push("t", payload(2), kT0));
    EXPECT_EQ(reloaded(tmp.filePath("mqtt"), kT0), (std::vector<QByteArray>{payload(0), payload(1), payload(2)}));
}

TEST(IntervalQueue, TheFileShrinksAsMessagesAreDelivered) {
    QTemporaryDir tmp;
    IntervalQueue q(tmp.path());
    for (int i = 0; i < 2500; ++i)
        q.push("kestro/12345678/interval", payload(i), kT0 + i);
    const qint64 full = QFileInfo(q.queuePath()).size();
    for (int i = 0; i < 2000; ++i)
        q.acknowledge(q.entries().front().seq);
    q.sync();
    EXPECT_LT(QFileInfo(q.queuePath()).size(), full / 2);
    const std::vector<QByteArray> left = reloaded(tmp.path(), kT0);
    ASSERT_EQ(left.size(), 500u);
    EXPECT_EQ(left.front(), payload(2000));
    EXPECT_EQ(left.back(), payload(2499));
}

// In memory too, and bounded: beyond the bound the oldest are dropped.
TEST(IntervalQueue, WithoutADirectoryItWorksInMemoryWithinItsBound) {
    IntervalQueue q{QString()};
    for (size_t i = 0; i < IntervalQueue::kMaxEntries + 3; ++i)
        ASSERT_TRUE(q.push("t", payload(int(i)), kT0));
    EXPECT_EQ(q.size(), IntervalQueue::kMaxEntries);
    EXPECT_EQ(q.droppedTotal(), 3);
    EXPECT_EQ(q.entries().front().payload, payload(3));
    q.acknowledge(q.entries().back().seq);
    EXPECT_TRUE(q.empty());
}

}  // namespace
