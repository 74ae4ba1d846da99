#pragma once

#include <QString>

namespace kestro {

// The last component of a path: the text after its last separator ("/" or "\"),
// the whole text when it has none, "" when it ends in a separator.
QString FileTitle(const QString& path);

}  // namespace kestro
