#include "app/DailyReporter.h"

#include "recording/DailyReports.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>

namespace kestro {

namespace {

constexpr int kMaxDaysBack = 31;

}  // namespace

DailyReporter::DailyReporter(const Clock& clock, Config config, QObject* parent)
    : QObject(parent), clock_(clock), config_(std::move(config)) {
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &DailyReporter::check);
}

DailyReporter::~DailyReporter() {
    if (child_) {
        child_->disconnect(this);
        child_->kill();
        child_->waitForFinished(2000);
    }
}

void DailyReporter::start() {
    const int hour = config_.dayStartHour();
    const int32_t today = assessmentDayOf(absoluteMilliseconds(clock_.now()), hour);
    scan_ = std::async(std::launch::async, [dir = config_.recordDir(), hour, today] {
        Found f;
        f.missing =
            missingReportDays(recordedSeries(dir), reportedDays(dailyReportsDir(dir)), today, hour, kMaxDaysBack);
        f.unvouched = unvouchedDailyReports(dir);
        const QFileInfoList infos =
            QDir(dailyReportsDir(dir)).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        for (qsizetype i = std::max<qsizetype>(0, infos.size() - kMaxDaysBack); i < infos.size(); ++i) {
            QFile json(infos[i].filePath());
            if (dailyReportDayOf(infos[i].fileName()) && json.open(QIODevice::ReadOnly))
                f.reports.emplace_back(json.readAll(), infos[i].lastModified().toMSecsSinceEpoch());
        }
        return f;
    });
    seen_ = true;
    newestDay_ = today;
    timer_.start();
}

void DailyReporter::check() {
    if (scan_.valid() && scan_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        const Found f = scan_.get();
        if (onFound) onFound(f);
        for (int32_t day : f.missing)
            queue(day);
    }
    const int32_t day = assessmentDayOf(absoluteMilliseconds(clock_.now()), config_.dayStartHour());
    if (!seen_) {
        seen_ = true;
        newestDay_ = day;
        return;
    }
    // Set back, the clock passes the day's end again: a day is queued once per run, and not at all once its
    // JSON is there. A clock that was wrong ahead and is set right goes on from where it is now.
    if (day > newestDay_)
        for (int32_t d = std::max(newestDay_, day - kMaxDaysBack); d < day; ++d)
            queue(d);
    newestDay_ = day;
}

void DailyReporter::queue(int32_t day) {
    if (!queued_.insert(day).second || reportedDays(dailyReportsDir(config_.recordDir())).count(day)) return;
    waiting_.push_back(day);
    if (!child_) runNext();
}

void DailyReporter::runNext() {
    if (waiting_.empty()) return;
    running_ = waiting_.front();
    waiting_.pop_front();
    QStringList args{QStringLiteral("--report-day"), dayText(running_), config_.recordDir()};
    const QString serial = config_.serial();
    if (!serial.isEmpty()) args << QStringLiteral("--serial") << serial;
    if (!config_.reportLanguage.isEmpty()) args << QStringLiteral("--report-lang") << config_.reportLanguage;
    child_ = std::make_unique<QProcess>();
    child_->setProcessChannelMode(QProcess::SeparateChannels);
    connect(child_.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const QString out = QString::fromLocal8Bit(child_->readAllStandardOutput()).trimmed();
        const QString err = QString::fromLocal8Bit(child_->readAllStandardError()).trimmed();
        const QString date = dayText(running_);
        if (status == QProcess::NormalExit && code == 0 && !out.isEmpty()) {
            QFile f(out.section(QLatin1Char('\n'), -1));
            Made m;
            m.jsonPath = f.fileName();
            m.day = running_;
            if (f.open(QIODevice::ReadOnly))
                m.sha256 = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
            if (onNotice) onNotice(QStringLiteral("daily report of %1 written: %2").arg(date, m.jsonPath), false);
            if (onMade) onMade(m);
        } else if (onNotice) {
            onNotice(QStringLiteral("daily report of %1 could not be written (status %2): %3")
                         .arg(date)
                         .arg(status == QProcess::NormalExit ? code : -1)
                         .arg(err.isEmpty() ? child_->errorString() : err.section(QLatin1Char('\n'), -1)),
                     true);
        }
        child_.release()->deleteLater();
        runNext();
    });
    connect(child_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        if (onNotice)
            onNotice(QStringLiteral("daily report of %1 could not be started: %2")
                         .arg(dayText(running_), child_->errorString()),
                     true);
        child_.release()->deleteLater();
        runNext();
    });
    child_->start(config_.program, args);
}

}  // namespace kestro
