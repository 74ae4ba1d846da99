#include "report/DayReportCommand.h"

#include "kestro/Version.h"
#include "report/ReportDocument.h"
#include "report/ReportFile.h"
#include "statistics/IntervalEngine.h"
#include "statistics/LevelAccumulator.h"
#include "statistics/RecordAnalysis.h"
#include "statistics/ZoneTimeline.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestro {

namespace {

int fail(int status, const QString& text) {
    std::fprintf(stderr, "KestroRecorder: %s\n", qPrintable(text));
    return status;
}

QByteArray sha256Of(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}

bool within(int64_t localMs, int32_t day, int dayStartHour) { return assessmentDayOf(localMs, dayStartHour) == day; }

// The day's intervals as one series: energies add, extremes are the day's.
IntervalResult daySummary(const std::vector<IntervalResult>& intervals, const IntervalResult& shape) {
    IntervalResult s = shape;
    s.kind = ResultKind::Series;
    s.samples = s.skipped = s.overflow = s.underflow = s.estimated = s.restarts = 0;
    s.energy = s.weight = s.edgeStart = s.edgeEnd = s.edgeInner = 0.0;
    s.leq = s.lmax = s.lmin = s.l5 = s.l10 = s.l50 = s.l90 = s.l95 = IntervalResult::kNoLevel;
    s.overLimit = false;
    if (intervals.empty()) return s;
    s.startMs = intervals.front().startMs;
    s.endMs = intervals.back().endMs;
    for (const IntervalResult& r : intervals) {
        s.samples += r.samples;
        s.skipped += r.skipped;
        s.overflow += r.overflow;
        s.underflow += r.underflow;
        s.estimated += r.estimated;
        s.energy += r.energy;
        s.weight += r.weight;
        if (!std::isnan(r.lmax)) s.lmax = std::isnan(s.lmax) ? r.lmax : std::max(s.lmax, r.lmax);
        if (!std::isnan(r.lmin)) s.lmin = std::isnan(s.lmin) ? r.lmin : std::min(s.lmin, r.lmin);
    }
    if (s.weight > 0.0 && s.energy > 0.0 && gives(s.quantity, Statistic::Leq))
        s.leq = 10.0 * std::log10(s.energy / s.weight);
    return s;
}

// The seconds of h within [fromMs, toMs), added to the day's history.
void addHistory(TimeHistory& day, const TimeHistory& h, int64_t fromMs, int64_t toMs) {
    const int64_t from = std::max(fromMs, h.startMs());
    const int n = int((std::min(toMs, h.endMs()) - from) / TimeHistory::kBucketMs);
    if (h.isEmpty() || n <= 0) return;
    const std::vector<TimeHistory::Column> columns = h.columns(from, from + n * TimeHistory::kBucketMs, n);
    for (int i = 0; i < n; ++i) {
        if (columns[size_t(i)].empty) continue;
        day.add(from + i * TimeHistory::kBucketMs, columns[size_t(i)].minHundredths);
        day.add(from + i * TimeHistory::kBucketMs, columns[size_t(i)].maxHundredths);
    }
}

}  // namespace

std::vector<DaySeries> reportSeries(const std::vector<DaySeries>& ofDay) {
    std::vector<DaySeries> slow, rest;
    for (const DaySeries& s : ofDay) {
        const QString type = parseRecordFileName(s.recordPath).typeWord;
        if (type == QLatin1String("MAX")) continue;  // a running maximum gives no day levels
        (isFastTypeWord(type) ? rest : slow).push_back(s);
    }
    return slow.empty() ? rest : slow;
}

int runReportDayCommand(int argc, char** argv, const DayReportSources& sources) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral(KESTRO_APP_TITLE));
    QGuiApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION_STRING));

    QString date, dir, serial;
    int intervalSeconds = 900;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--report-day") && hasValue && date.isEmpty())
            date = args[++i];
        else if (a == QLatin1String("--serial") && hasValue)
            serial = args[++i];
        else if (a == QLatin1String("--interval") && hasValue)
            intervalSeconds = args[++i].toInt();
        else if (a == QLatin1String("--report-lang") && hasValue)
            ++i;  // resolved by the caller into sources.language
        else if (a.startsWith(QLatin1String("--report-lang=")))
            continue;
        else if (!a.startsWith(QLatin1Char('-')) && dir.isEmpty() && !date.isEmpty())
            dir = a;
        else
            return fail(
                1, QStringLiteral(
                       "--report-day DATE [DIR] [--serial S] [--interval SECONDS] [--report-lang L]: unexpected \"%1\"")
                       .arg(a));
    }
    const std::optional<int32_t> day = parseDayText(date);
    if (!day) return fail(1, QStringLiteral("--report-day wants a date as 2026-12-07, not \"%1\"").arg(date));
    if (!isStatisticsInterval(intervalSeconds))
        return fail(1, QStringLiteral("--interval must be 10, 30, 60, 300, 600, 900, 1800 or 3600 seconds"));
    if (dir.isEmpty() && sources.recordDirectory) dir = sources.recordDirectory();
    if (!QFileInfo(dir).isDir()) return fail(1, QStringLiteral("%1 is not a record directory").arg(dir));
    dir = QFileInfo(dir).absoluteFilePath();

    StatisticsConfig config;
    config.intervalSeconds = intervalSeconds;
    if (sources.periods) config.periods = sources.periods();
    if (!config.periods.valid()) config.periods = DayPeriods();
    const int hour = config.periods.dayStartHour;

    DailyReportContent content;
    content.day = *day;
    content.periods = config.periods;
    content.programVersion = QStringLiteral(KESTRO_APP_TITLE " " KESTRO_VERSION_STRING);
    content.timeZone = QString::fromUtf8(QTimeZone::systemTimeZoneId());

    const std::vector<DaySeries> used =
        reportSeries(seriesOfDay(sources.series ? sources.series(dir) : std::vector<DaySeries>(), *day, hour));
    std::vector<IntervalResult> intervals, hours;
    std::vector<NoiseEvent> events;
    TimeHistory history;
    const int64_t dayFrom = assessmentDayStartMs(*day, hour);
    std::optional<RecordAnalysis> base;
    size_t baseCount = 0;
    ReportOptions o;
    o.language = ReportLanguage(sources.language);
    for (const DaySeries& s : used) {
        const ReportEvidence e = sources.evidence ? sources.evidence(s.recordPath) : ReportEvidence();
        StatisticsConfig c = config;
        c.timeZone = e.timeZone.toUtf8();
        c.startOffsetMs = ZoneTimeline::offsetMsOf(e.utcOffsetAtStart);
        RecordAnalysis a = analyzeRecordFile(s.recordPath, c, {}, e.eventsVouchedBytes);
        if (!a.ok()) return fail(2, a.read.error);
        DaySeriesFigures f;
        f.recordFile = QFileInfo(s.recordPath).fileName();
        f.verification = e.verification;
        f.checksBefore = e.checksBefore;
        f.checksAfter = e.checksAfter;
        size_t mine = 0;
        for (const IntervalResult& r : a.intervals)
            if (within(r.startMs, *day, hour)) {
                intervals.push_back(r);
                ++mine;
            }
        for (const IntervalResult& r : a.hours)
            if (within(r.startMs, *day, hour)) hours.push_back(r);
        for (const NoiseEvent& n : a.events.events) {
            if (!within(n.startLocalMs, *day, hour)) continue;
            (n.kind == EventKind::Marker ? f.markers : f.events) += 1;
            events.push_back(n);
        }
        if (mine == 0) continue;  // touched the day by its end alone
        addHistory(history, a.history, dayFrom, dayFrom + 86400000);
        content.series.push_back(f);
        if (serial.isEmpty()) serial = e.serialNumber;
        if (!e.timeZone.isEmpty() && content.series.size() == 1) content.timeZone = e.timeZone;
        if (!base || mine > baseCount) {
            baseCount = mine;
            o.evidence = e;
            base = std::move(a);
        }
    }
    if (serial.isEmpty() && sources.serial) serial = sources.serial(dir);
    content.serial = serial;

    const QString reports = QDir(dir).filePath(QStringLiteral("reports"));
    if (!QDir().mkpath(reports)) return fail(3, QStringLiteral("%1 cannot be made").arg(reports));
    const QString stem = QDir(reports).filePath(dailyReportBaseName(*day, serial));
    const QString jsonPath = stem + QStringLiteral(".json");

    if (base) {
        auto byStart = [](const IntervalResult& a, const IntervalResult& b) {
            return a.startMs < b.startMs;
        };
        std::stable_sort(intervals.begin(), intervals.end(), byStart);
        std::stable_sort(hours.begin(), hours.end(), byStart);
        std::stable_sort(events.begin(), events.end(),
                         [](const NoiseEvent& a, const NoiseEvent& b) { return a.startLocalMs < b.startLocalMs; });
        RecordAnalysis& a = *base;
        for (const DayLevels& d :
             computeDayLevels(intervals, config.periods, a.zone, a.read.cadenceMs, int64_t{intervalSeconds} * 1000))
            if (d.dayNumber == *day) content.levels = d;
        // The PDF is the base series' report cut to the day, with every series' intervals and events.
        a.summary = daySummary(intervals, a.summary);
        a.withoutMarked = a.summary;
        a.intervals = intervals;
        a.hours = hours;
        a.events.events = events;
        a.history = history;
        a.days.clear();
        if (content.levels) {
            a.days.push_back(*content.levels);
            const DayLevels& d = *content.levels;
            a.read.coveredMs = d.day.coveredMs + d.evening.coveredMs + d.night.coveredMs;
        }
        o.programVersion = content.programVersion;
        o.decimalSeparator = QLatin1Char(a.read.decimalSeparator);
        o.alwaysIntervalCsv = true;
        if (o.evidence.serialNumber.isEmpty()) o.serialNumber = serial;
        const QString pdf = stem + QStringLiteral(".pdf");
        QString error;
        if (!writeReportPdf(a, o, pdf, &error)) return fail(3, error);
        content.pdfName = QFileInfo(pdf).fileName();
        content.pdfSha256 = sha256Of(pdf);
        content.csvName = QFileInfo(intervalCsvPath(pdf)).fileName();
        content.csvSha256 = sha256Of(intervalCsvPath(pdf));
    }
    const QByteArray json = dailyReportJson(content);
    QString error;
    // Last: a day whose JSON is there is done, so the PDF and CSV are there too.
    if (!writeWholeFile(
            jsonPath,
            [&](QIODevice* out, QString* why) {
                if (out->write(json) == json.size()) return true;
                *why = out->errorString();
                return false;
            },
            &error))
        return fail(3, error);
    std::fprintf(stdout, "%s\n", qPrintable(jsonPath));
    return 0;
}

}  // namespace kestro
