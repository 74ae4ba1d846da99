#include "remote/IntervalQueue.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

namespace kestro {

namespace {

const QString kQueueFile = QStringLiteral("intervals.jsonl");
const QString kAckFile = QStringLiteral("intervals.acked");
// Acknowledged lines are cut off the front of the file once this many gathered.
constexpr size_t kCompactLines = 1000;

}  // namespace

IntervalQueue::IntervalQueue(QString dir, int64_t maxAgeMs) : dir_(std::move(dir)), maxAgeMs_(maxAgeMs) {}

QString IntervalQueue::queuePath() const { return dir_.isEmpty() ? QString() : dir_ + QLatin1Char('/') + kQueueFile; }

QByteArray IntervalQueue::lineOf(const Entry& e) {
    QJsonObject o;
    o.insert(QStringLiteral("seq"), QString::number(e.seq));
    o.insert(QStringLiteral("queued"), double(e.queuedUtcMs));
    o.insert(QStringLiteral("topic"), QString::fromUtf8(e.topic));
    o.insert(QStringLiteral("payload"), QString::fromUtf8(e.payload));
    if (e.retain) o.insert(QStringLiteral("retain"), true);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

int64_t IntervalQueue::load(int64_t nowUtcMs) {
    if (dir_.isEmpty()) return 0;
    int64_t bad = 0;
    QFile ack(dir_ + QLatin1Char('/') + kAckFile);
    if (ack.open(QIODevice::ReadOnly)) acked_ = ack.readAll().trimmed().toULongLong();
    ackedOnDisk_ = acked_;
    QFile f(queuePath());
    if (f.open(QIODevice::ReadOnly)) {
        while (!f.atEnd()) {
            const QByteArray line = f.readLine();
            if (!line.endsWith('\n')) {  // torn by a crash while it was written
                ++bad;
                break;
            }
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            Entry e;
            e.seq = o.value(QStringLiteral("seq")).toString().toULongLong();
            e.queuedUtcMs = int64_t(o.value(QStringLiteral("queued")).toDouble());
            e.topic = o.value(QStringLiteral("topic")).toString().toUtf8();
            e.payload = o.value(QStringLiteral("payload")).toString().toUtf8();
            e.retain = o.value(QStringLiteral("retain")).toBool();
            if (e.seq == 0 || e.topic.isEmpty()) {
                ++bad;
                continue;
            }
            nextSeq_ = std::max(nextSeq_, e.seq + 1);
            if (e.seq <= acked_ || (!entries_.empty() && e.seq <= entries_.back().seq)) continue;
            entries_.push_back(std::move(e));
        }
    }
    nextSeq_ = std::max(nextSeq_, acked_ + 1);
    const int64_t old = dropExpired(nowUtcMs);
    dropped_ += bad;
    // Starts from a clean file: only what still waits, in order.
    if (entries_.empty())
        removeFiles();
    else
        rewrite();
    return bad + old;
}

bool IntervalQueue::push(const QByteArray& topic, const QByteArray& payload, int64_t nowUtcMs, QString* error,
                         bool retain) {
    dropExpired(nowUtcMs);
    while (entries_.size() >= kMaxEntries) {
        acked_ = std::max(acked_, entries_.front().seq);
        entries_.pop_front();
        ++dropped_;
        fileStale_ = true;
    }
    Entry e;
    e.seq = nextSeq_++;
    e.queuedUtcMs = nowUtcMs;
    e.topic = topic;
    e.payload = payload;
    e.retain = retain;
    entries_.push_back(e);
    if (dir_.isEmpty()) return true;
    if (fileStale_) return rewrite(error);
    if (appendLine(e, error)) return true;
    fileStale_ = true;  // written again in whole once the disk takes it
    return false;
}

int64_t IntervalQueue::dropExpired(int64_t nowUtcMs) {
    int64_t n = 0;
    while (!entries_.empty() && entries_.front().queuedUtcMs < nowUtcMs - maxAgeMs_) {
        acked_ = std::max(acked_, entries_.front().seq);  // as good as delivered: never sent again
        entries_.pop_front();
        ++n;
    }
    dropped_ += n;
    if (n > 0) ackedLines_ += size_t(n);
    return n;
}

void IntervalQueue::acknowledge(uint64_t seq) {
    while (!entries_.empty() && entries_.front().seq <= seq) {
        entries_.pop_front();
        ++ackedLines_;
    }
    acked_ = std::max(acked_, seq);
    if (entries_.empty() || ackedLines_ >= kCompactLines) sync();
}

void IntervalQueue::sync() {
    if (dir_.isEmpty()) return;
    if (entries_.empty()) {
        removeFiles();
        return;
    }
    if (fileStale_ || ackedLines_ >= kCompactLines) {
        rewrite();
        return;
    }
    if (acked_ == ackedOnDisk_) return;
    QSaveFile f(dir_ + QLatin1Char('/') + kAckFile);
    if (f.open(QIODevice::WriteOnly) && f.write(QByteArray::number(qulonglong(acked_)) + '\n') > 0 && f.commit())
        ackedOnDisk_ = acked_;
}

bool IntervalQueue::appendLine(const Entry& e, QString* error) {
    if (!QDir().mkpath(dir_)) {
        if (error) *error = QStringLiteral("cannot create %1").arg(dir_);
        return false;
    }
    QFile f(queuePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error) *error = f.errorString();
        return false;
    }
    const QByteArray line = lineOf(e);
    if (f.write(line) != line.size() || !f.flush()) {
        if (error) *error = f.errorString();
        // A torn line is skipped at the next load; the entry is written again in whole.
        return false;
    }
    return true;
}

bool IntervalQueue::rewrite(QString* error) {
    if (dir_.isEmpty()) return true;
    if (!QDir().mkpath(dir_)) {
        if (error) *error = QStringLiteral("cannot create %1").arg(dir_);
        return false;
    }
    QSaveFile f(queuePath());
    if (!f.open(QIODevice::WriteOnly)) {
        if (error) *error = f.errorString();
        return false;
    }
    for (const Entry& e : entries_)
        f.write(lineOf(e));
    if (!f.commit()) {
        if (error) *error = f.errorString();
        return false;
    }
    // The file holds only waiting entries now; the acknowledged mark may stay
    // as it is (it lies below every entry).
    fileStale_ = false;
    ackedLines_ = 0;
    QSaveFile ack(dir_ + QLatin1Char('/') + kAckFile);
    if (ack.open(QIODevice::WriteOnly) && ack.write(QByteArray::number(qulonglong(acked_)) + '\n') > 0 && ack.commit())
        ackedOnDisk_ = acked_;
    return true;
}

void IntervalQueue::removeFiles() {
    if (dir_.isEmpty()) return;
    // The acknowledged mark stays, so a sequence number is never used twice.
    QFile::remove(queuePath());
    fileStale_ = false;
    ackedLines_ = 0;
    if (acked_ == ackedOnDisk_) return;
    if (!QDir().mkpath(dir_)) return;
    QSaveFile ack(dir_ + QLatin1Char('/') + kAckFile);
    if (ack.open(QIODevice::WriteOnly) && ack.write(QByteArray::number(qulonglong(acked_)) + '\n') > 0 && ack.commit())
        ackedOnDisk_ = acked_;
}

}  // namespace kestro
