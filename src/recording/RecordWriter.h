#pragma once
// Appends batches of record lines to record files, one open/write/close per
// batch. A file is synced at most once a second (a sync per tick costs more
// than all the rest of the recording); until then its unsynced lines stay in
// memory too, and when the sync or a later write fails the file is cut back
// to its last synced size and those lines wait like any others. So a batch
// counts as written only once it reached the file and was synced. When a
// file cannot be written (full disk, missing directory, unplugged medium) its
// lines wait in a spool file of the program's state directory (never in a
// record directory, which it would re-create) and are copied over, in order,
// once the file can be written again; a file that comes back after its folder
// went is first cut back to its synced size. Memory and the work per
// batch stay bounded however long the outage lasts. Only when the spool
// itself fails are lines held in memory, up to a limit; beyond it they are
// dropped and counted. A spool file that vanishes or is changed behind the
// writer's back is given up (its lines are reported lost) so that the record
// file does not wait for it forever.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace kestro {

struct WriteOutcome {
    int32_t err = 0;             // 0, or one of the record error numbers (RecordFormat.h)
    int sysErrno = 0;            // the system's errno behind err
    QString reason;              // readable reason for the status bar
    int64_t droppedLines = 0;    // lines of this batch that could not even be held
    QString lostSpool;           // a spool file found removed, replaced or cut short
    int64_t lostSpoolLines = 0;  // the lines that were still waiting in it
    bool restarted = false;      // the file was found empty or gone and begun again with its head
    bool ok() const { return err == 0; }
};

// Maps an errno of open/write/fdatasync/close to our error number.
int32_t recordErrorNumber(int sysErrno);
// The readable reason of an errno, with our own words where the system's mislead.
QString recordErrorReason(int sysErrno);

class RecordWriter {
public:
    // Opens a file for appending: a descriptor, or -1 with errno set.
    using OpenFn = std::function<int(const QString& path)>;

    // A monotonic time in nanoseconds (a seam for tests).
    using MonotonicFn = std::function<int64_t()>;

    static constexpr qint64 kDefaultMemoryLimit = 64 * 1024 * 1024;
    // Catching up after an outage is bounded by time: a tick copies waiting
    // lines for at most kTickBudgetNs (and kDrainChunk bytes), in pieces that
    // are each written and synced, so a slow medium cannot stretch a tick.
    static constexpr qint64 kDrainChunk = 1024 * 1024;
    static constexpr qint64 kDrainPiece = 64 * 1024;
    static constexpr int64_t kTickBudgetNs = 20'000'000;
    static constexpr qint64 kFreeSlice = 16 * 1024 * 1024;
    // The longest a written line stays unsynced while the program runs.
    static constexpr int64_t kSyncEveryNs = 1'000'000'000;

    // spoolDir: where waiting lines are kept (created when first needed);
    // empty: in memory only. open: the seam for tests; by default a regular
    // open that never follows a symbolic link at the last path component.
    explicit RecordWriter(QString spoolDir = QString(), OpenFn open = OpenFn());
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Writes what waits for path (as far as the tick's budget goes), then
    // bytes. An empty batch still creates the file. On failure the unwritten
    // bytes wait.
    WriteOutcome append(const QString& path, const QByteArray& bytes);
    // The calls of append up to the next startTick share one time budget;
    // before the first startTick every call has a budget of its own. A tick
    // also frees a slice of a drained spool (see discard).
    void startTick();
    void setMonotonic(MonotonicFn now) { now_ = std::move(now); }

    // The bytes path begins with (its header line). Once something was written
    // there, a file found empty or gone (its folder replaced by a new one) is
    // begun again with them before its waiting lines; the outcome says so.
    // forgetHead: the series ended; lines still waiting keep it.
    void setHead(const QString& path, const QByteArray& head);
    void forgetHead(const QString& path);

    // The lines waiting for from wait for to instead (the record directory was
    // chosen anew): the file there is begun with its head like one whose folder
    // came back, and a spool keeps its place. head: for a file that has none
    // registered. False when lines already wait for to.
    bool retarget(const QString& from, const QString& to, const QByteArray& head = QByteArray());

    // Files that still have waiting lines, oldest failure first.
    QStringList heldPaths() const;
    // Files whose unsynced lines are due for their sync, which appending an
    // empty batch makes.
    QStringList dueUnsyncedPaths() const;
    qint64 unsyncedBytes() const;
    qint64 heldBytes(const QString& path) const;
    qint64 heldBytes() const;
    qint64 memoryBytes() const { return memoryBytes_; }  // waiting in memory (spool unusable)
    void setMemoryLimit(qint64 bytes) { memoryLimit_ = bytes; }

    // What happened to the lines of one record file that could not be written.
    struct Rescued {
        QString target;         // the record file
        QString savedTo;        // where the lines are now; empty when they are lost
        int64_t lines = 0;      // lines saved there
        int64_t lostLines = 0;  // lines that could be neither written nor saved
    };
    // At exit: writes what it can to the record files; what still cannot be
    // written goes into rescueDir, one file per record file with its name.
    std::vector<Rescued> rescue(const QString& rescueDir);
    // At start: spool files left by a run that could not rescue them (a crash,
    // a power cut) are moved into rescueDir the same way.
    std::vector<Rescued> recoverLeftovers(const QString& rescueDir);

    // The system part: writes bytes to path in one batch and syncs. Returns
    // the outcome and, in *written, how many leading bytes are on disk (after
    // a failure 0, unless a partial write could not be taken back).
    static WriteOutcome writeBatch(const OpenFn& open, const QString& path, const QByteArray& bytes, qint64* written);

private:
    // The same for the pieces that next() hands out until it returns none,
    // each written and synced before next() is asked again; a failed piece is
    // taken back, the earlier ones stay (and count in *written).
    static WriteOutcome writePieces(const OpenFn& open, const QString& path, const std::function<QByteArray()>& next,
                                    qint64* written);
    struct Backlog;
    struct Head {
        QByteArray bytes;
        bool written = false;  // something reached the file: an empty one was begun again
    };
    // The head to write before the next bytes of path: when the file is empty or gone.
    static QByteArray leadOf(const QString& path, const Head* head);
    Head* headOf(const QString& path);
    struct Unsynced {
        QString path;
        qint64 base = -1;            // the file's size at its last sync
        std::pair<dev_t, ino_t> id;  // and which file that is
        QByteArray bytes;            // written since
        int64_t sinceNs = 0;
    };
    // The batch of a file without a backlog: written, synced when due.
    WriteOutcome appendDirect(const QString& path, const QByteArray& bytes, bool forceSync);
    // Syncs every file now; what fails waits as held lines.
    void syncAll();
    static bool stillHolds(const QString& path, const Unsynced& u);
    Backlog* find(const QString& path);
    void hold(Backlog& b, const QByteArray& bytes, WriteOutcome& o);
    bool spool(Backlog& b, const QByteArray& bytes);
    int createSpool(Backlog& b);
    int openSpool(const Backlog& b, int flags, bool* lost) const;
    WriteOutcome drain(Backlog& b, int64_t budgetNs);
    QByteArray readSpool(const Backlog& b, qint64 max) const;
    void forgetSpool(Backlog& b);
    void dropSpool(Backlog& b);
    // The name goes at once, the blocks a slice per tick: the file system
    // takes a second to free a spool of days in one go.
    void discard(const QString& spool);
    void erase(Backlog* b);
    bool moveToRescue(Backlog& b, const QString& rescueDir, Rescued& r);

    QString spoolDir_;
    OpenFn open_;
    qint64 memoryLimit_ = kDefaultMemoryLimit;
    qint64 memoryBytes_ = 0;
    std::vector<std::unique_ptr<Backlog>> backlogs_;
    std::vector<Unsynced> unsynced_;
    std::vector<std::pair<QString, Head>> heads_;  // the files of the series being recorded
    MonotonicFn now_;
    int64_t tickSpentNs_ = -1;  // catch-up time of this tick; -1: no startTick yet
    std::vector<int> freeing_;  // drained spools without a name, shrinking
};

}  // namespace kestro
