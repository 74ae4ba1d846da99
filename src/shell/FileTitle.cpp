#include "shell/FileTitle.h"

#include <algorithm>

namespace kestro {

QString FileTitle(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype backslash = path.lastIndexOf(QLatin1Char('\\'));
    const qsizetype last = std::max(slash, backslash);
    return last < 0 ? path : path.mid(last + 1);
}

}  // namespace kestro
