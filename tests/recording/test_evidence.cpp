// Side files, their chain, the events file and the calibration log, as the recorder leaves
// them and as --verify and the report read them back.

#include "RecorderFixture.h"
#include "recording/DailyReports.h"
#include "recording/EvidenceFiles.h"
#include "recording/StationKey.h"
#include "statistics/EventsFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <functional>
#include <map>

namespace kestro::test {
namespace {

class EvidenceTest : public RecorderTest {
protected:
    // One poll tick as the window runs it: the evidence first, then the hand-off.
    void pollTick() {
        tickEvidence();
        tick();
    }
    // n lines a second apart, each followed by a tick.
    void lines(const char* line, int n) {
        for (int i = 0; i < n; ++i) {
            feed(line);
            pollTick();
            clock.advanceMs(900);
        }
    }
    QJsonObject side(const QString& recordName) const {
        return QJsonDocument::fromJson(readFile(sideFilePath(inRec(recordName.toLatin1().constData())))).object();
    }
    std::map<QString, QString> verdicts(const QString& dir) const {
        std::map<QString, QString> out;
        for (const FileVerdict& f : verifyDirectory(dir).files)
            out[f.recordFile] = verdictText(f.verdict);
        return out;
    }
};

const QString kLp = QStringLiteral("NoiseData_LP_20260305_140327.dat");
const QString kLeq = QStringLiteral("NoiseData_LEQ_20260305_140330.dat");
const QString kMax = QStringLiteral("NoiseData_MAX_20260305_140333.dat");

void edit(const QString& path, const std::function<void(QByteArray&)>& change) {
    QByteArray b = readFile(path);
    change(b);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(b);
}

// Four series closed in a row, the first two in one second and so in one file
// (each with its header and side file), the last with a marked span, after a
// calibration check: every way of touching a file afterwards is named by the
// file that differs, also a series whose side file only the chain still names.
TEST_F(EvidenceTest, VerifyNamesEveryChangeToTheChain) {
    s.IncludeHeaderLine = true;
    feed("cal 940 0\r");
    pollTick();
    arm();
    feed("lp 600 0\r");
    pollTick();
    ps.setBufferRestart(1);
    lines("lp 600 0\r", 3);
    EXPECT_EQ(readFile(inRec(kLp.toLatin1().constData())).count("Time;NoiseValue\r\n"), 2);
    EXPECT_TRUE(QFile::exists(sideFilePath(inRec(kLp.toLatin1().constData()), 2)));
    lines("leq 610 0\r", 3);
    lines("max 620 0\r", 1);
    ASSERT_TRUE(rec->mark(QStringLiteral("truck"), clock.read()));
    lines("max 620 0\r", 2);
    ASSERT_TRUE(rec->mark(QString(), clock.read()));
    lines("max 620 0\r", 1);
    rec->endStatistics();
    rec->rescueHeldLines();
    auto path = [&](const QString& name) {
        return recDir() + QLatin1Char('/') + name;
    };
    const QString maxEvents = eventsFilePath(path(kMax));
    ASSERT_TRUE(QFile::exists(maxEvents));
    const QString log = calibrationLogPath(recDir());
    auto append = [](const QByteArray& line) {
        return [line](QByteArray& b) {
            b += line;
        };
    };
    const auto eventsRow =
        append("Marker;2026-03-05 14:03:34,250;2026-03-05 14:03:40,250;6,0;6;62,0;62,0;69,8;closed;\r\n");
    const QString fake = QStringLiteral("NoiseData_LEQ_20260305_150000.dat");
    enum Part { Record, Side, Stats, Events, Series, Log, Sig, AllSigs, Rehashed, Foreign };
    const char *kSigned = "SIGNED BY THE STATION", *kUnsigned = "NOT SIGNED", *kBad = "BAD SIGNATURE";
    const struct {
        const char* what;
        const QString& name;
        Part part;
        std::function<void(QByteArray&)> change;  // none: the file is deleted
        const char* got;                          // the verdicts of LP, LEQ, MAX and the calibration log
        const char* named;                        // a file the details must name
        const char* keyed;                        // name's signature, checked with the station's key
        bool keyedOk;
    } cases[] = {
        {"nothing", kLp, Record, [](QByteArray&) {}, "OK OK OK OK", "", kSigned, true},
        {"one byte of a record", kLp, Record, [](QByteArray& b) { b[b.size() - 3] = '9'; }, "CHANGED OK OK OK",
         "record file", kSigned, false},
        {"a record cut short", kLeq, Record, [](QByteArray& b) { b.chop(2); }, "OK CHANGED OK OK", "", kSigned, false},
        {"a line added", kMax, Record, append("14:04:00,000; 62,0\r\n"), "OK OK CHANGED OK", "added", kSigned, false},
        {"a series deleted with its side file", kLeq, Series, {}, "OK MISSING OK OK", "_LEQ_", "", false},
        {"a side file edited", kLp, Side, [](QByteArray& b) { b.replace("\"\"", "\"x\""); }, "CHANGED OK OK OK",
         "_LP_20260305_140327_INFO.json", kBad, false},
        {"a statistics file deleted", kMax, Stats, {}, "OK OK MISSING OK", "_MAX_20260305_140333_STAT", kSigned, false},
        {"a row added to a statistics file", kMax, Stats, append("Interval;x\r\n"), "OK OK CHANGED OK",
         "_MAX_20260305_140333_STAT", kSigned, false},
        {"a marker added to an events file", kMax, Events, eventsRow, "OK OK CHANGED OK", "_MAX_20260305_140333_EVENTS",
         kSigned, false},
        {"an events file beside a series that had none", kLeq, Events, eventsRow, "OK CHANGED OK OK",
         "_LEQ_20260305_140330_EVENTS.dat appeared", kSigned, false},
        {"an events file deleted", kMax, Events, {}, "OK OK MISSING OK", "_EVENTS", kSigned, false},
        {"a calibration reading edited", kLp, Log, [](QByteArray& b) { b.replace(";94.0;", ";94.6;"); },
         "OK OK OK CHANGED", "calibration.csv", kSigned, false},
        {"a made-up series starting its own chain", fake, Series, {}, "OK OK OK OK", "second chain", kUnsigned, false},
        {"the newest record edited and its hash recomputed", kMax, Rehashed,
         [](QByteArray& b) { b[b.size() - 3] = '1'; }, "OK OK OK OK", "", kBad, false},
        {"the newest signature removed", kMax, Sig, {}, "OK OK OK OK", "", kUnsigned, false},
        {"every signature removed, as before signatures", kMax, AllSigs, {}, "OK OK OK OK", "", kUnsigned, true},
        {"another station's newest series", kMax, Foreign, {}, "OK OK CHANGED OK", "another station", kBad, false},
    };
    const QByteArray key = *readPublicKey(readFile(stationPublicKeyPath(dataDir())));
    const std::shared_ptr<const StationKey> other = StationKey::loadOrCreate(tmp.path() + QStringLiteral("/other"));
    ASSERT_TRUE(other);
    const QString pristine = tmp.path() + QStringLiteral("/pristine");
    ASSERT_TRUE(QDir().rename(recDir(), pristine));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(recDir()).removeRecursively();
        QDir().mkpath(recDir());
        for (const QString& n : filesIn(pristine))
            QFile::copy(pristine + QLatin1Char('/') + n, path(n));
        const QString record = path(c.name), side = sideFilePath(record), stats = statisticsFilePath(record);
        const QString events = eventsFilePath(record);
        const QStringList want = QString::fromLatin1(c.got).split(QLatin1Char(' '));
        std::map<QString, QString> expected{
            {kLp, want[0]}, {kLeq, want[1]}, {kMax, want[2]}, {QStringLiteral("calibration.csv"), want[3]}};
        QJsonObject doc =
            QJsonDocument::fromJson(readFile(sideFilePath(path(c.name == fake ? kLeq : c.name)))).object();
        if (c.name == fake) {
            // Another series' files under new names, its side file claiming to start the chain.
            QFile::copy(path(kLeq), record);
            QFile::copy(statisticsFilePath(path(kLeq)), stats);
            doc[QLatin1String("record_file")] = fake;
            doc[QLatin1String("statistics_file")] = QFileInfo(stats).fileName();
            doc[QLatin1String("closed_at")] = QStringLiteral("2026-03-05T15:00:00.000+00:00");
            doc[QLatin1String("previous")] = QJsonValue();
            ASSERT_TRUE(writeFileDurably(side, QJsonDocument(doc).toJson()));
            expected[fake] = "CHANGED";
        } else if (c.part == Events && !QFile::exists(events)) {
            QFile::copy(maxEvents, events);
            edit(events, c.change);
        } else if (c.part == Rehashed) {
            edit(record, c.change);
            doc[QLatin1String("record_sha256")] = QString::fromLatin1(digestFile(record)->sha256);
            ASSERT_TRUE(writeFileDurably(side, QJsonDocument(doc).toJson(QJsonDocument::Indented)));
        } else if (c.part == Foreign) {
            // Signed by its own station, naming its own previous side file by the same name.
            doc[QLatin1String("station_key")] = other->id();
            QJsonObject previous = doc[QLatin1String("previous")].toObject();
            previous[QLatin1String("sha256")] = QString(64, QLatin1Char('7'));
            doc[QLatin1String("previous")] = previous;
            const QByteArray bytes = QJsonDocument(doc).toJson();
            ASSERT_TRUE(writeFileDurably(side, bytes));
            ASSERT_TRUE(writeFileDurably(side + ".sig", other->sign(bytes)));
        } else if (c.part == AllSigs) {
            for (const QString& n : filesIn(recDir()))
                if (n.endsWith(".sig")) QFile::remove(path(n));
        } else {
            const QString file = c.part == Side     ? side
                                 : c.part == Stats  ? stats
                                 : c.part == Events ? events
                                 : c.part == Log    ? log
                                 : c.part == Sig    ? side + ".sig"
                                                    : record;
            for (const QString& f : c.part == Series ? QStringList{record, side, stats} : QStringList{file})
                c.change ? edit(f, c.change) : void(QFile::remove(f));
        }
        const DirectoryVerdict v = verifyDirectory(recDir());
        std::map<QString, QString> got;
        QString details;
        for (const FileVerdict& f : v.files) {
            got[f.recordFile] = verdictText(f.verdict);
            details += f.detail;
        }
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(details.contains(QLatin1String(c.named))) << details.toStdString();
        const DirectoryVerdict keyed = verifyDirectory(recDir(), QString(), key);
        EXPECT_EQ(keyed.allGood(), c.keyedOk);
        for (const FileVerdict& f : keyed.files)
            if (f.recordFile == c.name) EXPECT_EQ(f.signature, c.keyed);
    }
}

// What a report may rely on: the marked spans and calibration checks that a
// closed side file vouches for; rows and checks added later are shown apart.
TEST_F(EvidenceTest, ReportUsesOnlyWhatIsVouchedFor) {
    lines("cal 940 0\r", 1);
    arm();
    lines("lp 600 0\r", 2);
    ASSERT_TRUE(rec->mark(QStringLiteral("truck"), clock.read()));
    lines("lp 700 0\r", 2);
    ASSERT_TRUE(rec->mark(QString(), clock.read()));
    lines("lp 600 0\r", 2);
    rec->endStatistics();
    rec->rescueHeldLines();
    const QString record = inRec("NoiseData_LP_20260305_140328.dat");
    const qint64 vouched = closedSideFile(record)[QLatin1String("events_bytes")].toInteger();
    const qint64 logBytes = closedSideFile(record)[QLatin1String("calibration_log_bytes")].toInteger();
    ASSERT_GT(logBytes, 0);
    ReportEvidence e = reportEvidenceFor(record);
    EXPECT_EQ(e.verification, "OK") << e.verificationDetail.toStdString();
    EXPECT_EQ(e.eventsVouchedBytes, vouched);
    EXPECT_EQ(e.checksBefore.size(), 1u);
    QFile f(eventsFilePath(record));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("Marker;2026-03-05 14:03:27,250;2026-03-05 14:03:29,250;2,0;2;60,0;60,0;63,0;closed;\r\n");
    f.close();
    lines("cal 933 0\r", 1);  // after the series: nothing vouches for it yet
    e = reportEvidenceFor(record);
    EXPECT_EQ(e.eventsVouchedBytes, vouched);
    EXPECT_TRUE(e.checksAfter.empty());
    ASSERT_EQ(e.checksAfterNotVouched.size(), 1u);
    EXPECT_EQ(e.checksAfterNotVouched[0].levelDb, 93.3);
    const EventsFileContent rows = readEventsFile(eventsFilePath(record), e.eventsVouchedBytes);
    EXPECT_EQ(rows.events.size(), 1u);
    EXPECT_EQ(rows.notVouched.size(), 1u);
    edit(eventsFilePath(record), [](QByteArray& b) { b.replace("truck", "train"); });
    EXPECT_EQ(reportEvidenceFor(record).eventsVouchedBytes, 0);  // edited: no row of it is anybody's word
    edit(calibrationLogPath(recDir()), [](QByteArray& b) { b.replace(";94.0;", ";94.1;"); });
    e = reportEvidenceFor(record);
    EXPECT_TRUE(e.checksBefore.empty() == false);  // the side file's own readings
    EXPECT_EQ(e.checksBefore[0].levelDb, 94.0);
}

// The chain's head goes out after every close, and at a restart before anything closes.
TEST_F(EvidenceTest, ChainHeadIsAnnouncedAtStartAndAfterEveryClose) {
    std::vector<QByteArray> heads, again;
    rec->evidence().onChainHead = [&](const ChainHead& h) {
        heads.push_back(h.sha256);
    };
    arm();
    lines("lp 600 0\r", 2);
    lines("leq 600 0\r", 2);
    rec->endStatistics();
    rec->rescueHeldLines();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(heads.back(), findChainHead(readSideFiles(recDir())).sha256);
    rec = std::make_unique<SeriesRecorder>(ps.device(), s, clock, log);
    rec->setStateDirectory(dataDir());
    rec->evidence().onChainHead = [&](const ChainHead& h) {
        again.push_back(h.sha256);
    };
    for (int i = 0; i < 500 && again.empty(); ++i) {
        QThread::msleep(10);
        tickEvidence();
    }
    EXPECT_EQ(again, std::vector<QByteArray>{heads.back()});
}

// Lines that wait for their file are written before the side file is closed
// (its hash covers them); a series whose lines are rescued at exit stays open.
TEST_F(EvidenceTest, SideFileClosesOnlyWhenItsLinesAreWritten) {
    failOpensWith(EIO);
    arm();
    lines("lp 600 0\r", 2);
    failing = true;
    lines("lp 610 0\r", 3);
    lines("leq 610 0\r", 1);  // the Lp series ends while its lines wait
    EXPECT_EQ(side(kLp)[QLatin1String("state")].toString(), "open");
    EXPECT_EQ(verdicts(recDir())[kLp], "NOT CLOSED");
    failing = false;
    lines("leq 620 0\r", 1);
    while (rec->hasHeldLines())  // a loaded disk may take more than a tick's catching up
        rec->retryHeldLines();
    const QString lp = inRec(kLp.toLatin1().constData());
    EXPECT_EQ(closedSideFile(lp)[QLatin1String("record_bytes")].toInt(), readFile(lp).size());
    EXPECT_EQ(readFile(lp).count('\n'), 5);
    // The Leq lines wait for the writer's next try, however long the hashing took.
    for (int i = 0; i < 100 && rec->hasHeldLines(); ++i) {
        clock.advanceMs(100);
        pollTick();
    }
    failing = true;
    lines("leq 630 0\r", 2);
    rec->endStatistics();
    rec->rescueHeldLines();
    const QString leq = QStringLiteral("NoiseData_LEQ_20260305_140332.dat");
    EXPECT_EQ(side(leq)[QLatin1String("pending_at_exit")].toArray().at(0)[QLatin1String("lines_rescued")].toInt(), 2);
    EXPECT_EQ(verdicts(recDir()), (std::map<QString, QString>{{kLp, "OK"}, {leq, "NOT CLOSED"}}));
}

// Each line setting changed while a series runs is written down once, with
// the line it applies from.
TEST_F(EvidenceTest, LineSettingsChangedMidSeriesAreWrittenDownOnce) {
    arm();
    lines("lp 600 0\r", 2);
    const std::function<void()> changes[] = {
        [&] { s.IncludeHeaderLine = !s.IncludeHeaderLine; }, [&] { s.IncludeSystemTime = !s.IncludeSystemTime; },
        [&] { s.IncludeOverflow = !s.IncludeOverflow; },     [&] { s.IncludeUnderflow = !s.IncludeUnderflow; },
        [&] { s.DecimalSeparator = QLatin1Char('.'); },      [&] { s.TabularSeparator = QLatin1Char('\t'); },
    };
    int n = 0;
    for (const auto& change : changes) {
        change();
        lines("lp 600 0\r", 2);
        const QJsonArray written = side(kLp)[QLatin1String("record_lines_changes")].toArray();
        ASSERT_EQ(written.size(), ++n);
        EXPECT_EQ(written.last()[QLatin1String("from_line")].toInt(), 2 * n + 1);
    }
}

// The settings a side file lists, each in its object and form: flags, separator
// characters, tenths of a dB as dB, a level of 0 as none.
TEST_F(EvidenceTest, SideFileListsTheSettingsInTheirForms) {
    s.LimitLevel = 0, s.EventLevel = 655, s.EventHysteresis = 35, s.EventMinDuration = 7, s.StatisticsInterval = 60;
    s.TabularSeparator = QLatin1Char('\t'), s.IncludeOverflow = true, s.MeasurementNotes = "fence";
    arm();
    lines("lp 600 0\r", 2);
    const QJsonObject d = side(kLp);
    using O = QJsonObject;
    EXPECT_EQ(d["statistics"].toObject(), (O{{"interval_s", 60}, {"limit_db", QJsonValue()}}));
    EXPECT_EQ(d["event_criteria"].toObject(), (O{{"level_db", 65.5}, {"min_duration_s", 7}, {"hysteresis_db", 3.5}}));
    EXPECT_EQ(d["measurement"].toObject(),
              (O{{"location", ""}, {"operator", ""}, {"weather", ""}, {"notes", "fence"}, {"instrument", ""}}));
    EXPECT_EQ(d["record_lines"].toObject(), (O{{"header_line", false},
                                               {"time_column", true},
                                               {"overflow_column", true},
                                               {"underflow_column", false},
                                               {"decimal_separator", ","},
                                               {"column_separator", "\t"}}));
}

// Calibration readings go into the log, into the open series as checks after
// it and into the next series as checks before it; the report finds checks
// the side files could not take in the log.
TEST_F(EvidenceTest, CalibrationChecksAroundTheSeries) {
    moduleOf(ps).KestroState.DevSerialNo = 12345678;
    lines("cal 940 0\r", 2);
    arm();
    lines("lp 600 0\r", 3);
    lines("gds 42203\r", 1);  // the meter turned to Calibration: the Lp series stays open until the next one
    lines("cal 943 0\r", 2);
    lines("lp 601 0\r", 2);
    rec->endStatistics();  // disarmed
    ps.setRecordState(kRecordOff);
    closedSideFile(inRec("NoiseData_LP_20260305_140336.dat"));
    lines("cal 945 0\r", 1);
    rec->rescueHeldLines();

    const QList<QByteArray> log = readFile(calibrationLogPath(recDir())).split('\n');
    ASSERT_EQ(log.size(), 7) << readFile(calibrationLogPath(recDir())).toStdString();
    EXPECT_EQ(log[0], "Time;Level;SerialNumber;Key\r");
    EXPECT_EQ(log[1], "2026-03-05T14:03:27.250+00:00;94.0;12345678;cal\r");
    auto levels = [](const std::vector<CalibrationCheck>& checks) {
        std::vector<double> out;
        for (const CalibrationCheck& c : checks)
            out.push_back(c.levelDb);
        return out;
    };
    EXPECT_EQ(
        side(QStringLiteral("NoiseData_LP_20260305_140329.dat"))[QLatin1String("calibration_after")].toArray().size(),
        2);
    const ReportEvidence first = reportEvidenceFor(inRec("NoiseData_LP_20260305_140329.dat"));
    EXPECT_EQ(levels(first.checksBefore), (std::vector<double>{94.0, 94.0}));
    EXPECT_EQ(levels(first.checksAfter), (std::vector<double>{94.3, 94.3}));
    EXPECT_EQ(first.serialNumber, "12345678");
    EXPECT_EQ(first.verification, "OK");
    const ReportEvidence second = reportEvidenceFor(inRec("NoiseData_LP_20260305_140336.dat"));
    EXPECT_EQ(levels(second.checksBefore), (std::vector<double>{94.3, 94.3}));
    // From the log, after every closed series: nobody's word yet.
    EXPECT_TRUE(second.checksAfter.empty());
    ASSERT_EQ(levels(second.checksAfterNotVouched), (std::vector<double>{94.5}));
    EXPECT_EQ(second.checksAfterNotVouched.front().serialNumber, "12345678");
}

// The events file of a recording: which levels are watched, the rows through
// a failing medium, and its place in the side file's hashes.
using EventsTest = EvidenceTest;

TEST_F(EventsTest, OnlyInstantLevelsAreWatched) {
    const struct {
        int16_t function;
        const char *slow, *fast, *text;
    } cases[] = {
        {1, "lp 700 0\r", "p 447A00000\r", "slow LP levels above 80.0 dB"},
        {2, "leq 700 0\r", "q 447A00000\r", "LEQ values are no instant levels"},
        {3, "max 700 0\r", "r 447A00000\r", "MAX values are no instant levels"},
        {2, "leq 700 0\r", "p 447A00000\r", "fast LPF levels above 80.0 dB"},
    };
    for (const auto& c : cases) {
        arm();
        moduleOf(ps).KestroState.DevFunction = c.function;
        moduleOf(ps).KestroState.DevVariant = c.function == 1 ? 1 : 2;  // a running measurement
        feed(c.slow);
        feed(c.fast);
        tick();
        EXPECT_EQ(rec->events().detectionText(), QLatin1String(c.text)) << c.slow << c.fast;
        // A watched series has its events file from the start: never both streams at once.
        EXPECT_EQ(QFile::exists(rec->events().eventsPath(1)), QString::fromLatin1(c.text).startsWith("fast")) << c.fast;
        rec->endStatistics();
        ps.setRecordState(0);
        EXPECT_EQ(rec->events().detectionText(), QString());
    }
}

// An event across statistics intervals, and a marked span, while the record
// directory fails: the rows wait and come in order; the side file vouches for them.
TEST_F(EventsTest, RowsOutlastAnOutageAndAreHashed) {
    failOpensWith(ENOSPC);
    s.StatisticsInterval = 10;
    std::vector<EventNotice> notices;
    QObject::connect(rec.get(), &SeriesRecorder::noiseEvent, [&](const EventNotice& n) { notices.push_back(n); });
    moduleOf(ps).KestroState.DevSerialNo = 1234567;
    moduleOf(ps).KestroState.DataValid |= kValidSerialNo;
    arm();
    lines("lp 700 0\r", 3);
    lines("lp 900 0\r", 10);
    failing = true;
    lines("lp 900 0\r", 15);
    ASSERT_TRUE(rec->mark(QStringLiteral("truck; loud"), clock.read()));
    lines("lp 650 0\r", 12);
    ASSERT_TRUE(rec->mark(QString(), clock.read()));
    failing = false;
    lines("lp 650 0\r", 1);
    rec->endStatistics();
    while (rec->hasHeldLines())  // a loaded disk may take more than a tick's catching up
        rec->retryHeldLines();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].event.durationMs, 25000);
    EXPECT_EQ(notices[1].serialNumber, "01234567");

    const QString record = inRec("NoiseData_LP_20260305_140327.dat");
    const QList<QByteArray> rows = readFile(eventsFilePath(record)).split('\n');
    ASSERT_EQ(rows.size(), 1 + 1 + 1 + 3 + 10 + 1 + 1) << readFile(eventsFilePath(record)).toStdString();
    EXPECT_TRUE(rows[1].startsWith("Criteria;-;-;")) << rows[1].data();
    EXPECT_EQ(rows[2], "Exceedance;2026-03-05 14:03:30,250;2026-03-05 14:03:55,250;25,0;25;90,0;90,0;104,0;closed;\r");
    EXPECT_TRUE(rows[3].startsWith("Sample;2026-03-05 14:03:27,250;")) << rows[3].data();
    EXPECT_TRUE(
        rows[16].startsWith("Marker;2026-03-05 14:03:55,250;2026-03-05 14:04:07,250;12,0;12;65,0;65,0;75,8;"
                            "closed;truck; loud\r"))
        << rows[16].data();
    EXPECT_GE(readFile(inRec("NoiseData_LP_20260305_140327_STAT.dat")).count("Interval;"), 4);

    EXPECT_EQ(closedSideFile(record)[QLatin1String("events_bytes")].toInt(), readFile(eventsFilePath(record)).size());
    EXPECT_EQ(verdictText(verifyDirectory(recDir()).files.at(0).verdict), "OK");
    QFile f(eventsFilePath(record));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write("X");
    f.close();
    EXPECT_EQ(verdictText(verifyDirectory(recDir()).files.at(0).verdict), "CHANGED");
}

// The station's key: made once and kept private, its public half beside it,
// read back the same; a signature holds for exactly the bytes signed.
TEST(StationKeyTest, MadeOnceKeptPrivateAndChecked) {
    QTemporaryDir dir;
    const QString data = dir.path() + QStringLiteral("/data");
    const std::shared_ptr<const StationKey> key = StationKey::loadOrCreate(data);
    ASSERT_TRUE(key);
    EXPECT_EQ(QFile::permissions(stationKeyPath(data)) & 0x0077, 0);  // neither group nor others
    ASSERT_TRUE(
        QFile::setPermissions(stationKeyPath(data), QFile::permissions(stationKeyPath(data)) | QFile::ReadOther));
    const std::shared_ptr<const StationKey> again = StationKey::loadOrCreate(data);
    EXPECT_EQ(again->id(), key->id());
    EXPECT_FALSE(QFile::permissions(stationKeyPath(data)) & QFile::ReadOther);
    EXPECT_EQ(readPublicKey(readFile(stationPublicKeyPath(data))), key->publicKeyRaw());
    EXPECT_EQ(readPublicKey(key->id().toLatin1()), key->publicKeyRaw());
    EXPECT_FALSE(readPublicKey("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n"));
    const QByteArray text = "{\"state\": \"closed\"}\n", sig = key->sign(text);
    EXPECT_TRUE(verifySignature(key->publicKeyRaw(), text, sig));
    EXPECT_FALSE(verifySignature(key->publicKeyRaw(), text + ' ', sig));
    EXPECT_FALSE(verifySignature(key->publicKeyRaw(), text, sig.left(63)));
    ASSERT_TRUE(writeFileDurably(stationKeyPath(data), "not a key"));
    EXPECT_FALSE(StationKey::loadOrCreate(data));  // a damaged key is never replaced silently
}

}  // namespace
// A daily report a closed side file names: its JSON by the hash recorded, the PDF and CSV by the JSON's.
TEST(DailyReportEvidence, JsonPdfAndCsvAgainstTheirHashes) {
    const struct {
        const char* what;
        std::function<void(const QString& reports)> change;
        const char* name;  // as the side file names it; none: reports/2026-03-09_1.json
        Verdict verdict;
    } rows[] = {
        {"untouched", [](const QString&) {}, nullptr, Verdict::Ok},
        {"JSON gone", [](const QString& r) { QFile::remove(r + "/2026-03-09_1.json"); }, nullptr, Verdict::Missing},
        {"PDF changed",
         [](const QString& r) { writeFileDurably(r + "/2026-03-09_1.pdf", "%PDF-2"); },
         {},
         Verdict::Changed},
        {"CSV gone", [](const QString& r) { QFile::remove(r + "/2026-03-09_1_intervals.csv"); }, nullptr,
         Verdict::Changed},
        {"a name that climbs", [](const QString&) {}, "reports/../2026-03-09_1.json", Verdict::Changed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir dir;
        const QString reports = dailyReportsDir(dir.path());
        QDir().mkpath(reports);
        ASSERT_TRUE(writeFileDurably(reports + "/2026-03-09_1.pdf", "%PDF-1"));
        ASSERT_TRUE(writeFileDurably(reports + "/2026-03-09_1_intervals.csv", "Start"));
        auto sha = [&](const char* name) {
            return QString(digestFile(reports + name)->sha256);
        };
        ASSERT_TRUE(
            writeFileDurably(reports + "/2026-03-09_1.json",
                             QJsonDocument(QJsonObject{{"report", "2026-03-09_1.pdf"},
                                                       {"report_sha256", sha("/2026-03-09_1.pdf")},
                                                       {"intervals_csv", "2026-03-09_1_intervals.csv"},
                                                       {"intervals_csv_sha256", sha("/2026-03-09_1_intervals.csv")}})
                                 .toJson()));
        SideFile closed, open;
        const QJsonArray named{QJsonObject{{"name", row.name ? row.name : "reports/2026-03-09_1.json"},
                                           {"sha256", sha("/2026-03-09_1.json")}}};
        closed.doc = QJsonObject{{side::kState, side::kClosed}, {kDailyReportsField, named}};
        open.doc = QJsonObject{{side::kState, side::kOpen}, {kDailyReportsField, named}};
        EXPECT_EQ(unvouchedDailyReports(dir.path()).size(), 1u);  // no side file on the disk names it
        row.change(reports);
        const std::vector<FileVerdict> v = verifyDailyReports(dir.path(), {closed, open});
        ASSERT_EQ(v.size(), 1u);
        EXPECT_EQ(v[0].verdict, row.verdict) << v[0].detail.toStdString();
    }
}

}  // namespace kestro::test
