#include "session/EventCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace kestro {

EventCommand::EventCommand(QStringList command, LogFn log, int timeLimitMs, size_t queueLimit)
    : command_(std::move(command)), log_(std::move(log)), timeLimitMs_(timeLimitMs), queueLimit_(queueLimit) {
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        if (!process_) return;
        killed_ = true;
        process_->kill();
    });
}

EventCommand::~EventCommand() {
    if (!process_) return;
    process_->disconnect(this);
    process_->kill();
    process_->waitForFinished(1000);
}

QString EventCommand::name() const { return QStringLiteral("--on-event ") + command_.value(0); }

void EventCommand::post(const QStringList& environment) {
    queue_.push_back(environment);
    const size_t waiting = queue_.size() - (process_ ? 0 : 1);
    if (waiting > queueLimit_) {
        const QStringList dropped = queue_.front();
        queue_.pop_front();
        log_(name() + QStringLiteral(" is still busy: the event of ") +
             dropped.filter(QStringLiteral("KESTRO_EVENT_START=")).value(0).mid(19) + QStringLiteral(" (") +
             dropped.filter(QStringLiteral("KESTRO_EVENT_PHASE=")).value(0).mid(19) + QStringLiteral(") was dropped"));
    }
    if (!process_) startNext();
}

void EventCommand::startNext() {
    if (queue_.empty()) {
        emit drained();
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : queue_.front())
        env.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    queue_.pop_front();
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(env);
    process_->setProgram(command_.value(0));
    process_->setArguments(command_.mid(1));
    process_->setStandardInputFile(QProcess::nullDevice());
    // Its output joins ours: a service's journal, or the terminal it was started from.
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    killed_ = false;
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) done(QStringLiteral("could not be started: ") + process_->errorString());
    });
    connect(process_.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (killed_)
            done(QStringLiteral("took longer than %1 s and was killed").arg(timeLimitMs_ / 1000.0));
        else if (status == QProcess::CrashExit)
            done(QStringLiteral("was ended by a signal"));
        else
            done(code == 0 ? QString() : QStringLiteral("ended with status %1").arg(code));
    });
    limit_.start(timeLimitMs_);
    process_->start();
}

void EventCommand::done(const QString& failure) {
    limit_.stop();
    if (!failure.isEmpty()) log_(name() + QLatin1Char(' ') + failure);
    // Not from within its own signal.
    process_.release()->deleteLater();
    startNext();
}

QStringList splitEventCommand(const QString& command, const QString& workingDir, QString* why) {
    QStringList words = QProcess::splitCommand(command);
    if (words.isEmpty() || words[0].isEmpty()) {
        *why = QStringLiteral("--on-event needs a command");
        return {};
    }
    const QString program = words[0];
    const QString found = program.contains(QLatin1Char('/'))
                              ? QDir::cleanPath(QDir(workingDir).absoluteFilePath(program))
                              : QStandardPaths::findExecutable(program);
    const QFileInfo info(found);
    if (found.isEmpty() || !info.isFile() || !info.isExecutable()) {
        *why = QStringLiteral("--on-event: %1 is no program that can be run").arg(program);
        return {};
    }
    words[0] = found;
    return words;
}

}  // namespace kestro
