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
        EXPECT_EQ(durationText(c.days), QLatin1String(c.text)) << c.days;
    EXPECT_EQ(timeOfDayText(46087.0 + (14 * 3600 + 3 * 60 + 27.25) / 86400), QStringLiteral("14:03:27"));
    EXPECT_EQ(timeOfDayText(46086.0 + 86399.7 / 86400), QStringLiteral("00:00:00"));
}

using FileListTest = ViewsTest;

QTreeWidget* list(RecordingViews& r) { return static_cast<QTreeWidget*>(r.fileListWidget()); }

TEST_F(FileListTest, NewestFirstSelectedAndCountingUp) {
    arm();
    QTreeWidget* v = list(*views);
    EXPECT_EQ(v->topLevelItemCount(), 0) << "element 0 is never shown";
    for (int series = 0; series < 3; ++series) {
        if (series > 0) {
            clock.advanceMs(60000);
            ps.BufferRestart = 1;
        }
        slow(600);
        tick();
        ASSERT_EQ(v->topLevelItemCount(), series + 1);
        EXPECT_EQ(v->currentItem(), v->topLevelItem(0));
        EXPECT_EQ(v->topLevelItem(0)->text(2), rec->RecordFiles.back().FileTitle);
    }
    EXPECT_EQ(v->topLevelItem(2)->text(2), rec->RecordFiles[1].FileTitle);
    EXPECT_EQ(v->topLevelItem(2)->text(0), QStringLiteral("14:03:27"));
    EXPECT_EQ(v->topLevelItem(0)->text(0), QStringLiteral("14:05:27"));
    for (int i = 0; i < 13; ++i) {  // the current series' duration counts up with its samples
        clock.advanceMs(4900);
        slow(610);
        tick();
    }
    EXPECT_EQ(v->topLevelItem(0)->text(1), QStringLiteral("00:01:05"));
    EXPECT_EQ(v->topLevelItem(1)->text(1), QStringLiteral("00:00:00"));
}

}  // namespace
}  // namespace kestro::test
