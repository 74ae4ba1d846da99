#pragma once
// Diagnostic lines, beside the event log the original design keeps: what the
// port, the poll cycle and the event command do, for finding a fault in the
// field. Off by default; QT_LOGGING_RULES="kestro.*.debug=true" (or one
// category, "kestro.link.debug=true") turns them on, on standard error.

#include <QLoggingCategory>

namespace kestro {

// Opening, closing and losing the serial port.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
// The poll cycle: the meter going online and offline, the commands sent.
Q_DECLARE_LOGGING_CATEGORY(lcSession)
// The --on-event command: each run, its end, an event dropped.
Q_DECLARE_LOGGING_CATEGORY(lcEvents)

}  // namespace kestro
