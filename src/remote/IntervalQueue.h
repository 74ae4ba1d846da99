#pragma once
// Interval messages waiting for the broker, kept on disk so that neither an
// outage nor a restart loses one. An append-only file holds the messages in
// order; a small side file names the last one the broker acknowledged. What
// has waited longer than the bound (7 days) is dropped, oldest first.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>

namespace kestro {

class IntervalQueue {
public:
    static constexpr int64_t kDefaultMaxAgeMs = 7LL * 24 * 3600 * 1000;
    // A safety net far above a week of one-minute intervals of both streams.
    static constexpr size_t kMaxEntries = 200000;

    struct Entry {
        uint64_t seq = 0;
        int64_t queuedUtcMs = 0;
        QByteArray topic;
        QByteArray payload;
        bool retain = false;  // the broker keeps the last one for every newcomer
    };

    // dir: created when missing; empty keeps the queue in memory only.
    explicit IntervalQueue(QString dir, int64_t maxAgeMs = kDefaultMaxAgeMs);

    // What an earlier run left. Returns how many entries were unreadable (a
    // line torn by a crash) or too old.
    int64_t load(int64_t nowUtcMs);
    // Appends a message; false when the disk refused it (it still waits in memory).
    bool push(const QByteArray& topic, const QByteArray& payload, int64_t nowUtcMs, QString* error = nullptr,
              bool retain = false);
    // Drops entries older than the bound; returns how many.
    int64_t dropExpired(int64_t nowUtcMs);
    // The broker took every entry up to and including seq.
    void acknowledge(uint64_t seq);
    // Writes the acknowledged position (done now and then, and at the end).
    void sync();

    const std::deque<Entry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    int64_t droppedTotal() const { return dropped_; }
    QString queuePath() const;

private:
    bool appendLine(const Entry& e, QString* error);
    bool rewrite(QString* error = nullptr);
    void removeFiles();
    static QByteArray lineOf(const Entry& e);

    QString dir_;
    int64_t maxAgeMs_;
    std::deque<Entry> entries_;
    uint64_t nextSeq_ = 1;
    uint64_t acked_ = 0;        // highest acknowledged seq
    uint64_t ackedOnDisk_ = 0;  // as the side file says
    size_t ackedLines_ = 0;     // acknowledged lines still in the file
    bool fileStale_ = false;    // the file misses entries (a failed append)
    int64_t dropped_ = 0;
};

}  // namespace kestro
