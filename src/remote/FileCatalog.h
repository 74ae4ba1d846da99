#pragma once
// What a record directory offers for download: the files this program writes
// there (record, statistics and events files, side files with their
// signatures and time stamps, the calibration log, the daily reports under
// reports/), each with its size, modification time, whether it is closed and,
// where a closed side file vouches for it as it is now, its SHA-256. Nothing
// else is named, and nothing is reached through a link.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace kestro {

struct CatalogFile {
    QString name;           // relative to the record directory: "x.dat" or "reports/x.pdf"
    const char* kind = "";  // record, statistics, events, side, signature, timestamp, calibration, report
    int64_t size = 0;
    int64_t modifiedMs = 0;  // UTC ms since 1970
    bool closed = false;     // the program will not write it again
    QByteArray sha256;       // lower-case hex of the whole file, from a closed side file; empty: none vouches
};

// The kind of a name the program writes in a record directory (or under its
// reports/), or null for any other name.
const char* catalogKind(const QString& name);

// Kept between requests: the directory is read again only when its entries
// change, and only files that may still change are looked at each time, so
// that a year of series costs the poll thread little per request.
class FileCatalog {
public:
    // Every such file of dir that is a regular file, by name.
    std::vector<CatalogFile> list(const QString& dir);
    // Opens one of them read-only, without following a link and without
    // blocking on a special file; the descriptor (to be closed by the caller)
    // is checked to be a regular file, and file describes it as opened. -1 when not.
    int open(const QString& dir, const QString& name, CatalogFile* file);

private:
    struct Vouch {
        int64_t bytes = 0;
        QByteArray sha256;
    };
    // What a side file says.
    struct Side {
        bool closed = false;
        QByteArray sha256;  // of the side file itself
        std::vector<std::pair<QString, Vouch>> vouches;
        std::vector<QString> names;  // the files of its series, closed or not
    };
    struct Entry {
        CatalogFile file;
        int64_t mtimeNs = -1;  // -1: to be looked at
        Side side;
    };
    void refresh(const QString& dir);
    static Side readSide(int dirFd, const QString& name);
    void judge(Entry& e) const;

    QString dir_;
    int64_t dirMtimeNs_ = -1, reportsMtimeNs_ = -1;
    std::map<QString, Entry> entries_;
    std::map<QString, std::vector<Vouch>> vouched_;  // by file name, from closed side files
    std::map<QString, bool> running_;                // named by an open side file
};

}  // namespace kestro
