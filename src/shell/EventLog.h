#pragma once
// The event log: one appended line per notable event, one write per line.

#include "core/Errors.h"
#include "core/Types.h"

#include <QString>

namespace kestro {

class EventLog {
public:
    // logDir: directory of the log files, without trailing separator.
    EventLog(QString logDir, const Clock& clock);

    const QString& LogDir() const { return logDir_; }
    QString mainLogPath() const;  // LogDir + "/R270_Kestro.log"

    // Current local date and time in the locale's short date and time with seconds.
    QString dateTimeText() const;
    // Appends line + CR LF to the main log; every failure is ignored.
    void WriteLog(const QString& line) const;
    // WriteLog(dateTimeText() + label + number), the error-handler convention.
    void logError(const QString& label, int32_t errNo) const;
    // Appends text as it stands (no line end added) to LogDir + "/" + fileName.
    void appendTo(const QString& fileName, const QString& text) const;
    // Adapter for the protocol library.
    ErrorLogFn errorSink() const;

private:
    QString logDir_;
    const Clock& clock_;
};

}  // namespace kestro
