#include "shell/EventLog.h"
#include "shell/AppendFile.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTime>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace kestro {

namespace {

// The locale's long time format may carry a time-zone token; the log shows
// the wall-clock time only, so drop 't' outside quoted literals.
QString timeFormatWithoutZone(const QString& fmt) {
    QString out;
    bool quoted = false;
    for (QChar c : fmt) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        out += c;
    }
    return out.trimmed();
}

// One write() per line: with O_APPEND the kernel places the whole buffer at
// the end of the file, so concurrent writers never interleave within a line.
void appendBytes(const QString& path, const QByteArray& bytes) {
    const int fd = openForAppend(path);
    if (fd < 0) return;
    ssize_t n;
    do {
        n = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    } while (n < 0 && errno == EINTR);
    ::close(fd);
}

}  // namespace

EventLog::EventLog(QString logDir, const Clock& clock) : logDir_(std::move(logDir)), clock_(clock) {
    while (logDir_.size() > 1 && logDir_.endsWith(QLatin1Char('/')))
        logDir_.chop(1);
}

QString EventLog::mainLogPath() const {
    return logDir_ == QLatin1String("/") ? QStringLiteral("/R270_Kestro.log")
                                         : logDir_ + QStringLiteral("/R270_Kestro.log");
}

QString EventLog::dateTimeText() const {
    const SystemTime t = clock_.now();
    const QDate date(t.wYear, t.wMonth, t.wDay);
    const QTime time(t.wHour, t.wMinute, t.wSecond);
    const QLocale loc = QLocale::system();
    return loc.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
           loc.toString(time, timeFormatWithoutZone(loc.timeFormat(QLocale::LongFormat)));
}

void EventLog::WriteLog(const QString& line) const {
    appendBytes(mainLogPath(), (line + QStringLiteral("\r\n")).toUtf8());
}

void EventLog::logError(const QString& label, int32_t errNo) const {
    WriteLog(dateTimeText() + label + QString::number(errNo));
}

void EventLog::appendTo(const QString& fileName, const QString& text) const {
    const QString dir = logDir_ == QLatin1String("/") ? QString() : logDir_;
    appendBytes(dir + QLatin1Char('/') + fileName, text.toUtf8());
}

ErrorLogFn EventLog::errorSink() const {
    // A copy: the sink may outlive this object, the clock may not.
    const EventLog self = *this;
    return [self](const std::string& label, int32_t errNo) {
        self.logError(QString::fromStdString(label), errNo);
    };
}

}  // namespace kestro
