#include "report/ReportCommand.h"

#include "kestro/Version.h"
#include "protocol/DeviceCodes.h"
#include "report/ReportDocument.h"
#include "report/ReportFile.h"
#include "statistics/IntervalEngine.h"
#include "statistics/RecordAnalysis.h"
#include "statistics/ZoneTimeline.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <utility>

namespace kestro {

namespace {

int fail(int status, const QString& text) {
    std::fprintf(stderr, "KestroRecorder: %s\n", qPrintable(text));
    return status;
}

}  // namespace

int runReportCommand(int argc, char** argv, const ReportRequest& request,
                     const std::function<DayPeriods()>& storedPeriods, const EvidenceFn& evidence,
                     const QString& language) {
    // No window system: fonts and the PDF painter work on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral(KESTRO_APP_TITLE));
    QGuiApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION_STRING));

    StatisticsConfig config;
    config.intervalSeconds = request.intervalSeconds;
    if (request.singleFlagColumn != 0) config.singleFlagColumn = request.singleFlagColumn;
    if (storedPeriods) config.periods = storedPeriods();
    config.limitTenths = request.limitTenths;

    const QString& file = request.recordFile;
    QString out = request.output;
    if (out.isEmpty()) {
        const QFileInfo fi(file);
        out = fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".pdf"));
    }
    if (sameFile(file, out))
        return fail(1, QStringLiteral("%1 is the record file itself (%2); the report would replace the measurement")
                           .arg(out, file));

    ReportOptions o;
    o.language = ReportLanguage(language);
    // First: which rows of the events file the analysis may use.
    if (evidence) o.evidence = evidence(file);
    if (!request.timeZone.isEmpty()) {
        const QString& zone = request.timeZone;
        if (!o.evidence.timeZone.isEmpty() && o.evidence.timeZone != zone)
            o.timeZoneNote =
                o.language.translate("Report", "given with --tz; the side file says %1").arg(o.evidence.timeZone);
        else
            o.timeZoneNote = o.language.translate("Report", "given with --tz");
        // The side file's offset belongs to its own zone.
        if (o.evidence.timeZone != zone) o.evidence.utcOffsetAtStart.clear();
        o.evidence.timeZone = zone;
    }
    config.timeZone = o.evidence.timeZone.toUtf8();
    config.startOffsetMs = ZoneTimeline::offsetMsOf(o.evidence.utcOffsetAtStart);

    const RecordAnalysis a = analyzeRecordFile(file, config, {}, o.evidence.eventsVouchedBytes);
    if (!a.ok()) return fail(2, a.read.error);
    for (const QString& n : a.read.notices)
        std::fprintf(stderr, "KestroRecorder: %s\n", qPrintable(n));

    o.programVersion = QStringLiteral(KESTRO_APP_TITLE " " KESTRO_VERSION_STRING);
    o.decimalSeparator = QLatin1Char(a.read.decimalSeparator);
    o.flagColumnGiven = request.singleFlagColumn != 0;
    for (const auto& [given, field] :
         {std::pair{&request.site, &o.evidence.location}, std::pair{&request.operatorName, &o.evidence.operatorName},
          std::pair{&request.note, &o.evidence.notes}, std::pair{&request.instrument, &o.evidence.instrument}})
        if (!given->isEmpty()) *field = *given;
    QString error;
    if (!writeReportPdf(a, o, out, &error)) return fail(3, error);
    std::fprintf(stdout, "%s\n", qPrintable(out));
    return 0;
}

}  // namespace kestro
