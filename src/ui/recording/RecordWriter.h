#pragma once
// Appends batches of record lines to record files, one open/write/close per
// batch. A batch counts as written only when all of it reached the file and
// was synced; otherwise it is held, in order, and goes first into the next
// batch for the same file, so a passing failure (full disk, missing
// directory, unplugged medium) loses nothing.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace kestro {

struct WriteOutcome {
    int32_t err = 0;   // 0, or one of the record error numbers (RecordFormat.h)
    int sysErrno = 0;  // the system's errno behind err
    QString reason;    // readable reason for the status bar
    bool ok() const { return err == 0; }
};

// Maps an errno of open/write/fdatasync/close to our error number.
int32_t RecordErrorNumber(int sysErrno);

class RecordWriter {
public:
    // Opens path for appending (creating it), writes the held bytes of path and
    // then bytes in one write, syncs and closes. An empty batch still creates
    // the file. On failure the unwritten bytes are held for path.
    WriteOutcome Append(const QString& path, const QByteArray& bytes);

    // Files that still have held bytes, oldest failure first.
    QStringList HeldPaths() const;
    qsizetype HeldBytes(const QString& path) const;
    qsizetype HeldBytes() const;

    // The system part without holding: returns the outcome and, in *written,
    // how many leading bytes are on disk after a failure (0 unless a partial
    // write could not be taken back).
    static WriteOutcome WriteBatch(const QString& path, const QByteArray& bytes, qsizetype* written);

private:
    std::vector<std::pair<QString, QByteArray>> held_;
};

}  // namespace kestro
