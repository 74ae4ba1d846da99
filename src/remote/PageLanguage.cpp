#include "remote/PageLanguage.h"

#include "shell/Translations.h"

#include <QList>
#include <QRegularExpression>
#include <QTranslator>
#include <QtGlobal>

#include <algorithm>

namespace kestro {

namespace {

// The texts marked in page/index.html and page/app.js, for lupdate;
// scripts/check-translations.py fails when the two lists differ.
[[maybe_unused]] const char* const kPageTexts[] = {
    QT_TRANSLATE_NOOP("WebPage", "meter —"),
    QT_TRANSLATE_NOOP("WebPage", "connecting…"),
    QT_TRANSLATE_NOOP("WebPage", "This station needs its token:"),
    QT_TRANSLATE_NOOP("WebPage", "Show"),
    QT_TRANSLATE_NOOP("WebPage", "Meter"),
    QT_TRANSLATE_NOOP("WebPage", "Sound level"),
    QT_TRANSLATE_NOOP("WebPage", "unknown"),
    QT_TRANSLATE_NOOP("WebPage", "Recording"),
    QT_TRANSLATE_NOOP("WebPage", "Function"),
    QT_TRANSLATE_NOOP("WebPage", "Range"),
    QT_TRANSLATE_NOOP("WebPage", "Battery"),
    QT_TRANSLATE_NOOP("WebPage", "Station time"),
    QT_TRANSLATE_NOOP("WebPage", "Noise events"),
    QT_TRANSLATE_NOOP("WebPage", "No exceedance yet."),
    QT_TRANSLATE_NOOP("WebPage", "Slow level, last 10 minutes"),
    QT_TRANSLATE_NOOP("WebPage", "Slow level over the last ten minutes"),
    QT_TRANSLATE_NOOP("WebPage", "Statistics"),
    QT_TRANSLATE_NOOP("WebPage", "No statistics yet: they begin with a recording."),
    QT_TRANSLATE_NOOP("WebPage", "Files"),
    QT_TRANSLATE_NOOP("WebPage", "File"),
    QT_TRANSLATE_NOOP("WebPage", "Kind"),
    QT_TRANSLATE_NOOP("WebPage", "Size"),
    QT_TRANSLATE_NOOP("WebPage", "Modified"),
    QT_TRANSLATE_NOOP("WebPage", "Duration"),
    QT_TRANSLATE_NOOP("WebPage", "State"),
    QT_TRANSLATE_NOOP("WebPage", "None yet."),
    QT_TRANSLATE_NOOP("WebPage", "Daily reports"),
    QT_TRANSLATE_NOOP("WebPage", "Day"),
    QT_TRANSLATE_NOOP("WebPage", "Events"),
    QT_TRANSLATE_NOOP("WebPage", "Report"),
    QT_TRANSLATE_NOOP("WebPage", "token needed"),
    QT_TRANSLATE_NOOP("WebPage", "The station refused this token."),
    QT_TRANSLATE_NOOP("WebPage", "online"),
    QT_TRANSLATE_NOOP("WebPage", "offline"),
    QT_TRANSLATE_NOOP("WebPage", "recording"),
    QT_TRANSLATE_NOOP("WebPage", "not recording"),
    QT_TRANSLATE_NOOP("WebPage", "meter %1"),
    QT_TRANSLATE_NOOP("WebPage", "Exceedance of %1 dB since %2"),
    QT_TRANSLATE_NOOP("WebPage", "Last exceedance %1, %2"),
    QT_TRANSLATE_NOOP("WebPage", " (cut short)"),
    QT_TRANSLATE_NOOP("WebPage", " — %1 in this run"),
    QT_TRANSLATE_NOOP("WebPage", "slow"),
    QT_TRANSLATE_NOOP("WebPage", "fast"),
    QT_TRANSLATE_NOOP("WebPage", "%1 (%2), intervals of %3"),
    QT_TRANSLATE_NOOP("WebPage", ", limit %1 dB"),
    QT_TRANSLATE_NOOP("WebPage", ", ended"),
    QT_TRANSLATE_NOOP("WebPage", "%1 since start"),
    QT_TRANSLATE_NOOP("WebPage", "Interval %1"),
    QT_TRANSLATE_NOOP("WebPage", "Interval"),
    QT_TRANSLATE_NOOP("WebPage", "Samples"),
    QT_TRANSLATE_NOOP("WebPage", "No completed interval yet."),
    QT_TRANSLATE_NOOP("WebPage", "record"),
    QT_TRANSLATE_NOOP("WebPage", "statistics"),
    QT_TRANSLATE_NOOP("WebPage", "events"),
    QT_TRANSLATE_NOOP("WebPage", "side"),
    QT_TRANSLATE_NOOP("WebPage", "signature"),
    QT_TRANSLATE_NOOP("WebPage", "timestamp"),
    QT_TRANSLATE_NOOP("WebPage", "calibration"),
    QT_TRANSLATE_NOOP("WebPage", "report"),
    QT_TRANSLATE_NOOP("WebPage", "open"),
    QT_TRANSLATE_NOOP("WebPage", "closed"),
    QT_TRANSLATE_NOOP("WebPage", "nothing recorded"),
    QT_TRANSLATE_NOOP("WebPage", "live"),
    QT_TRANSLATE_NOOP("WebPage", "reconnecting…"),
};

// A language range: "*", or 1 to 8 letters and then subtags of 1 to 8 letters and digits.
bool isLanguageRange(const QByteArray& range) {
    if (range == "*") return true;
    const QList<QByteArray> tags = range.split('-');
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const QByteArray& t = tags[i];
        if (t.isEmpty() || t.size() > 8) return false;
        for (const char c : t)
            if (!(c >= 'a' && c <= 'z') && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

// A q-value in thousandths: "0", "0.5", "1.000"; -1 for anything else.
int qValue(const QByteArray& v) {
    static const QRegularExpression form(QStringLiteral("^(0(\\.\\d{0,3})?|1(\\.0{0,3})?)$"));
    if (!form.match(QString::fromLatin1(v)).hasMatch()) return -1;
    return qRound(v.toDouble() * 1000);
}

QString translated(const QTranslator* translator, const QByteArray& source) {
    return translatedOr(translator, "WebPage", source.constData());
}

}  // namespace

QByteArray pageLanguage(const QByteArray& acceptLanguage) {
    // The highest weight each language is given; -1: not named.
    int de = -1, en = -1, any = -1;
    for (const QByteArray& item : acceptLanguage.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray range = parts[0].trimmed().toLower();
        if (range.isEmpty() || !isLanguageRange(range)) continue;  // says nothing
        int q = 1000;
        for (qsizetype i = 1; i < parts.size() && q >= 0; ++i) {
            const QByteArray param = parts[i].trimmed();
            q = param.startsWith("q=") || param.startsWith("Q=") ? qValue(param.mid(2)) : -1;
        }
        if (q < 0) continue;
        const QByteArray primary = range.split('-').constFirst();
        int* weight = primary == "de" ? &de : primary == "en" ? &en : range == "*" ? &any : nullptr;
        if (weight) *weight = std::max(*weight, q);
    }
    const int german = de >= 0 ? de : std::max(any, 0);
    const int english = en >= 0 ? en : std::max(any, 0);
    return german > 0 && german > english ? QByteArrayLiteral("de") : QByteArrayLiteral("en");
}

QByteArray translatedPage(const QByteArray& page, const QByteArray& language, const QTranslator* translator) {
    QByteArray out;
    out.reserve(page.size() + page.size() / 4);
    qsizetype at = 0;
    for (;;) {
        const qsizetype open = page.indexOf("{{", at);
        const qsizetype close = open < 0 ? -1 : page.indexOf("}}", open + 2);
        if (close < 0) break;
        out += page.mid(at, open - at);
        out += translated(translator, page.mid(open + 2, close - open - 2)).toHtmlEscaped().toUtf8();
        at = close + 2;
    }
    out += page.mid(at);
    return out.replace("<html lang=\"en\">", "<html lang=\"" + language + "\">");
}

QByteArray translatedScript(const QByteArray& script, const QTranslator* translator) {
    QByteArray out;
    out.reserve(script.size() + script.size() / 8);
    qsizetype at = 0;
    for (;;) {
        qsizetype open = script.indexOf("T(\"", at);
        // Only the function T itself, not a name that ends in T.
        while (open > 0 && (QChar::isLetterOrNumber(uchar(script[open - 1])) || script[open - 1] == '_'))
            open = script.indexOf("T(\"", open + 1);
        const qsizetype close = open < 0 ? -1 : script.indexOf('"', open + 3);
        if (close < 0) break;
        out += script.mid(at, open + 3 - at);
        for (const char c : translated(translator, script.mid(open + 3, close - open - 3)).toUtf8()) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        at = close;
    }
    out += script.mid(at);
    return out;
}

}  // namespace kestro
