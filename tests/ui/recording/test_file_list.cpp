#include "RecorderFixture.h"

#include "ui/recording/FileList.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace kestro::test {
namespace {

TEST(FileListText, HoursMinutesSeconds) {
    const struct {
        double days;
        const char* duration;
    } cases[] = {
        {0.0, "00:00:00"},
        {1.0 / 86400, "00:00:01"},
        {0.4 / 86400, "00:00:00"},
        {65.0 / 86400, "00:01:05"},
        {(23 * 3600 + 59 * 60 + 59) / 86400.0, "23:59:59"},
        {25.0 / 24, "25:00:00"},  // all the hours, not those of the day part
        {100.0 + 1.0 / 86400, "2400:00:01"},
        {-5.0 / 86400, "-00:00:05"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DurationText(c.days), QLatin1String(c.duration)) << c.days;
    const struct {
        double date;
        const char* text;
    } starts[] = {
        {46086.0 + (14 * 3600 + 3 * 60 + 27.25) / 86400, "14:03:27"},
        {46087.0 + (14 * 3600 + 3 * 60 + 27.25) / 86400, "14:03:27"},  // another day looks alike
        {46086.0 + 86399.7 / 86400, "00:00:00"},
        {0.0, "00:00:00"},
    };
    for (const auto& s : starts)
        EXPECT_EQ(TimeOfDayText(s.date), QLatin1String(s.text));
}

using FileListTest = RecorderTest;

QTreeWidget* List(Recorder& r) { return static_cast<QTreeWidget*>(r.fileListWidget()); }

TEST_F(FileListTest, ViewLook) {
    QTreeWidget* v = List(*rec);
    EXPECT_EQ(v->columnCount(), 3);
    EXPECT_EQ(v->headerItem()->text(0), QStringLiteral("Start"));
    EXPECT_EQ(v->headerItem()->text(1), QStringLiteral("Duration"));
    EXPECT_EQ(v->headerItem()->text(2), QStringLiteral("File name"));
    EXPECT_FALSE(v->rootIsDecorated());
    EXPECT_EQ(v->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(v->topLevelItemCount(), 0);
    EXPECT_EQ(v->columnWidth(0), int(401 * 0.2 - 20 / 15.0));
}

TEST_F(FileListTest, NewestFirstSelectedAndCountingUp) {
    Arm();
    for (int series = 0; series < 3; ++series) {
        if (series > 0) {
            clock.AdvanceMs(60000);
            ps.BufferRestart = 1;
        }
        Slow(600);
        Tick();
        QTreeWidget* v = List(*rec);
        ASSERT_EQ(v->topLevelItemCount(), series + 1);
        EXPECT_EQ(v->currentItem(), v->topLevelItem(0));
        EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("00:00:00"));
        EXPECT_EQ(v->topLevelItem(0)->text(2), rec->RecordFiles.back().FileTitle);
        EXPECT_EQ(rec->RecordFiles.back().ListIndex, 1);
        EXPECT_EQ(rec->RecordFiles[1].ListIndex, series + 1);
    }
    QTreeWidget* v = List(*rec);
    EXPECT_EQ(v->topLevelItem(2)->text(2), rec->RecordFiles[1].FileTitle);
    EXPECT_EQ(v->topLevelItem(2)->text(0), QStringLiteral("14:03:27"));
    EXPECT_EQ(v->topLevelItem(0)->text(0), QStringLiteral("14:05:27"));
    // Element 0 is never shown.
    for (int i = 0; i < v->topLevelItemCount(); ++i)
        EXPECT_FALSE(v->topLevelItem(i)->text(2).isEmpty());
    // The current series' duration counts up with its samples.
    for (int i = 0; i < 13; ++i) {
        clock.AdvanceMs(4900);
        Slow(610);
        Tick();
    }
    EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("00:01:05"));
    EXPECT_EQ(v->topLevelItem(1)->text(1), QStringLiteral("00:00:00"));
}

TEST_F(FileListTest, DurationOfMoreThanADay) {
    Arm();
    Slow(600);
    Tick();
    MeasurementRecord r = ps.GetSlowRecord(1);
    r.Timestamp += 25.0 / 24;
    ps.AddSlowRecord(r);
    Tick();
    EXPECT_EQ(List(*rec)->topLevelItem(0)->text(1), QStringLiteral("25:00:00"));
    EXPECT_NEAR(rec->RecordFiles[1].Duration, 25.0 / 24, 1e-9);
}

TEST_F(FileListTest, FastDurationAndStop) {
    Arm();
    Slow(600);
    Feed("p 447A00000\r");
    Tick();
    clock.AdvanceMs(7000);
    Feed("p 447A00000\r");
    Tick();
    QTreeWidget* v = List(*rec);
    ASSERT_EQ(v->topLevelItemCount(), 2);
    EXPECT_EQ(v->topLevelItem(0)->text(2), rec->RecordFiles[rec->FastFileIndex].FileTitle);
    EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("00:00:07"));
    // Stop keeps a duration that was already shown.
    rec->StopFastMeasurement();
    EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("00:00:07"));
    EXPECT_EQ(rec->RecordFiles[rec->FastFileIndex].Duration, rec->LocalFastBuffer[2].Timestamp -
                                                                  rec->LocalFastBuffer[0].Timestamp);
}

TEST_F(FileListTest, RedoOneRowInPlace) {
    Arm();
    Slow(600);
    Tick();
    ps.BufferRestart = 1;
    clock.AdvanceMs(2000);
    Slow(600);
    Tick();
    rec->RecordFiles[1].FileTitle = QStringLiteral("renamed");
    rec->MessFileListe_aktualisieren(0, 1);
    QTreeWidget* v = List(*rec);
    ASSERT_EQ(v->topLevelItemCount(), 2);
    EXPECT_EQ(v->topLevelItem(1)->text(2), QStringLiteral("renamed"));
    EXPECT_EQ(v->currentItem(), v->topLevelItem(1));
    rec->MessFileListe_aktualisieren(0, 7);  // no such entry: nothing happens
    EXPECT_EQ(v->topLevelItemCount(), 2);
}

}  // namespace
}  // namespace kestro::test
