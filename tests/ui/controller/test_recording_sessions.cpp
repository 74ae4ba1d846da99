// Recording sessions against a meter that answers like a real one: commands
// are echoed only after a delay, value lines keep arriving in between, and
// nothing waits for a tick before the user presses a key.

#include "WindowFixture.h"

#include <QDirIterator>
#include <QTest>

#include <deque>
#include <map>

namespace kestro::test {
namespace {

class Sessions : public WindowFixture {
protected:
    // Answers waiting to be sent: (ticks to wait, answer).
    std::deque<std::pair<int, QByteArray>> echoes;
    int delayTicks = 0;
    int next = 100;  // value of the next level line (tenths), and of the fast values' status-free count
    const char* slowKey = "leq";
    QStringList armedValues;  // values sent while armed since the last arming
    std::vector<QStringList> recordings;

    // The meter's own traffic of one tick: its delayed echoes, a slow level
    // and two fast values; then the window's tick.
    void MeterTick() {
        for (auto& e : echoes)
            --e.first;
        while (!echoes.empty() && echoes.front().first <= 0) {
            port->feed(echoes.front().second);
            echoes.pop_front();
        }
        SendLevel();
        Queue(Tick());
    }
    void SendLevel() {
        const QByteArray line = QByteArray(slowKey) + ' ' + QByteArray::number(next) + " 0\r";
        port->feed(line);
        if (ps.RecordState != 0)
            armedValues << QString::number(next / 10) + QLatin1Char(',') + QString::number(next % 10);
        ++next;
    }
    // Commands the window sent are answered later, as a slow meter does.
    void Queue(const QStringList& commands) {
        for (const QString& c : commands)
            if (c.startsWith(QLatin1String("awm")) || c.startsWith(QLatin1String("swm")) ||
                c.startsWith(QLatin1String("smm")))
                echoes.emplace_back(delayTicks, c.toLatin1() + '\r');
    }
    void Press(PictureButton* key) {
        port->ClearWritten();
        QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(10, 10));
        Queue(port->commands());
    }
    void Arm() {
        Press(w->cmdRecord);
        armedValues.clear();
    }
    void Disarm(PictureButton* key) {
        SendLevel();  // arrives after the last tick, before the key: part of the recording
        Press(key);
        recordings.push_back(armedValues);
    }
    // Every slow record file with its values, oldest first.
    std::map<QString, QStringList> SlowFiles() const {
        std::map<QString, QStringList> out;
        for (const QString& name : QDir(recordDir()).entryList(QDir::Files, QDir::Name)) {
            if (name.contains(QLatin1String("F_")) || name.contains(QLatin1String("RAW")) || !isRecordFileName(name))
                continue;
            QFile f(recordDir() + QLatin1Char('/') + name);
            f.open(QIODevice::ReadOnly);
            QStringList values;
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty()) values << QString::fromLatin1(line.split(';').value(1).trimmed());
            out[name] = values;
        }
        return out;
    }
};

// Record, values, stop, record again: in every recorded function, with the
// meter's echo immediate, late, or a second late. Each recording is in files
// of its own, whole, once.
TEST_F(Sessions, EveryArmingStartsItsOwnFilesWithEveryValue) {
    struct Case {
        const char* status;
        const char* key;
        int delay;
        bool stopKey;  // disarm with the stop key (else the record key)
    };
    const Case cases[] = {
        {"gds 22203\r", "leq", 0, true},  {"gds 22203\r", "leq", 3, true},  {"gds 22203\r", "leq", 10, false},
        {"gds 32203\r", "max", 10, true}, {"gds 11203\r", "lp", 10, false},
    };
    StartDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " delay " << c.delay);
        QDir(recordDir()).removeRecursively();
        QDir().mkpath(recordDir());
        recordings.clear();
        echoes.clear();
        delayTicks = c.delay;
        slowKey = c.key;
        Feed(c.status);
        MeterTick();
        for (int session = 0; session < 3; ++session) {
            Arm();
            for (int t = 0; t < 12; ++t)
                MeterTick();
            Disarm(c.stopKey ? w->cmdStopRecord : w->cmdRecord);
            for (int t = 0; t < 12; ++t)  // values go on while not armed; the echoes arrive
                MeterTick();
            clock.AdvanceMs(1000);  // the next files get names of their own
        }
        const auto files = SlowFiles();
        ASSERT_EQ(files.size(), 3u);
        int i = 0;
        for (const auto& [name, values] : files)
            EXPECT_EQ(values, recordings[size_t(i++)]) << name.toStdString();
    }
}

// Armed during the start-up sequence: the start-up's own "awm 1" and its late
// echo must not split the recording.
TEST_F(Sessions, ArmingDuringStartUpKeepsOneFile) {
    delayTicks = 4;
    slowKey = "lp";
    PassGate();
    Arm();
    for (int t = 0; t < 20; ++t) {
        Feed("gds 11203\r");
        MeterTick();
    }
    Disarm(w->cmdStopRecord);
    const auto files = SlowFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->second, recordings[0]);
}

// Power while recording: what arrived since the last tick is written before
// the buffers are emptied.
TEST_F(Sessions, PowerKeyWritesWhatArrivedSinceTheLastTick) {
    StartDevice("gds 22203\r");
    Arm();
    for (int t = 0; t < 5; ++t)
        MeterTick();
    Disarm(w->cmdPower);
    const auto files = SlowFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->second, recordings[0]);
    EXPECT_EQ(ps.SlowCount(), 0);
}

}  // namespace
}  // namespace kestro::test
