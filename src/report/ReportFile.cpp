#include "report/ReportFile.h"

#include <QFile>

#include <sys/stat.h>

namespace kestro {

bool writeWholeFile(const QString& path, const FileContentFn& content, QString* error) {
    struct stat st {};
    QString why;
    // A device or a pipe cannot be replaced by a file (and must not be).
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        why = QStringLiteral("not a regular file; the report is written only to a file");
    else if (writeFileDurably(path, content, &why))
        return true;
    if (error) *error = path + QStringLiteral(": ") + why;
    return false;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace kestro
