#pragma once
// The one way a whole file is written: into a fresh file beside its name
// (".<name>.XXXXXX"; the mode of the file it replaces, else 0644), synced, renamed over the name only after every
// write, the sync and the close succeeded, and the folder synced so that the
// rename survives a power cut too. A reader finds the old file or the new one,
// never a part; a full disk or a quota leaves the old one and no fresh file.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

namespace kestro {

// Fills out; false (with *error set) when it cannot.
using FileContentFn = std::function<bool(QIODevice* out, QString* error)>;

// On failure *error says why (the system's reason where there is one).
bool writeFileDurably(const QString& path, const FileContentFn& content, QString* error = nullptr);
bool writeFileDurably(const QString& path, const QByteArray& bytes, QString* error = nullptr);
// The same for a file that must not replace one already there (a key pair
// made by two programs at once: the first stays, and both use it). False,
// with *error, also when path exists.
bool createFileDurably(const QString& path, const QByteArray& bytes, int mode, QString* error = nullptr);

}  // namespace kestro
