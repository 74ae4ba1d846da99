#include "report/ReportCommand.h"

#include "kestro/Version.h"
#include "protocol/DeviceCodes.h"
#include "report/ReportDocument.h"
#include "report/ReportFile.h"
#include "statistics/IntervalEngine.h"
#include "statistics/RecordAnalysis.h"
#include "statistics/ZoneTimeline.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimeZone>
#include <cmath>
#include <cstdio>
#include <utility>

namespace kestro {

namespace {

int fail(int status, const QString& text) {
    std::fprintf(stderr, "KestroRecorder: %s\n", qPrintable(text));
    return status;
}

}  // namespace

int runReportCommand(int argc, char** argv, const std::function<DayPeriods()>& storedPeriods,
                     const EvidenceFn& evidence) {
    // No window system: fonts and the PDF painter work on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral(KESTRO_APP_TITLE));
    QGuiApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION_STRING));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("PDF report of a record file.\nExit status: 0 written, 1 wrong arguments or an output that "
                       "is the record file itself, 2 the record file cannot be read, 3 the PDF cannot be written."));
    parser.addHelpOption();
    const QCommandLineOption report(QStringLiteral("report"), QStringLiteral("The record file to report on."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Interval length in seconds: 10, 30, 60, 300, 600, 900 "
                                                     "(default), 1800 or 3600."),
                                      QStringLiteral("SECONDS"), QStringLiteral("900"));
    const QCommandLineOption limit(QStringLiteral("limit"), QStringLiteral("Limit of the interval Leq in dB."),
                                   QStringLiteral("DB"));
    const QCommandLineOption flagColumn(QStringLiteral("flag-column"),
                                        QStringLiteral("What the one flag column of a record file without a header "
                                                       "line holds: overflow (assumed when not given) or underflow."),
                                        QStringLiteral("KIND"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The PDF to write (default: beside FILE, ending in .pdf)."),
                                    QStringLiteral("OUT.pdf"));
    const QCommandLineOption site(QStringLiteral("site"), QStringLiteral("The location, instead of the side file's."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption operatorName(QStringLiteral("operator"),
                                          QStringLiteral("Who measured, instead of the side file's."),
                                          QStringLiteral("NAME"));
    const QCommandLineOption note(QStringLiteral("note"), QStringLiteral("Notes, instead of the side file's."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption tz(QStringLiteral("tz"),
                                QStringLiteral("The time zone the record file was made in, an IANA name such as "
                                               "Europe/Berlin (default: the side file's, else this computer's)."),
                                QStringLiteral("ZONE"));
    const QCommandLineOption instrument(QStringLiteral("instrument"),
                                        QStringLiteral("The sound level meter's type and class, instead of the side "
                                                       "file's."),
                                        QStringLiteral("TEXT"));
    parser.addOptions({report, interval, limit, flagColumn, output, site, operatorName, note, tz, instrument});
    if (!parser.parse(QCoreApplication::arguments())) return fail(1, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(1, QStringLiteral("unexpected argument: ") + parser.positionalArguments().first());

    StatisticsConfig config;
    bool ok = false;
    config.intervalSeconds = parser.value(interval).toInt(&ok);
    if (!ok || !isStatisticsInterval(config.intervalSeconds))
        return fail(1, QStringLiteral("--interval must be 10, 30, 60, 300, 600, 900, 1800 or 3600 seconds, not \"%1\"")
                           .arg(parser.value(interval)));
    if (parser.isSet(flagColumn)) {
        const QString kind = parser.value(flagColumn);
        if (kind != QLatin1String("overflow") && kind != QLatin1String("underflow"))
            return fail(1, QStringLiteral("--flag-column must be overflow or underflow, not \"%1\"").arg(kind));
        config.singleFlagColumn = kind == QLatin1String("underflow") ? kStatusUnderflow : kStatusOverflow;
    }
    if (storedPeriods) config.periods = storedPeriods();
    if (parser.isSet(limit)) {
        QString text = parser.value(limit);
        text.replace(QLatin1Char(','), QLatin1Char('.'));
        const double db = text.toDouble(&ok);
        if (!ok || !(db > 0.0) || db > 200.0)
            return fail(1,
                        QStringLiteral("--limit must be a level in dB above 0, not \"%1\"").arg(parser.value(limit)));
        config.limitTenths = int32_t(std::lround(db * 10.0));
    }

    const QString file = parser.value(report);
    QString out = parser.value(output);
    if (out.isEmpty()) {
        const QFileInfo fi(file);
        out = fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".pdf"));
    }
    if (sameFile(file, out))
        return fail(1, QStringLiteral("%1 is the record file itself (%2); the report would replace the measurement")
                           .arg(out, file));

    ReportOptions o;
    // First: which rows of the events file the analysis may use.
    if (evidence) o.evidence = evidence(file);
    if (parser.isSet(tz)) {
        const QString zone = parser.value(tz).trimmed();
        if (!QTimeZone::isTimeZoneIdAvailable(zone.toUtf8()))
            return fail(1, QStringLiteral("--tz must name a time zone this computer knows, such as Europe/Berlin, "
                                          "not \"%1\"")
                               .arg(parser.value(tz)));
        if (!o.evidence.timeZone.isEmpty() && o.evidence.timeZone != zone)
            o.timeZoneNote = QStringLiteral("given with --tz; the side file says %1").arg(o.evidence.timeZone);
        else
            o.timeZoneNote = QStringLiteral("given with --tz");
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
    o.flagColumnGiven = parser.isSet(flagColumn);
    for (const auto& [option, field] :
         {std::pair{&site, &o.evidence.location}, std::pair{&operatorName, &o.evidence.operatorName},
          std::pair{&note, &o.evidence.notes}, std::pair{&instrument, &o.evidence.instrument}})
        if (parser.isSet(*option)) *field = parser.value(*option);
    QString error;
    if (!writeReportPdf(a, o, out, &error)) return fail(3, error);
    std::fprintf(stdout, "%s\n", qPrintable(out));
    return 0;
}

}  // namespace kestro
