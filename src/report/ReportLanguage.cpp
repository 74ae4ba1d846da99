#include "report/ReportLanguage.h"

#include "shell/Translations.h"

#include <QTranslator>

namespace kestro {

ReportLanguage::ReportLanguage(const QString& name) : ReportLanguage(name, translationsDirectory()) {}

ReportLanguage::ReportLanguage(const QString& name, const QString& translationsDir) {
    if (name != QLatin1String("en") && name != QLatin1String("de")) return;
    name_ = name;
    // A missing file leaves the words English; the decimal mark is still the language's.
    translator_ = programTranslation(name, translationsDir);
}

QString ReportLanguage::translate(const char* context, const char* source) const {
    return translatedOr(translator_.get(), context, source);
}

QChar ReportLanguage::decimalMark(QChar fileMark) const {
    if (name_.isEmpty()) return fileMark;
    return name_ == QLatin1String("de") ? QLatin1Char(',') : QLatin1Char('.');
}

}  // namespace kestro
