#include "settings/RecorderSettings.h"

#include "protocol/Types.h"
#include "settings/cRegistry.h"
#include "shell/Places.h"

#include <QDir>

namespace kestro {

namespace {

// A stored number: type 4 as it stands, a text only when it spells an integer.
bool NumberOf(const QVariant& v, qint64* out) {
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (ok) *out = n;
    return ok;
}

// A separator code of the single-byte code page (Latin-1 here). Code 0 and
// codes outside a byte are not characters a record line can be split by.
bool SeparatorFromCode(qint64 code, QChar* out) {
    if (code < 1 || code > 255) return false;
    *out = QChar::fromLatin1(static_cast<char>(code));
    return true;
}

}  // namespace

QString FileNamePartProblem(const QString& text) {
    if (text.contains(QLatin1Char('/'))) return QStringLiteral("must not contain \"/\"");
    if (text.contains(QLatin1String(".."))) return QStringLiteral("must not contain \"..\"");
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control) return QStringLiteral("must not contain control characters");
    return QString();
}

int16_t RecorderSettings::InitForm(cRegistry& RegObj, const QString& defaultDirectory, const ErrorLogFn& log) {
    int16_t result = kTrue;
    RegObj.ClassKey = HKEY_CURRENT_USER_;
    RegObj.SectionKey = QString::fromLatin1(kRecorderSection);

    // Reads one value; false (and the result 1) when it is absent or unusable.
    auto read = [&](const char* name, QVariant* v) {
        RegObj.ValueKey = QString::fromLatin1(name);
        if (RegObj.ValueExists()) {
            *v = RegObj.Value();
            if (v->isValid()) return true;
        }
        result = 1;
        return false;
    };
    auto text = [&](const char* name, QString* field, const QString& def) {
        QVariant v;
        *field = read(name, &v) ? v.toString() : def;
    };
    auto flag = [&](const char* name, bool* field, bool def) {
        QVariant v;
        qint64 n = 0;
        if (read(name, &v) && NumberOf(v, &n)) {
            *field = n != 0;
        } else {
            *field = def;
            result = 1;
        }
    };
    auto separator = [&](const char* name, QChar* field, char def) {
        QVariant v;
        qint64 n = 0;
        if (!(read(name, &v) && NumberOf(v, &n) && SeparatorFromCode(n, field))) {
            *field = QLatin1Char(def);
            result = 1;
        }
    };

    text("RecordDirectory", &RecordDirectory, defaultDirectory);
    // Parts of a file name: a hand-edited value must not lead out of the record directory.
    auto namePart = [&](const char* name, QString* field, const QString& def) {
        text(name, field, def);
        if (FileNamePartProblem(*field).isEmpty()) return;
        *field = def;
        result = 1;
        if (log) log(std::string(": RecorderSettings.") + name + ": ", kErrBadStoredName);
    };
    namePart("RecordNameBase", &RecordNameBase, QStringLiteral("NoiseData"));
    namePart("RecordFileExtension", &RecordFileExtension, QStringLiteral(".dat"));
    flag("IncludeHeaderLine", &IncludeHeaderLine, false);
    flag("IncludeSystemTime", &IncludeSystemTime, true);
    flag("IncludeOverflow", &IncludeOverflow, false);
    flag("IncludeUnderflow", &IncludeUnderflow, false);
    separator("DecimalSeparator", &DecimalSeparator, ',');
    separator("TabularSeparator", &TabularSeparator, ';');

    // Added after the nine: stores from before them must not open the setup dialog.
    const int16_t nine = result;
    auto number = [&](const char* name, int32_t* field, int32_t def, bool (*usable)(qint64)) {
        QVariant v;
        qint64 n = 0;
        *field = read(name, &v) && NumberOf(v, &n) && usable(n) ? static_cast<int32_t>(n) : def;
    };
    number("StatisticsInterval", &StatisticsInterval, 900,
           [](qint64 n) { return n == 60 || n == 300 || n == 600 || n == 900 || n == 1800 || n == 3600; });
    number("LimitLevel", &LimitLevel, 0, [](qint64 n) { return n >= 0 && n <= 2000; });
    return nine;
}

QString DefaultDataDirectory() {
    const QString dir = DataDirectory(PlaceEnvironment::Current());
    MakePrivatePath(dir);
    return dir;
}

QString DefaultRecordDirectory() { return RecordDirectory(PlaceEnvironment::Current()); }

bool MakeDefaultRecordDirectory(const QString& dir) {
    const PlaceEnvironment env = PlaceEnvironment::Current();
    if (dir != RecordDirectory(env)) return false;
    // The data directory stays private; a folder among the user's documents is
    // as open as the others there.
    return dir == DataDirectory(env) ? MakePrivatePath(dir) : QDir().mkpath(dir);
}

}  // namespace kestro
