#pragma once
// The language of the windows. Only the desktop loads translations: what the
// program writes (files, event log, journal, web answers) stays in its own words.

#include <QString>
#include <QStringList>

#include <memory>

class QCoreApplication;
class QTranslator;

namespace kestro {

// "en" or "de" for a choice of "en", "de" or "auto" (or an empty one, the
// same); for "auto" the first of the desktop's languages (uiLanguages) that
// is English or German, else English. Empty under the C locale: the program's
// own texts stand as written.
QString interfaceLanguage(const QString& choice, const QStringList& uiLanguages, bool cLocale);
// The choice the Language setting stores (0, 1, 2) as --lang spells it.
QString languageChoice(int stored);
// The report's language for a choice of "en", "de" or "auto" (or empty, the
// same): auto writes as the windows speak, interfaceChoice as installTranslations
// takes it. Empty under the C locale.
QString reportLanguage(const QString& choice, const QString& interfaceChoice);
// Installs the program's and Qt's translations for the choice before the first
// window opens, and makes the interface's locale (the decimal mark of every
// window) that language's when the desktop's locale speaks another. Returns
// the language, empty when none was loaded.
QString installTranslations(QCoreApplication& app, const QString& choice);
// Where the program's .qm files are: beside the binary's share folder, in the
// build tree and installed alike.
QString translationsDirectory();
// The program's own translation into language ("en", "de") from dir; null when
// its file is missing.
std::unique_ptr<QTranslator> programTranslation(const QString& language, const QString& dir = translationsDirectory());
// source of context as translator has it; source itself without a translator or a translation.
QString translatedOr(const QTranslator* translator, const char* context, const char* source);

}  // namespace kestro
