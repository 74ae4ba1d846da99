#include "shell/Diagnostics.h"

namespace kestro {

// Warnings and above only, unless QT_LOGGING_RULES says otherwise.
Q_LOGGING_CATEGORY(lcLink, "kestro.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSession, "kestro.session", QtWarningMsg)
Q_LOGGING_CATEGORY(lcEvents, "kestro.events", QtWarningMsg)

}  // namespace kestro
