#pragma once
// A report file is either complete or not there (shell/DurableFile.h): a full
// disk or a quota never leaves half a PDF, nor replaces an earlier report with one.

#include "shell/DurableFile.h"

#include <QString>

namespace kestro {

// Writes path through content. A path that exists and is not a regular file
// (a device, a folder, a pipe) is refused. On failure *error names the path
// and the reason, and neither path nor the fresh file is left changed.
bool writeWholeFile(const QString& path, const FileContentFn& content, QString* error);

// The same file under both names: "./F", a hard link, a symbolic link to it.
bool sameFile(const QString& a, const QString& b);

}  // namespace kestro
