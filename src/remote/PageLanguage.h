#pragma once
// The station's page in the language its reader's browser prefers: German or
// English, by Accept-Language. Its texts are the program's own translations
// (context "WebPage"); what the page fetches (JSON, events, metrics) is never
// translated.

#include <QByteArray>
#include <QString>

class QTranslator;

namespace kestro {

// "de" when the header prefers German to English (q-values weighed, "de-AT"
// counts as German), otherwise "en": also for "*", an absent header and one
// that cannot be read.
QByteArray pageLanguage(const QByteArray& acceptLanguage);

// The page or its script with its marked texts in a language: {{TEXT}} in
// the page, T("TEXT") in the script, each TEXT a source text of the
// translator (none: the source texts stand).
QByteArray translatedPage(const QByteArray& page, const QByteArray& language, const QTranslator* translator);
QByteArray translatedScript(const QByteArray& script, const QTranslator* translator);

}  // namespace kestro
