// The windows in the language of LANG: German, the mended English, or under C
// the program's own texts. ctest runs this once per language.
#include "WindowFixture.h"
#include "shell/Translations.h"
#include "statistics/StatisticsFile.h"
#include "support/RecordingMessageSink.h"
#include "ui/setup/frmSetup.h"
#include "ui/statistics/StatisticsWindow.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>

namespace kestro::test {
namespace {

// Language chosen, menus, Setup's Cancel, its second tab's tip and a label, the
// statistics window, Qt's own Cancel and file dialog, the decimal mark.
const char* const kDe =
    "de|&Datei|&Setup|&?|S&tatistik|&Ereignisse|Abbrechen|Serielle Schnittstelle des "
    "Messgeräts und Sprache|Dezimaltrennzeichen|Statistik|Abbrechen|Suchen in:|,";
const char* const kEn =
    "en|&File|&Setup|&?|S&tatistics|E&vents|Cancel|The meter's serial port and the "
    "language|Decimal separator|Statistics|Cancel|Look in:|.";
const char* const kC =
    "|&File|&Setup|&?|S&tatistics|E&vents|Abbrechen|Optionen für Gruppe 3 festlegen|Decimal "
    "Seperator|Statistics|Cancel|Look in:|.";

// The translations come before the first window, as in the program.
class Translated : public WindowFixture {
    void SetUp() override {
        language = installTranslations(*QCoreApplication::instance(), QStringLiteral("auto"));
        WindowFixture::SetUp();
    }

protected:
    QString language;
};

TEST_F(Translated, WindowsSpeakTheLanguageOfLang) {
    QStringList shown{language};
    for (QAction* a : w->menuBar()->actions())
        shown << a->text();
    RecordingMessageSink messages;
    frmSetup* setup = new frmSetup(SetupStore{}, nullptr, messages, nullptr, nullptr, w.get());
    shown << setup->cmdCancel->text().remove('&') << setup->findChild<QTabBar*>("tbsOptions")->tabToolTip(1);
    for (QLabel* l : setup->findChildren<QLabel*>())
        if (l->buddy() == setup->InputDecimalSeparator) shown << l->text().remove('&');
    shown << StatisticsWindow().windowTitle();
    QMessageBox box(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Ok | QMessageBox::Cancel);
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    shown << box.button(QMessageBox::Cancel)->text() << files.findChild<QLabel*>("lookInLabel")->text()
          << QString(shownDecimalPoint());
    const QByteArray lang = qgetenv("LANG");
    EXPECT_EQ(shown.join('|').toStdString(), lang.startsWith("de") ? kDe : lang.startsWith("en") ? kEn : kC);
}

}  // namespace
}  // namespace kestro::test
