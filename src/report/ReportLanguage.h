#pragma once
// The language a report is written in, chosen apart from the windows' (reports
// go to clients): its words from the program's translation of that language,
// its numbers with that language's decimal mark. Without one (the C locale) a
// report has the program's own words and the record file's decimal mark.

#include <QChar>
#include <QString>
#include <memory>

class QTranslator;

namespace kestro {

class ReportLanguage {
public:
    ReportLanguage() = default;
    // "en" or "de" from the translations in the program's folder; anything else: none.
    explicit ReportLanguage(const QString& name);
    ReportLanguage(const QString& name, const QString& translationsDir);

    // "en", "de"; empty: none.
    const QString& name() const { return name_; }
    QString translate(const char* context, const char* source) const;
    // The mark of the report's numbers: the language's; without one, fileMark.
    QChar decimalMark(QChar fileMark) const;

private:
    QString name_;
    std::shared_ptr<const QTranslator> translator_;  // none: the source texts
};

}  // namespace kestro
