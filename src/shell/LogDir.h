#pragma once

#include <QString>
#include <QStringList>

namespace kestro {

// The process environment as "NAME=value" entries, in the order the process holds them.
QStringList processEnvironment();

// The log directory: the value of the first entry whose first eight characters
// are "LOGFILES" (the ninth character is skipped whatever it is), else fallback
// (the state directory). The scan ends at the first empty entry. Trailing "/"
// are removed.
QString findLogDir(const QStringList& environment, const QString& fallback);

}  // namespace kestro
