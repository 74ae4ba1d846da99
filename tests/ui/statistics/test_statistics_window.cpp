// The statistics window: live pages fed by the recorders, record files read
// in the background (progress, cancel, errors), spans and the report.
#include "../../statistics/StatTestSupport.h"
#include "recording/EvidenceFiles.h"
#include "report/ReportDocument.h"
#include "statistics/EventsFile.h"
#include "statistics/StatisticsFile.h"
#include "statistics/StatisticsRecorder.h"
#include "support/Speaking.h"
#include "ui/statistics/StatisticsViews.h"
#include "ui/statistics/StatisticsWindow.h"

#include <gtest/gtest.h>
#include <QAbstractProxyModel>
#include <QAccessible>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace kestro {
namespace {

int64_t ms(int h, int m, int s) { return localMs(2026, 3, 5, h, m, s); }

class StatisticsWindowTest : public ::testing::Test {
protected:
    // Numbers in the window follow the interface's locale, here a German one.
    StatisticsWindowTest() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~StatisticsWindowTest() override { QLocale::setDefault(QLocale::c()); }
    // A record file of n slow samples a second apart from 10:00:00, levels 50.0 .. 79.9 dB.
    QString writeFile(int n, const QByteArray& tail = QByteArray()) {
        const QString path = dir.filePath(QStringLiteral("NoiseData_LP_20260305_100000.dat"));
        QByteArray out = "Time;NoiseValue\r\n";
        for (int i = 0; i < n; ++i)
            out += recordLine(ms(10, 0, 0) + i * 1000, 500 + (i * 7) % 300);
        EXPECT_TRUE(writeBytes(path, out + tail));
        return path;
    }
    static bool waitLoaded(QSignalSpy& spy, int ms = 20000) { return spy.count() > 0 || spy.wait(ms); }
    QTemporaryDir dir;
};

// The two showings of a Berlin autumn 02:00 hour are told apart by their offsets.
TEST(IntervalTable, RepeatedHourRowsCarryTheirOffsets) {
    std::vector<IntervalResult> rows(2);
    for (int i = 0; i < 2; ++i) {
        rows[size_t(i)].startMs = localMs(2026, 10, 25, 2, 0, 0);
        rows[size_t(i)].endMs = localMs(2026, 10, 25, 3, 0, 0);
        rows[size_t(i)].utcOffsetS = 7200 - 3600 * i;
    }
    QTableWidget t(0, 14);
    fillIntervalTable(&t, rows, QLatin1Char(','), false, QTimeZone("Europe/Berlin"));
    EXPECT_EQ(
        t.item(0, 0)->text() + u'|' + t.item(0, 1)->text() + u'|' + t.item(1, 0)->text() + u'|' + t.item(1, 1)->text(),
        QStringLiteral("2026-10-25 02:00:00 +02:00|02:00:00 +01:00|2026-10-25 02:00:00 +01:00|03:00:00"));
}

TEST_F(StatisticsWindowTest, LivePagesFollowTheRecorders) {
    StatisticsRecorder rec(StatisticsRecorder::Stream::Slow, {});
    StatisticsConfig cfg;
    cfg.intervalSeconds = 60;
    cfg.limitTenths = 650;
    rec.setConfig(cfg);
    StatisticsWindow w;
    w.setLiveSource(&rec, nullptr);
    EXPECT_EQ(w.live[0].title->text(), "No series recorded yet.");
    EXPECT_EQ(w.live[1].title->text(), "No series recorded yet.");

    rec.startSeries(dir.filePath("NoiseData_LP_20260305_100000.dat"), "LP");
    for (int i = 0; i < 150; ++i)
        rec.addSample(slow(ms(10, 0, 0) + i * 1000, int16_t(i < 60 ? 600 : 700)));
    w.refreshLive();
    EXPECT_TRUE(w.live[0].title->text().startsWith("LP \u2014 NoiseData_LP_20260305_100000.dat"));
    EXPECT_TRUE(w.live[0].running->text().startsWith("Since 2026-03-05 10:00:00:  LAeq 68,1 dBA"))
        << w.live[0].running->text().toStdString();
    EXPECT_TRUE(w.live[0].current->text().startsWith("Interval 10:02:00 \u2013 10:03:00:  LAeq 70,0 dBA"))
        << w.live[0].current->text().toStdString();
    ASSERT_EQ(w.live[0].table->rowCount(), 2);
    EXPECT_EQ(w.live[0].table->item(0, 3)->text(), "60,0");
    EXPECT_EQ(w.live[0].table->item(1, 13)->text(), "over limit");  // 70.0 dB is over the 65.0 dB limit
    EXPECT_EQ(w.live[0].table->item(0, 13)->text(), "");

    // Nothing changed: nothing is redone. A new series starts a new table.
    w.refreshLive();
    EXPECT_EQ(w.live[0].table->rowCount(), 2);
    // A running maximum: the statistics it gives, and its columns only.
    rec.startSeries(dir.filePath("NoiseData_MAX_20260305_100300.dat"), "MAX");
    rec.addSample(slow(ms(10, 3, 0), 700));
    w.refreshLive();
    EXPECT_EQ(w.live[0].table->rowCount(), 0);
    EXPECT_TRUE(w.live[0].title->text().startsWith("MAX"));
    EXPECT_TRUE(w.live[0].running->text().contains("  LAmax 70,0 dBA (since the series began)   (1 samples)"))
        << w.live[0].running->text().toStdString();
    rec.addSample(slow(ms(10, 4, 0), 720));
    w.refreshLive();
    ASSERT_EQ(w.live[0].table->rowCount(), 1);
    EXPECT_TRUE(w.live[0].table->isColumnHidden(3) && !w.live[0].table->isColumnHidden(4));  // LAeq, LAmax
    rec.startSeries(dir.filePath("NoiseData_LP_20260305_100400.dat"), "LP");
    w.refreshLive();
    EXPECT_EQ(w.live[0].running->text(), "Waiting for the first sample.");
}

TEST_F(StatisticsWindowTest, RecordFileIsReadInTheBackgroundWithItsSpans) {
    const QString path = writeFile(4 * 3600, "10:00:0");  // four hours and a torn last line
    StatisticsWindow w;
    StatisticsConfig cfg;
    cfg.intervalSeconds = 900;
    cfg.limitTenths = 700;
    w.setFileConfig(cfg);
    QSignalSpy loaded(&w, &StatisticsWindow::fileLoaded);
    w.openRecordFile(path);
    EXPECT_TRUE(w.isLoading());  // returned at once; the window keeps running
    EXPECT_FALSE(w.progress->isHidden());
    ASSERT_TRUE(waitLoaded(loaded));
    EXPECT_TRUE(loaded.takeFirst().at(0).toBool());
    EXPECT_FALSE(w.isLoading());
    EXPECT_TRUE(w.progress->isHidden());
    ASSERT_NE(w.analysis(), nullptr);
    EXPECT_EQ(w.fileIntervals->rowCount(), 16);
    ASSERT_EQ(w.dayTable->rowCount(), 1);
    EXPECT_EQ(w.dayTable->horizontalHeaderItem(1)->text(), "Ld 07\u201319");
    EXPECT_TRUE(w.dayTable->item(0, 1)->text().endsWith(" (4,0 h)")) << w.dayTable->item(0, 1)->text().toStdString();
    EXPECT_EQ(w.dayTable->item(0, 4)->text(), "- (day 33 %, evening 0 %, night 0 %)");
    EXPECT_TRUE(!w.noticeLabel->isHidden() && w.noticeLabel->text().contains("incomplete"));
    EXPECT_TRUE(w.summaryLabel->text().contains("14400 samples"));
    QAccessibleInterface* bars = QAccessible::queryAccessibleInterface(w.fileBars);
    EXPECT_EQ(bars->text(QAccessible::Name), "Interval levels");
    EXPECT_EQ(bars->text(QAccessible::Description),
              "LAeq of 16 intervals from 2026-03-05 10:00:00 to 2026-03-05 "
              "13:59:59, 71,6 to 71,6 dB; 16 above the limit of 70,0 dB");

    // A span, worked out in the background from the analysis shown.
    QSignalSpy spanned(&w, &StatisticsWindow::spanComputed);
    w.selectSpan(ms(11, 20, 0), ms(11, 29, 59));
    ASSERT_TRUE(spanned.wait(10000));
    EXPECT_EQ(w.spanResult().samples, 600);
    EXPECT_EQ(w.spanResult().leq, analyzeSpan(*w.analysis(), ms(11, 20, 0), ms(11, 29, 59)).leq);
    EXPECT_EQ(w.history->selectionFrom(), ms(11, 20, 0));
}

// Everything the mouse does in the chart, by keys; the span's statistics are
// read out.
TEST_F(StatisticsWindowTest, KeysAloneWorkTheWindow) {
    StatisticsWindow w;
    QSignalSpy loaded(&w, &StatisticsWindow::fileLoaded);
    w.openRecordFile(writeFile(3600));
    ASSERT_TRUE(waitLoaded(loaded));
    w.showFilePage();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.history->setFocus();
    const int64_t from = w.history->range().fromMs, all = w.history->range().toMs - from;
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int64_t rangeFrom, rangeTo, selFrom, selTo;
    } steps[] = {
        {Qt::Key_Plus, {}, from + all / 4, from + all * 3 / 4, 0, 0},
        {Qt::Key_Right, {}, from + all / 4 + all / 8, from + all * 7 / 8, 0, 0},
        {Qt::Key_Minus, {}, from, from + all, 0, 0},
        {Qt::Key_Plus, {}, from + all / 4, from + all * 3 / 4, 0, 0},
        {Qt::Key_Home, {}, from, from + all, 0, 0},
        {Qt::Key_Right, Qt::ShiftModifier, from, from + all, from + all / 2, from + all / 2 + all / 20},
        {Qt::Key_Left, Qt::ShiftModifier, from, from + all, from + all / 2, from + all / 2},
        {Qt::Key_Left, Qt::ShiftModifier, from, from + all, from + all / 2 - all / 20, from + all / 2},
    };
    for (const auto& st : steps) {
        QTest::keyClick(w.history, st.key, st.mods);
        const int64_t selFrom = w.history->hasSelection() ? w.history->selectionFrom() : 0;
        const int64_t selTo = w.history->hasSelection() ? w.history->selectionTo() : 0;
        EXPECT_NEAR(w.history->range().fromMs, st.rangeFrom, 2) << st.key;
        EXPECT_NEAR(w.history->range().toMs, st.rangeTo, 2) << st.key;
        EXPECT_NEAR(selFrom, st.selFrom == st.selTo ? 0 : st.selFrom, 2) << st.key;
        EXPECT_NEAR(selTo, st.selFrom == st.selTo ? 0 : st.selTo, 2) << st.key;
    }
    QSignalSpy spanned(&w, &StatisticsWindow::spanComputed);
    ASSERT_TRUE(spanned.count() > 0 || spanned.wait(10000));
    QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(w.history);
    EXPECT_EQ(chart->role(), QAccessible::Chart);
    EXPECT_TRUE(chart->text(QAccessible::Name).startsWith("Time history, 2026-03-05 10:00:00 to"));
    EXPECT_TRUE(chart->text(QAccessible::Description).contains("LAeq "))
        << chart->text(QAccessible::Description).toStdString();
}

// The report's text as pdftotext reads it, blanks and the font's ligatures folded.
QString pdfText(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    p.waitForFinished(20000);
    QString text = QString::fromUtf8(p.readAllStandardOutput()).simplified();
    return text.replace(QChar(0xFB01), QLatin1String("fi")).replace(QChar(0xFB02), QLatin1String("fl"));
}

TEST_F(StatisticsWindowTest, TheReportSaysHowTheFileWasMade) {
    const RecordAnalysis a = analyzeRecordFile(writeFile(60), StatisticsConfig());
    const int64_t t = ms(9, 0, 0);
    const struct {
        double after;
        const char* drift;
        bool warning;
        const char* range;  // of the check after
    } cases[] = {{94.3, "Drift between the last check before and the first check after the measurement: +0.3 dB.",
                  false, "94.0 – 94.3 dB (2 readings)"},
                 {93.4, "Drift between the last check before and the first check after the measurement: -0.6 dB.", true,
                  "93.4 – 94.0 dB (2 readings)"}};
    for (const auto& c : cases) {
        ReportOptions o;
        o.programVersion = QStringLiteral("KestroRecorder 9.9");
        o.evidence.serialNumber = QStringLiteral("12345678");
        o.evidence.location = QStringLiteral("Garden gate");
        o.evidence.checksBefore = {{t - 60000, 93.0, QStringLiteral("12345678")},
                                   {t, 94.0, QStringLiteral("12345678")}};
        o.evidence.checksAfter = {{t + 7200000, c.after, QStringLiteral("87654321")}, {t + 7260000, 94.0, {}}};
        o.evidence.instrument = QStringLiteral("class 1 sound level meter");
        o.evidence.meterSoftware = QStringLiteral("V1.23");
        o.evidence.eventCriteria = {true, 70.0, 3.0, 2.0};
        o.evidence.verification = QStringLiteral("CHANGED");
        o.evidence.verificationDetail = QStringLiteral("not the recorded bytes");
        const QString pdf = dir.filePath(QStringLiteral("evidence.pdf"));
        QString error;
        ASSERT_TRUE(writeReportPdf(a, o, pdf, &error)) << error.toStdString();
        const QString text = pdfText(pdf);
        // One line per check, readings within two minutes of each other in one.
        for (const char* want :
             {"Meter serial number 12345678", "Location Garden gate", "Operator not given",
              "before 2026-03-05 08:59:00 – 09:00:00 93.0 – 94.0 dB (2 readings) 12345678", c.range,
              "87654321 (another meter), not known", "CHANGED: not the recorded bytes", "Page 1 of",
              "Instrument type and class class 1 sound level meter",
              "Meter revisions software V1.23, hardware not reported", "Duration 00:01:00 (60 samples)",
              "Event criteria event level 70.0 dB, minimum duration 3 s, hysteresis 2.0 dB (from the side file)",
              "The figures come from the slow stream (LP), one reading a second."})
            EXPECT_TRUE(text.contains(QString::fromUtf8(want))) << want << "\n" << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String(c.drift))) << text.toStdString();
        EXPECT_EQ(text.contains(QLatin1String("Warning: more than 0.5 dB")), c.warning);
        // The second time the fast stream of the measurement lies beside it: say which to report on.
        EXPECT_EQ(text.contains(QLatin1String("The fast stream of the same measurement is in "
                                              "NoiseData_LPF_20260305_100001.dat")),
                  c.warning);
        ASSERT_TRUE(writeBytes(dir.filePath(QStringLiteral("NoiseData_LPF_20260305_100001.dat")), "x"));
    }
}

// A report in a language of its own: its words, and that language's decimal
// mark whatever the record file's; the verdict stays as --verify says it.
TEST_F(StatisticsWindowTest, TheReportSpeaksItsOwnLanguage) {
    const RecordAnalysis a = analyzeRecordFile(writeFile(60), StatisticsConfig());
    const struct {
        const char* language;
        std::vector<const char*> wants;
        QChar mark, fileMark;
    } cases[] = {
        {"de",
         {"Bericht der Lärmmessung", "Seite 1 von", "Dateiprüfung CHANGED", "Messort nicht angegeben",
          "Zusammenfassung der ganzen Aufzeichnung"},
         QLatin1Char(','),
         QLatin1Char('.')},
        {"en", {"Noise measurement report", "Page 1 of", "Location not given"}, QLatin1Char('.'), QLatin1Char(',')}};
    for (const auto& c : cases) {
        ReportOptions o;
        o.decimalSeparator = c.fileMark;
        o.evidence.verification = QStringLiteral("CHANGED");
        o.language = ReportLanguage(QLatin1String(c.language));
        const QString pdf = dir.filePath(QStringLiteral("language.pdf"));
        QString error;
        ASSERT_TRUE(writeReportPdf(a, o, pdf, &error)) << error.toStdString();
        const QString text = pdfText(pdf);
        for (const char* want : c.wants)
            EXPECT_TRUE(text.contains(QString::fromUtf8(want))) << want << "\n" << text.toStdString();
        EXPECT_TRUE(text.contains(levelText(a.summary.leq, c.mark)) &&
                    !text.contains(levelText(a.summary.leq, c.fileMark)))
            << c.language << "\n"
            << text.toStdString();
    }
}

// The events file beside the record file: on the chart, in its table, in the
// summary without the marked span, and in the report's section.
TEST_F(StatisticsWindowTest, EventsAndMarkersAreFoundShownAndReported) {
    const QString path = writeFile(60);
    NoiseEvent loud, span;
    loud.startLocalMs = ms(10, 0, 10);
    loud.endLocalMs = ms(10, 0, 22);
    loud.durationMs = 12000;
    loud.lmax = 79.1;
    span.kind = EventKind::Marker;
    span.startLocalMs = ms(10, 0, 30);
    span.endLocalMs = ms(10, 0, 40);
    span.note = "truck";
    QByteArray rows = eventsHeaderLine(StatisticsConfig());
    appendEventRows(rows, StatisticsConfig(), loud);
    appendEventRows(rows, StatisticsConfig(), span);
    ASSERT_TRUE(writeBytes(eventsFilePath(path), rows));
    StatisticsWindow w;
    QSignalSpy loaded(&w, &StatisticsWindow::fileLoaded);
    w.openRecordFile(path);
    ASSERT_TRUE(waitLoaded(loaded));
    ASSERT_EQ(w.fileEvents->rowCount(), 2);
    EXPECT_EQ(w.fileEvents->item(1, 8)->text(), "truck");
    const QString without = levelText(w.analysis()->withoutMarked.leq, QLatin1Char(','));
    EXPECT_TRUE(w.summaryLabel->text().contains("Without the marked spans:  LAeq " + without + " dB"))
        << w.summaryLabel->text().toStdString() << " " << without.toStdString();
    const QString pdf = dir.filePath(QStringLiteral("events.pdf"));
    QString error;
    ASSERT_TRUE(w.writeReport(pdf, &error)) << error.toStdString();
    const QString text = pdfText(pdf);
    for (const QString& want :
         {QStringLiteral("Exceedances of the event level: 1. Marked spans: 1."),
          QStringLiteral("2026-03-05 10:00:10 to 10:00:22, 12,0 s: LAmax 79,1 dBA"),
          QStringLiteral("LAeq of the whole recording: %1 dBA. Without the 1 marked spans (10 of 60 samples left "
                         "out): %2 dBA.")
              .arg(levelText(w.analysis()->summary.leq, QLatin1Char(',')), without)})
        EXPECT_TRUE(text.contains(want)) << want.toStdString() << "\n" << text.toStdString();
}

TEST_F(StatisticsWindowTest, CancelAndUnreadableFilesKeepWhatIsShown) {
    const QString good = writeFile(600);
    StatisticsWindow w;
    QSignalSpy loaded(&w, &StatisticsWindow::fileLoaded);
    w.openRecordFile(good);
    ASSERT_TRUE(waitLoaded(loaded));
    loaded.clear();
    const RecordAnalysis* before = w.analysis();

    // A big file, cancelled straight away.
    const QString big = dir.filePath("NoiseData_LPF_20260305_100000.dat");
    ASSERT_TRUE(writeBytes(big, QByteArray("10:00:00,000; 65,05\r\n").repeated(2000000)));  // 42 MB
    const QString summary = w.summaryLabel->text();
    w.openRecordFile(big);
    EXPECT_TRUE(w.summaryLabel->text().isEmpty()) << "the summary of the file before, while another one loads";
    w.cmdCancel->click();
    ASSERT_TRUE(waitLoaded(loaded));
    EXPECT_FALSE(loaded.takeFirst().at(0).toBool());
    EXPECT_TRUE(w.fileLabel->text().contains("cancelled"));
    EXPECT_EQ(w.analysis(), before);
    EXPECT_EQ(w.summaryLabel->text(), summary);

    // A broken line: the window names file and line, and keeps the file shown before.
    const QString bad = dir.filePath("NoiseData_LP_20260305_120000.dat");
    ASSERT_TRUE(writeBytes(bad, "12:00:00,000; 65,3\r\n12:00:01,000; what\r\n"));
    w.openRecordFile(bad);
    ASSERT_TRUE(waitLoaded(loaded));
    EXPECT_FALSE(loaded.takeFirst().at(0).toBool());
    EXPECT_TRUE(w.fileLabel->text().contains(bad + ", line 2")) << w.fileLabel->text().toStdString();
    EXPECT_EQ(w.analysis(), before);

    // Closing the window while a file is read ends the reading.
    auto* w2 = new StatisticsWindow;
    w2->openRecordFile(big);
    QElapsedTimer t;
    t.start();
    delete w2;
    EXPECT_LT(t.elapsed(), 5000);
}

// "Open record file" starts in the record directory and offers the record
// files only; the one chosen is read.
TEST_F(StatisticsWindowTest, OpenRecordFileListsRecordFilesOnly) {
    const QString record = writeFile(3);
    for (const QString& side : {statisticsFilePath(record), eventsFilePath(record), sideFilePath(record, 1)})
        ASSERT_TRUE(writeBytes(side, "x"));
    StatisticsWindow w;
    w.setRecordDirectory(dir.path());
    w.openRecordFileDialog();
    auto* dialog = w.findChild<QFileDialog*>(QStringLiteral("OpenRecordFileDialog"));
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
    QAbstractProxyModel* shown = dialog->proxyModel();
    auto* files = qobject_cast<QFileSystemModel*>(shown->sourceModel());
    EXPECT_TRUE(QTest::qWaitFor([&] { return files->rowCount(files->index(dir.path())) == 4; }, 10000));
    // Mapped after the files arrived: the proxy's indexes of before may be gone.
    const QModelIndex root = shown->mapFromSource(files->index(dir.path()));
    ASSERT_EQ(shown->rowCount(root), 1) << "the side files hidden";
    EXPECT_EQ(shown->index(0, 0, root).data().toString(), QFileInfo(record).fileName());
    QSignalSpy loaded(&w, &StatisticsWindow::fileLoaded);
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(record).fileName());
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_TRUE(waitLoaded(loaded));
}

// With a file open (and a notice), the window fits a 1366 x 768 laptop at 11 pt
// and a 1920 x 1080 screen at 18 pt, with room for a title bar and a panel, in
// its own words and in German.
TEST_F(StatisticsWindowTest, FitsTheScreenWithAFileOpen) {
    const QString path = writeFile(7200, "10:00:0");
    const QFont font = QApplication::font();
    for (const auto& [language, points, screen] : {std::tuple{"", 11, QSize(1366, 768)},
                                                   {"", 18, QSize(1920, 1080)},
                                                   {"de", 11, QSize(1366, 768)},
                                                   {"de", 18, QSize(1920, 1080)}}) {
        const test::Speaking speaking{QString::fromLatin1(language)};
        ASSERT_TRUE(speaking.loaded());
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), points));
        StatisticsWindow w;
        QSignalSpy loaded(&w, &StatisticsWindow::fileLoaded);
        w.openRecordFile(path);
        ASSERT_TRUE(waitLoaded(loaded));
        w.showFilePage();
        w.show();
        QCoreApplication::processEvents();
        // Its narrowest, and its place on the screen, maximised: every wrapped line shows.
        const std::string where = std::to_string(points) + " pt " + language;
        EXPECT_LE(w.minimumSizeHint().width(), screen.width()) << where;
        EXPECT_LE(w.minimumSizeHint().height(), screen.height() - 64) << where;
        EXPECT_LE(w.width(), screen.width()) << where;
        w.resize(screen.width(), screen.height() - 64);
        QCoreApplication::processEvents();
        for (QLabel* l : {w.fileLabel, w.noticeLabel, w.summaryLabel, w.spanLabel})
            EXPECT_GE(l->height(), l->heightForWidth(l->width())) << where << ": " << l->text().toStdString();
    }
    QApplication::setFont(font);
}

}  // namespace
}  // namespace kestro
