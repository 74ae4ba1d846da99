#include "ViewsFixture.h"

#include "ui/recording/FileList.h"

#include <QTreeWidget>

namespace kestro::test {
namespace {

TEST(FileListText, DurationAndStart) {
    const struct {
        double days;
        const char* text;
    } durations[] = {
        {0.0, "00:00:00"},
        {1.0 / 86400, "00:00:01"},
        {0.4 / 86400, "00:00:00"},
        {65.0 / 86400, "00:01:05"},
        {25.0 / 24, "25:00:00"},  // all the hours, not those of the day part
        {100.0 + 1.0 / 86400, "2400:00:01"},
        {-5.0 / 86400, "-00:00:05"},
    };
    for (const auto& c : durations)
        EXPECT_EQ(DurationText(c.days), QLatin1String(c.text)) << c.days;
    EXPECT_EQ(TimeOfDayText(46087.0 + (14 * 3600 + 3 * 60 + 27.25) / 86400), QStringLiteral("14:03:27"));
    EXPECT_EQ(TimeOfDayText(46086.0 + 86399.7 / 86400), QStringLiteral("00:00:00"));
}

using FileListTest = ViewsTest;

QTreeWidget* List(RecordingViews& r) { return static_cast<QTreeWidget*>(r.fileListWidget()); }

TEST_F(FileListTest, NewestFirstSelectedAndCountingUp) {
    Arm();
    QTreeWidget* v = List(*views);
    EXPECT_EQ(v->topLevelItemCount(), 0) << "element 0 is never shown";
    for (int series = 0; series < 3; ++series) {
        if (series > 0) {
            clock.AdvanceMs(60000);
            ps.BufferRestart = 1;
        }
        Slow(600);
        Tick();
        ASSERT_EQ(v->topLevelItemCount(), series + 1);
        EXPECT_EQ(v->currentItem(), v->topLevelItem(0));
        EXPECT_EQ(v->topLevelItem(0)->text(2), rec->RecordFiles.back().FileTitle);
    }
    EXPECT_EQ(v->topLevelItem(2)->text(2), rec->RecordFiles[1].FileTitle);
    EXPECT_EQ(v->topLevelItem(2)->text(0), QStringLiteral("14:03:27"));
    EXPECT_EQ(v->topLevelItem(0)->text(0), QStringLiteral("14:05:27"));
    for (int i = 0; i < 13; ++i) {  // the current series' duration counts up with its samples
        clock.AdvanceMs(4900);
        Slow(610);
        Tick();
    }
    EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("00:01:05"));
    EXPECT_EQ(v->topLevelItem(1)->text(1), QStringLiteral("00:00:00"));
    // More than a day.
    MeasurementRecord r = ps.GetSlowRecord(1);
    r.Timestamp += 25.0 / 24;
    r.Instant += 25 * 3600000;
    ps.AddSlowRecord(r);
    Tick();
    EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("25:00:00"));
}

}  // namespace
}  // namespace kestro::test
