#include "session/EventCommand.h"

#include "shell/Diagnostics.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace kestro {

namespace {

// The recorder's environment without what would hand its secrets on.
QProcessEnvironment commandEnvironment(const QStringList& secrets) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : env.keys()) {
        const bool secretName = (name.startsWith(QLatin1String("KESTRO_")) && name.endsWith(QLatin1String("_TOKEN"))) ||
                                name.endsWith(QLatin1String("_PASSWORD"));
        if (secretName || secrets.contains(env.value(name))) env.remove(name);
    }
    return env;
}

// True while a process of the group is there (a zombie not yet reaped included).
bool groupAlive(pid_t group) { return ::kill(-group, 0) == 0 || errno == EPERM; }

}  // namespace

EventCommand::EventCommand(QStringList command, LogFn log, int timeLimitMs, size_t queueLimit, int graceMs)
    : command_(std::move(command)),
      log_(std::move(log)),
      timeLimitMs_(timeLimitMs),
      queueLimit_(queueLimit),
      graceMs_(graceMs) {
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        if (!process_) return;
        killed_ = true;
        endGroup(group_);
    });
}

EventCommand::~EventCommand() {
    if (process_) process_->disconnect(this);
    if (process_ && group_ > 0) ending_.push_back(group_);
    for (pid_t g : ending_)
        ::kill(-g, SIGTERM);
    // Waiting reaps our own child; the rest of a group belongs to init once it ends.
    const QDeadlineTimer grace(graceMs_);
    auto alive = [this] {
        return std::any_of(ending_.begin(), ending_.end(), groupAlive);
    };
    while (alive() && !grace.hasExpired())
        if (!process_ || !process_->waitForFinished(10)) ::usleep(10000);
    for (pid_t g : ending_)
        ::kill(-g, SIGKILL);
    if (process_) process_->waitForFinished(1000);
}

void EventCommand::setSecrets(const QStringList& values) {
    secrets_.clear();
    for (const QString& v : values)
        if (!v.isEmpty()) secrets_ << v;
}

QString EventCommand::name() const { return QStringLiteral("--on-event ") + command_.value(0); }

void EventCommand::endGroup(pid_t group) {
    if (group <= 0) return;
    ::kill(-group, SIGTERM);
    ending_.push_back(group);
    QTimer::singleShot(graceMs_, this, [this, group] {
        ::kill(-group, SIGKILL);
        ending_.erase(std::remove(ending_.begin(), ending_.end(), group), ending_.end());
    });
}

void EventCommand::post(const QProcessEnvironment& event) {
    queue_.push_back(event);
    const size_t waiting = queue_.size() - (process_ ? 0 : 1);
    if (waiting > queueLimit_) {
        const QProcessEnvironment dropped = queue_.front();
        queue_.pop_front();
        log_(name() + QStringLiteral(" is still busy: the event of %1 (%2) was dropped")
                          .arg(dropped.value(QStringLiteral("KESTRO_EVENT_START")),
                               dropped.value(QStringLiteral("KESTRO_EVENT_PHASE"))));
    }
    if (!process_) startNext();
}

void EventCommand::startNext() {
    if (queue_.empty()) {
        emit drained();
        return;
    }
    QProcessEnvironment env = commandEnvironment(secrets_);
    env.insert(queue_.front());
    queue_.pop_front();
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(env);
    process_->setProgram(command_.value(0));
    process_->setArguments(command_.mid(1));
    process_->setStandardInputFile(QProcess::nullDevice());
    // Its output joins ours: a service's journal, or the terminal it was started from.
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    // A group of its own; and should the recorder die without ending it, the command goes too.
    const pid_t parent = ::getpid();
    process_->setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
    });
    killed_ = false;
    group_ = 0;
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
    if (process_ && process_->processId() > 0) {
        group_ = pid_t(process_->processId());
        qCDebug(lcEvents, "%s started (%s, process group %d)", qUtf8Printable(name()),
                qUtf8Printable(env.value(QStringLiteral("KESTRO_EVENT_PHASE"))), int(group_));
        // Also from here: a signal sent before the child has moved would miss the group.
        ::setpgid(group_, group_);
    }
}

void EventCommand::done(const QString& failure) {
    limit_.stop();
    qCDebug(lcEvents, "%s ended%s", qUtf8Printable(name()), failure.isEmpty() ? "" : " (failed)");
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
