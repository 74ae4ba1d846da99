#pragma once
// A report file is either complete or not there: it is written into a fresh
// file beside its name and renamed over it only after every write, the sync
// and the close succeeded, so a full disk or a quota never leaves half a PDF
// (nor replaces an earlier report with one).

#include <QIODevice>
#include <QString>

#include <functional>

namespace kestro {

// Fills out; false (with *error set) when it cannot.
using FileContentFn = std::function<bool(QIODevice* out, QString* error)>;

// Writes path through content. A path that exists and is not a regular file
// (a device, a folder, a pipe) is refused. On failure *error names the path
// and the reason, and neither path nor the fresh file is left changed.
bool writeWholeFile(const QString& path, const FileContentFn& content, QString* error);

// The same file under both names: "./F", a hard link, a symbolic link to it.
bool sameFile(const QString& a, const QString& b);

}  // namespace kestro
