// What the session announces, drawn: status bar, options, keys and display.

#include "WindowFixture.h"

#include <QGroupBox>
#include <QLabel>

namespace kestro::test {
namespace {

using Views = WindowFixture;

TEST_F(Views, TheMetersStateIsDrawnIntoPanelsOptionsAndKeys) {
    startDevice();
    const struct {
        const char* answer;
        const char* function;
        int mode, range, bracket;
    } rows[] = {
        {"gds 11203\r", "Lp", 1, 2, 2},  {"gds 22303\r", "LEQ", 2, 3, 3},     {"gds 31603\r", "MAX", 3, 0, 2},
        {"gds 41103\r", "CAL", 4, 1, 1}, {"gds 51003\r", "Service", 5, 4, 4}, {"gds 11703\r", "Lp", 1, 0, 3},
    };
    for (const auto& r : rows) {
        feed(r.answer);
        tick();
        EXPECT_EQ(w->panelText(2), QLatin1String(r.function)) << r.answer;
        EXPECT_EQ(checkedMode(), r.mode) << r.answer;
        EXPECT_EQ(checkedRange(), r.range) << r.answer;
        EXPECT_EQ(w->optRange[0]->isEnabled(), r.mode == 1) << "AUTO only in Lp";
        EXPECT_EQ(w->Picture1->pictureIndex(DisplayPanel::imgRange), r.bracket) << r.answer;
    }
    for (QWidget* k : std::initializer_list<QWidget*>{w->cmdPower, w->cmdRecord, w->frmMeasurementMode, w->frmRange})
        EXPECT_TRUE(k->isEnabled()) << k->objectName().toStdString();
    feed("gds 01203\r");
    tick();
    EXPECT_EQ(w->Picture1->digitIndex(1), 9) << "Initialisation: the test pattern";
    w->EnableRecording();
    for (int i = 0; i < 6; ++i)
        tick();
    EXPECT_EQ(w->panelText(2), QStringLiteral("unknown"));
    EXPECT_EQ(w->panelText(4), QStringLiteral("Recording disabled"));
    EXPECT_EQ(checkedMode(), 0);
    EXPECT_FALSE(w->cmdRecord->isChecked());
    for (QWidget* k : std::initializer_list<QWidget*>{w->cmdPower, w->cmdRecord, w->cmdStopRecord,
                                                      w->frmMeasurementMode, w->frmRange})
        EXPECT_FALSE(k->isEnabled()) << k->objectName().toStdString();
}

// The last calibration check shows after the four panels, whose texts stay.
TEST_F(Views, CalibrationCheckShowsAfterTheFourPanels) {
    startDevice();
    EXPECT_TRUE(w->calibrationPanel()->isHidden());
    feed("gds 42203\rcal 941 0\r");
    tick();
    EXPECT_EQ(w->panelText(2), QStringLiteral("CAL"));
    EXPECT_FALSE(w->calibrationPanel()->isHidden());
    EXPECT_TRUE(w->calibrationPanel()->text().startsWith(QStringLiteral("Cal 94.1 dB ")))
        << w->calibrationPanel()->text().toStdString();
    EXPECT_TRUE(w->calibrationPanel()->toolTip().startsWith(QStringLiteral("Last calibration check: 20")));
}

TEST_F(Views, TheFunctionLegendBlinksWithTheBlinkTimer) {
    startDevice("gds 22203\r");
    for (int legend : {6, 3, 6}) {
        w->BlinkTimer_Timer();
        tick();
        EXPECT_EQ(w->Picture1->modeIndex(), legend);
    }
}

TEST_F(Views, DrawingFailuresAreLoggedOncePerChangeAndTheTickGoesOn) {
    auto logged = [this](int err) {
        QFile f(log.mainLogPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll().count(QByteArray(": frmKestroRecord.Timer1.Error: ") + QByteArray::number(err) + "\r");
    };
    startDevice();
    for (int i = 0; i < 6; ++i) {
        feed("gds 71203\r");  // a function code without option or legend
        if (i == 0) feed("lp err 0\r");
        tick();
    }
    EXPECT_EQ(logged(kErrNoSuchOption), 1);
    EXPECT_EQ(logged(kErrInvalidPicture), 1);
    EXPECT_EQ(w->Picture1->digitIndex(1), 14) << "the level after the failures is still shown";
    feed("gds 1120C\r");  // a battery value without picture
    tick();
    EXPECT_EQ(logged(kErrInvalidPicture), 2);
    EXPECT_EQ(w->Picture1->pictureIndex(DisplayPanel::imgBatteryState), 3) << "the previous picture stays";
    EXPECT_TRUE(s->isOnline());
}

}  // namespace
}  // namespace kestro::test
