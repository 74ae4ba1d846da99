#include "shell/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace kestro {

QString interfaceLanguage(const QString& choice, const QStringList& uiLanguages, bool cLocale) {
    if (choice == QLatin1String("en") || choice == QLatin1String("de")) return choice;
    if (cLocale) return QString();
    for (const QString& l : uiLanguages) {
        const QString language = l.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
        if (language == QLatin1String("de") || language == QLatin1String("en")) return language;
    }
    return QStringLiteral("en");
}

QString languageChoice(int stored) {
    return stored == 1 ? QStringLiteral("en") : stored == 2 ? QStringLiteral("de") : QStringLiteral("auto");
}

QString reportLanguage(const QString& choice, const QString& interfaceChoice) {
    const QLocale system = QLocale::system();
    const bool fixed = choice == QLatin1String("en") || choice == QLatin1String("de");
    return interfaceLanguage(fixed ? choice : interfaceChoice, system.uiLanguages(), system.language() == QLocale::C);
}

QString translationsDirectory() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kestrorecorder/translations");
}

std::unique_ptr<QTranslator> programTranslation(const QString& language, const QString& dir) {
    auto t = std::make_unique<QTranslator>();
    if (!t->load(QStringLiteral("kestrorecorder_") + language, dir)) return nullptr;
    return t;
}

QString translatedOr(const QTranslator* translator, const char* context, const char* source) {
    const QString t = translator ? translator->translate(context, source) : QString();
    return t.isEmpty() ? QString::fromUtf8(source) : t;
}

QString installTranslations(QCoreApplication& app, const QString& choice) {
    const QLocale system = QLocale::system();
    const QString language = interfaceLanguage(choice, system.uiLanguages(), system.language() == QLocale::C);
    if (language.isEmpty()) return QString();
    // A German interface on an English desktop writes 64,7, and the other way round;
    // a desktop of the same language keeps its own region's habits.
    const QLocale wanted(language);
    QLocale::setDefault(system.language() == wanted.language() ? system : wanted);
    // Handed to the application object, which owns them from then on.
    std::unique_ptr<QTranslator> own = programTranslation(language);
    if (!own) return QString();
    own->setParent(&app);
    QCoreApplication::installTranslator(own.release());
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        qt->setParent(&app);
        QCoreApplication::installTranslator(qt.release());
    }
    return language;
}

}  // namespace kestro
