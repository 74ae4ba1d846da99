// Pictures of the two pages for the user documentation.

#include "SetupFixture.h"

#include <QImage>
#include <QPushButton>
#include <QTabBar>

namespace kestro::test {
namespace {

using SetupScreenshot = SetupFixture;

TEST_F(SetupScreenshot, BothPagesAreDrawnIntoTheDocs) {
    StoreRecorder("RecordDirectory", QString("/home/messung/Kestro"), REG_SZ_);
    StoreRecorder("IncludeHeaderLine", 1, REG_DWORD_);
    StoreRecorder("IncludeSystemTime", 1, REG_DWORD_);
    StoreRecorder("TabularSeparator", 9, REG_DWORD_);
    StorePort(1);
    for (int n = 1; n <= 4; ++n)
        Store(kDeviceSection, QString("COM%1Device").arg(n), QString("/dev/ttyS%1").arg(n - 1), REG_SZ_);
    Store(kDeviceSection, "COM1Device", QString("/dev/ttyUSB0"), REG_SZ_);
    for (int n : {3, 4})
        port->SetOpenFailure(QString("/dev/ttyS%1").arg(n - 1), kErrPortNotFound, "No such file");

    QPointer<frmSetup> d = MakeDialog();
    ShowActive(d);
    const QString docs = QStringLiteral(KESTRO_SOURCE_DIR "/docs");
    ASSERT_TRUE(QDir().mkpath(docs));
    const std::pair<int, const char*> pages[] = {{0, "setup-recording.png"}, {1, "setup-interface.png"}};
    for (const auto& [index, name] : pages) {
        d->tbsOptions->setCurrentIndex(index);
        d->cmdOK->setFocus();
        QApplication::processEvents();
        const QImage shot = d->grab().toImage();
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), d->size());
        const QString path = docs + QLatin1Char('/') + QLatin1String(name);
        ASSERT_TRUE(shot.save(path)) << path.toStdString();
        EXPECT_EQ(QImage(path).size(), shot.size());
    }
}

}  // namespace
}  // namespace kestro::test
