#pragma once
// Opening a file for appending, shared by the event log and the record writer.

#include <QString>

namespace kestro {

// open(O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644), retried on
// EINTR. A symbolic link planted under the name (in a shared directory) is
// refused with ELOOP instead of being written through.
// Returns the descriptor, or -1 with errno set.
int openForAppend(const QString& path);

}  // namespace kestro
