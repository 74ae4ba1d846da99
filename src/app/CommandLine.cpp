#include "app/CommandLine.h"

#include "session/EventCommand.h"

#include "kestro/Version.h"
#include "recording/EvidenceFiles.h"
#include "recording/StationKey.h"
#include "remote/RemoteOptions.h"
#include "settings/RecorderSettings.h"
#include "shell/Instance.h"
#include "shell/Messages.h"
#include "shell/Places.h"

#include "protocol/DeviceCodes.h"
#include "statistics/IntervalEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

namespace kestro {

namespace {

// Which command an option belongs to.
enum class Goes { Always, Run, Report, Day };

struct Option {
    const char* names;  // as QCommandLineOption takes them: "h,help"
    const char* value;  // the value's name in the help; null: takes none
    const char* text;
    Goes goes = Goes::Run;
    const char* needs = nullptr;  // "--NAME needs ..." when its value is missing or empty
};

// The one definition of the command line: the parser takes these options,
// --help shows them (the tests check both ways).
const Option kOptions[] = {
    {"h,help", nullptr, "Show this help and exit.", Goes::Always},
    {"v,version", nullptr, "Show the version and exit.", Goes::Always},
    {"demo", nullptr,
     "Run against the built-in instrument simulator (kestro-sim) on a private link; "
     "nothing is written into your settings."},
    {"headless", nullptr,
     "No window: messages go to standard error, and a missing or unusable port or settings file ends the "
     "program with status 2."},
    {"record", nullptr, "Arm recording as soon as the meter has started, and again after every reconnect."},
    {"instance", "NAME",
     "Run as the instance NAME (letters, digits, - and _, at most 32), one of several meters on this computer: its "
     "own settings file, state and data places, lock, event log, default record folder KestroRecorder@NAME, MQTT "
     "client id and metrics label; --serve auto listens on 8081 + the number NAME ends in.",
     Goes::Always, "a name of 1 to 32 letters, digits, - and _"},
    {"port", "PATH",
     "Use the serial device PATH as COM1 for this run (for example a name under /dev/serial/by-id/); "
     "the stored settings are not changed.",
     Goes::Run, "the path of the serial device"},
    {"record-dir", "DIR",
     "Write the record files to DIR for this run (created when missing); "
     "the stored settings are not changed.",
     Goes::Run, "a directory"},
    {"report", "FILE",
     "Write the PDF report of a record file and end (no display needed), with the options that say "
     "\"with --report\".",
     Goes::Report, "the record file"},
    {"interval", "SECONDS",
     "With --report: the interval length in seconds, 10, 30, 60, 300, 600, 900 (default), 1800 or 3600.", Goes::Report,
     "a number of seconds"},
    {"limit", "DB", "With --report: the limit of the interval Leq in dB.", Goes::Report, "a level"},
    {"flag-column", "KIND",
     "With --report: what the one flag column of a record file without a header line holds, overflow "
     "(assumed when not given) or underflow.",
     Goes::Report, "overflow or underflow"},
    {"tz", "ZONE",
     "With --report: the time zone the record file was made in, an IANA name such as Europe/Berlin "
     "(default: the side file's, else this computer's).",
     Goes::Report, "a time zone"},
    {"o,output", "OUT.pdf", "With --report: the PDF to write (default: beside FILE, ending in .pdf).", Goes::Report,
     "a file"},
    {"report-day", "DATE",
     "Write the report of the assessment day that begins on DATE (2026-12-07) over every series of the record "
     "directory given after the options (default: the stored one) into its reports/ folder and end; with "
     "--interval and --serial.",
     Goes::Day, "a date (2026-12-07)"},
    {"serial", "NUMBER",
     "With --report-day: the meter's serial number the files are named after (default: the newest series').", Goes::Day,
     "a serial number"},
    {"daily-reports", nullptr,
     "Write a report of every assessment day when it ends, and those missing of the last 31 days at the start, "
     "for this run (always so with --headless)."},
    {"site", "TEXT", "The location of the measurement for this run (and for --report); the stored one is kept.",
     Goes::Always, "a text"},
    {"operator", "NAME", "Who measures, for this run (and for --report).", Goes::Always, "a text"},
    {"note", "TEXT", "Notes on the measurement, for this run (and for --report).", Goes::Always, "a text"},
    {"instrument", "TEXT",
     "The sound level meter's type and class, for this run (and for --report); the stored one is kept.", Goes::Always,
     "a text"},
    {"verify", "DIR",
     "Check every record file in DIR against its side file and the chain of side files, print OK, CHANGED, "
     "MISSING or NOT CLOSED per file and end: status 0 when all are OK or NOT CLOSED, 1 otherwise, 2 when DIR "
     "cannot be read.",
     Goes::Run, "a directory"},
    {"key", "FILE",
     "With --verify: check every closed side file's signature against the station's public key in FILE (PEM, "
     "from --print-public-key) and say SIGNED BY THE STATION, NOT SIGNED or BAD SIGNATURE per file.",
     Goes::Run, "the public key file"},
    {"expect-head", "HASH",
     "With --verify: the chain head published last (MQTT chain topic, /api/chain); says whether the newest series "
     "is still there, and is status 1 when it was removed or replaced.",
     Goes::Run, "a SHA-256 in hex (64 digits)"},
    {"tsa", "URL",
     "Ask the time-stamping authority at URL (RFC 3161 over http) for a token over each closed side file, kept "
     "beside it (.tsr); without network the side files wait and are asked for again every minute.",
     Goes::Run, "the authority's http:// URL"},
    {"tsa-ca", "FILE", "With --verify: check the time stamps against the authority's certificates in FILE (PEM).",
     Goes::Run, "a certificate file"},
    {"print-public-key", nullptr,
     "Print the station's public key (PEM) and end; the key pair is made first when there is none."},
    {"serve", "[ADDR:]PORT",
     "Serve a live page, a JSON API and metrics on PORT (ADDR 127.0.0.1 unless given; PORT auto: 8080, or that of "
     "--instance); read-only. "
     "Any other address than a loopback one needs a token.",
     Goes::Run, "[ADDR:]PORT"},
    {"serve-token-file", "FILE",
     "Every request to the server needs \"Authorization: Bearer TOKEN\" or \"?token=TOKEN\", TOKEN the first "
     "line of FILE, a regular file (at least 16 printable ASCII characters; default: KESTRO_SERVE_TOKEN). Without a "
     "token only requests for localhost are answered.",
     Goes::Run, "a file"},
    {"serve-token", "TOKEN",
     "As --serve-token-file, with the token itself; other users of this computer may read it in the "
     "process list.",
     Goes::Run, "a token"},
    {"mqtt", "URL",
     "Publish status, levels and interval results to an MQTT broker, URL mqtt://[user@]host[:port]/prefix "
     "(password: KESTRO_MQTT_PASSWORD).",
     Goes::Run, "mqtt://[user@]host[:port]/prefix"},
    {"lang", "auto|en|de",
     "The language of the windows for this run: auto follows the desktop's languages (default: the stored "
     "choice of Setup).",
     Goes::Run, "auto, en or de"},
    {"report-lang", "auto|en|de",
     "The language of the PDF reports of --report, --report-day and this run's daily reports: auto writes in the "
     "windows' language (default: the stored choice of Setup).",
     Goes::Always, "auto, en or de"},
    {"on-event", "COMMAND",
     "Run COMMAND when an exceedance of the event level starts and when it ends: split into program and "
     "arguments at blanks (double quotes keep words together) and run without a shell, the event in its environment "
     "(KESTRO_EVENT_PHASE "
     "start or end, _START, _END, _DURATION_S, _LMAX_DB, _LEQ_DB, _SEL_DB, _LEVEL_DB, _OPEN, _STREAM, "
     "_RECORD_FILE, _COUNT, _SERIAL; never KESTRO_*_TOKEN, *_PASSWORD or the token). One runs at a time, up to 16 "
     "wait (beyond, the oldest is dropped); one running longer than 30 s is ended with its process group, as it is "
     "when the program ends; failures go to the event log (and, with --headless, to standard error).",
     Goes::Run, "a command"},
};

QStringList namesOf(const Option& o) { return QString::fromLatin1(o.names).split(QLatin1Char(',')); }

// "-o, --output OUT.pdf" as the help shows it, and "--output" as messages name it.
QString shownNames(const Option& o) {
    QStringList shown;
    for (const QString& n : namesOf(o))
        shown << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    return shown.join(QStringLiteral(", ")) + (o.value ? QLatin1Char(' ') + QLatin1String(o.value) : QString());
}
QString longName(const Option& o) { return QStringLiteral("--") + namesOf(o).constLast(); }

const Option* optionNamed(const QString& name) {
    for (const Option& o : kOptions)
        if (namesOf(o).contains(name)) return &o;
    return nullptr;
}

// What the parser refused, said as the rest of our messages say it.
QString refusal(const QCommandLineParser& parser, const QStringList& arguments) {
    auto nameOf = [](const QString& arg) {
        QString name = arg.section(QLatin1Char('='), 0, 0);
        while (name.startsWith(QLatin1Char('-')))
            name.remove(0, 1);
        return name;
    };
    const QStringList args = arguments.mid(1);
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().constFirst();
        for (const QString& arg : args)
            if (arg.startsWith(QLatin1Char('-')) && nameOf(arg) == name) return QStringLiteral("unknown option ") + arg;
        return QStringLiteral("unknown option --") + name;
    }
    // The parser's other refusals: a value given to an option that takes none,
    // or none after the last argument for one that needs it.
    for (const QString& arg : args) {
        const Option* o = arg.startsWith(QLatin1Char('-')) ? optionNamed(nameOf(arg)) : nullptr;
        if (o && !o->value && arg.contains(QLatin1Char('=')))
            return arg.section(QLatin1Char('='), 0, 0) + QStringLiteral(" takes no value");
    }
    const Option* last = args.isEmpty() ? nullptr : optionNamed(nameOf(args.constLast()));
    if (last && last->needs) return longName(*last) + QStringLiteral(" needs ") + QLatin1String(last->needs);
    return parser.errorText();
}

QString wrapped(const QString& text, int indent, int width) {
    QString out;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
            out += line + QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line;
}

QString entry(const QString& name, const QString& text) {
    constexpr int kColumn = 24;
    QString head = QStringLiteral("  ") + name;
    head = head.size() < kColumn ? head.leftJustified(kColumn)
                                 : head + QLatin1Char('\n') + QString(kColumn, QLatin1Char(' '));
    return head + wrapped(text, kColumn, 80) + QLatin1Char('\n');
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments, const QString& workingDir) {
    CommandLine cl;
    auto fail = [&cl](const QString& why) {
        cl.action = CommandLine::Action::Error;
        cl.error = why;
        return cl;
    };
    QCommandLineParser parser;
    // "-platform" is one unknown option, not eight letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option& o : kOptions) {
        QCommandLineOption option(namesOf(o), QLatin1String(o.text));
        if (o.value) option.setValueName(QLatin1String(o.value));
        parser.addOption(option);
    }
    if (!parser.parse(arguments)) return fail(refusal(parser, arguments));
    // Only a day's report takes an argument: its record directory.
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > (parser.isSet(QStringLiteral("report-day")) ? 1 : 0))
        return fail(QStringLiteral("unexpected argument ") + positional.constLast());

    AppOptions& o = cl.options;
    ReportRequest& r = o.report;
    auto set = [&parser](const char* name) {
        return parser.isSet(QLatin1String(name));
    };
    auto value = [&parser](const char* name) {
        return parser.value(QLatin1String(name));
    };
    auto needs = [&fail](const char* name) {
        return fail(longName(*optionNamed(QLatin1String(name))) + QStringLiteral(" needs ") +
                    QLatin1String(optionNamed(QLatin1String(name))->needs));
    };
    auto absolute = [&workingDir](const QString& path) {
        return QDir::cleanPath(QDir(workingDir).absoluteFilePath(path));
    };
    o.demo = set("demo");
    o.headless = set("headless");
    o.record = set("record");
    o.dailyReports = set("daily-reports");
    if (set("instance")) {
        o.instance = value("instance");
        if (!isInstanceName(o.instance)) return needs("instance");
    }
    for (const auto& [name, field] : {std::pair{"lang", &o.language}, {"report-lang", &o.reportLanguage}}) {
        if (!set(name)) continue;
        *field = value(name);
        if (!QStringList{QStringLiteral("auto"), QStringLiteral("en"), QStringLiteral("de")}.contains(*field))
            return needs(name);
    }
    if (set("report-day")) {
        if (!QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$")).match(value("report-day")).hasMatch())
            return needs("report-day");
        if (set("serial") && value("serial").trimmed().isEmpty()) return needs("serial");
    }
    // A path or text that is only blanks is none.
    for (const auto& [name, field, isPath] : {std::tuple{"port", &o.port, false},
                                              {"record-dir", &o.recordDir, true},
                                              {"verify", &o.verifyDir, true},
                                              {"key", &o.verifyKey, true},
                                              {"tsa-ca", &o.tsaCa, true},
                                              {"report", &r.recordFile, false}}) {
        if (!set(name)) continue;
        const QString v = value(name).trimmed();
        if (v.isEmpty()) return needs(name);
        *field = isPath ? absolute(v) : v;
    }
    for (const auto& [name, field] : {std::pair{"site", &o.site},
                                      {"operator", &o.operatorName},
                                      {"note", &o.note},
                                      {"instrument", &o.instrument}}) {
        if (!set(name)) continue;
        *field = value(name);
        if (field->trimmed().isEmpty()) return needs(name);
    }
    if (set("serve-token-file")) {
        if (value("serve-token-file").isEmpty()) return needs("serve-token-file");
        o.serveTokenFile = absolute(value("serve-token-file"));
    }
    if (set("expect-head")) {
        static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
        o.expectHead = value("expect-head").trimmed().toLower();
        if (!hex.match(o.expectHead).hasMatch()) return needs("expect-head");
    }
    if (set("tsa")) {
        o.tsa = value("tsa");
        if (!o.tsa.startsWith(QLatin1String("http://"))) return needs("tsa");
    }
    if (set("serve-token")) {
        o.serveToken = value("serve-token");
        if (o.serveToken.isEmpty()) return needs("serve-token");
    }
    if (set("serve")) {
        ListenAddress address;
        QString why;
        o.serve = value("serve");
        if (!parseListenAddress(o.serve, &address, &why)) return why.isEmpty() ? needs("serve") : fail(why);
    }
    if (set("mqtt")) {
        MqttTarget target;
        QString why;
        o.mqtt = value("mqtt");
        if (!parseMqttUrl(o.mqtt, &target, &why)) return why.isEmpty() ? needs("mqtt") : fail(why);
    }
    if (set("on-event")) {
        QString why;
        o.onEvent = splitEventCommand(value("on-event"), workingDir, &why);
        if (o.onEvent.isEmpty()) return fail(why);
    }
    if (set("interval")) {
        bool ok = false;
        r.intervalSeconds = value("interval").toInt(&ok);
        if (!ok || !isStatisticsInterval(r.intervalSeconds))
            return fail(QStringLiteral("--interval must be 10, 30, 60, 300, 600, 900, 1800 or 3600 seconds, not \"%1\"")
                            .arg(value("interval")));
    }
    if (set("limit")) {
        bool ok = false;
        const double db = value("limit").replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (!ok || !(db > 0.0) || db > 200.0)
            return fail(QStringLiteral("--limit must be a level in dB above 0, not \"%1\"").arg(value("limit")));
        r.limitTenths = int32_t(std::lround(db * 10.0));
    }
    if (set("flag-column")) {
        const QString kind = value("flag-column");
        if (kind != QLatin1String("overflow") && kind != QLatin1String("underflow"))
            return fail(QStringLiteral("--flag-column must be overflow or underflow, not \"%1\"").arg(kind));
        r.singleFlagColumn = kind == QLatin1String("underflow") ? kStatusUnderflow : kStatusOverflow;
    }
    if (set("tz")) {
        r.timeZone = value("tz").trimmed();
        if (!QTimeZone::isTimeZoneIdAvailable(r.timeZone.toUtf8()))
            return fail(
                QStringLiteral("--tz must name a time zone this computer knows, such as Europe/Berlin, not \"%1\"")
                    .arg(value("tz")));
    }
    r.output = value("output");

    // Asking for help or the version wins over everything else on the line.
    if (set("help")) {
        cl.action = CommandLine::Action::Help;
        return cl;
    }
    if (set("version")) {
        cl.action = CommandLine::Action::Version;
        return cl;
    }
    // An option of one command beside another command.
    const bool report = set("report");
    const bool day = set("report-day");
    if (report && day) return fail(QStringLiteral("--report-day does not go with --report"));
    for (const Option& option : kOptions) {
        if (!parser.isSet(namesOf(option).constLast())) continue;
        const bool dayToo = option.goes == Goes::Day || namesOf(option).contains(QLatin1String("interval"));
        if (day && option.goes != Goes::Always && !dayToo)
            return fail(longName(option) + QStringLiteral(" does not go with --report-day"));
        if (!day && option.goes == Goes::Day)
            return fail(longName(option) + QStringLiteral(" goes with --report-day DATE"));
        if (day) continue;
        if (option.goes == (report ? Goes::Run : Goes::Report))
            return fail(report ? longName(option) + QStringLiteral(" does not go with --report")
                               : longName(option) + QStringLiteral(" goes with --report FILE"));
    }
    if (day) {
        cl.action = CommandLine::Action::ReportDay;
    } else if (report) {
        r.site = o.site;
        r.operatorName = o.operatorName;
        r.note = o.note;
        r.instrument = o.instrument;
        cl.action = CommandLine::Action::Report;
    } else if (set("print-public-key")) {
        cl.action = CommandLine::Action::PrintPublicKey;
    } else if (!o.verifyDir.isEmpty()) {
        cl.action = CommandLine::Action::Verify;
    } else if (!o.verifyKey.isEmpty() || !o.expectHead.isEmpty() || !o.tsaCa.isEmpty()) {
        return fail(QStringLiteral("--key, --expect-head and --tsa-ca go with --verify DIR"));
    } else if (isAutomaticPort(o.serve) && !defaultWebPort(o.instance)) {
        return fail(
            QStringLiteral("--serve auto needs an instance name that ends in a number (at most 4 digits); "
                           "give the port"));
    } else if (o.demo && !o.port.isEmpty()) {
        return fail(QStringLiteral("--demo brings its own meter and cannot be combined with --port"));
    } else if (!o.serveToken.isEmpty() && !o.serveTokenFile.isEmpty()) {
        return fail(QStringLiteral("give the token once: --serve-token-file or --serve-token"));
    } else if ((!o.serveToken.isEmpty() || !o.serveTokenFile.isEmpty()) && o.serve.isEmpty()) {
        return fail(QStringLiteral("--serve-token%1 is for the server of --serve")
                        .arg(o.serveToken.isEmpty() ? QStringLiteral("-file") : QString()));
    }
    return cl;
}

int refuseCommandLine(const QString& error) {
    writeStderrLine(Priority::Error, error + QStringLiteral("; try 'KestroRecorder --help' for the options"));
    return kExitCannotRun;
}

void concealServeToken(int argc, char** argv) {
    constexpr char kName[] = "--serve-token";
    const size_t length = sizeof kName - 1;
    for (int i = 1; i < argc; ++i) {
        char* value = nullptr;
        if (std::strcmp(argv[i], kName) == 0 && i + 1 < argc)
            value = argv[++i];
        else if (std::strncmp(argv[i], kName, length) == 0 && argv[i][length] == '=')
            value = argv[i] + length + 1;
        if (value) std::memset(value, '*', std::strlen(value));
    }
}

QString helpText() {
    QString text = QStringLiteral(
        "Usage: KestroRecorder [options]\n\n"
        "Recorder and remote front panel for a sound level meter on a serial line\n"
        "(9600,N,8,1).\n\n"
        "Options:\n");
    for (const Option& o : kOptions)
        text += entry(shownNames(o), QLatin1String(o.text));
    text += QStringLiteral("\nEnvironment:\n");
    text += entry(QStringLiteral("KESTRO_COM1..KESTRO_COM4"),
                  QStringLiteral("Device path of COM1..COM4; comes before the paths chosen in Setup "
                                 "(--port comes before KESTRO_COM1)."));
    text += entry(QStringLiteral("LOGFILES"), QStringLiteral("Directory of the event log R270_Kestro.log."));
    text += entry(QStringLiteral("KESTRO_SERVE_TOKEN"),
                  QStringLiteral("The token of --serve when neither --serve-token-file nor --serve-token "
                                 "is given (not shown to other users)."));
    text += entry(QStringLiteral("KESTRO_MQTT_PASSWORD"), QStringLiteral("The password of the --mqtt user."));
    text += entry(QStringLiteral("KESTRO_READ_HOLDOFF_MS"),
                  QStringLiteral("Milliseconds (0 to 100, default 20) an unfinished line may wait in the serial "
                                 "port for its rest; 0 also reads a busy line at every arrival, not at the tick."));
    text += entry(QStringLiteral("QT_LOGGING_RULES"),
                  QStringLiteral("Diagnostic lines on standard error, off by default: \"kestro.*.debug=true\" for "
                                 "the port (kestro.link), the poll cycle (kestro.session) and the event command "
                                 "(kestro.events)."));
    text += entry(QStringLiteral("XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_DATA_HOME"),
                  QStringLiteral("Base directories of the files below."));
    text += QStringLiteral("\nFiles:\n");
    text += entry(QStringLiteral("$XDG_CONFIG_HOME/KestroRecorder/registry.json"),
                  QStringLiteral("The settings (default ~/.config/KestroRecorder/registry.json)."));
    text += entry(QStringLiteral("$XDG_STATE_HOME/KestroRecorder/R270_Kestro.log"),
                  QStringLiteral("The event log when LOGFILES is not set (default ~/.local/state/KestroRecorder)."));
    text += entry(QStringLiteral("~/Documents/KestroRecorder/"),
                  QStringLiteral("Record files when no record directory is set: KestroRecorder in the "
                                 "XDG documents directory, or $XDG_DATA_HOME/KestroRecorder when there is none."));
    text += entry(QStringLiteral("$XDG_STATE_HOME/KestroRecorder/mqtt/"),
                  QStringLiteral("Interval messages waiting for the MQTT broker (kept up to 7 days)."));
    text += entry(QStringLiteral("$XDG_RUNTIME_DIR/KestroRecorder.lock"),
                  QStringLiteral("Held while the program runs, to refuse a second instance."));
    text += entry(QStringLiteral("KestroRecorder@NAME"),
                  QStringLiteral("With --instance NAME, the name of each of these folders and of the lock, and a "
                                 "folder of that name in LOGFILES."));
    text += QStringLiteral("\nExit status:\n");
    text += entry(QStringLiteral("0"), QStringLiteral("Normal end: window closed, File > Exit, SIGINT, SIGTERM, "
                                                      "SIGHUP or a lost display, after the meter was returned "
                                                      "to local operation."));
    text += entry(QStringLiteral("1"), QStringLiteral("Another instance is already running."));
    text += entry(QStringLiteral("2"),
                  QStringLiteral("Cannot run: a wrong command line (--report and --verify included), no display "
                                 "without --headless, a "
                                 "--record-dir that cannot be created, a --serve address that cannot be used "
                                 "(or one open to the network without a token), or (with --headless) no usable "
                                 "port or settings file, or a port another instance uses."));
    text += entry(QStringLiteral("--report"),
                  QStringLiteral("0 written; 1 an output that is the record file itself; 2 a wrong command line, or "
                                 "the record file cannot be read (not a regular file, a line longer than 64 KiB, no "
                                 "record line); 3 the PDF cannot be written (nothing is left under its name)."));
    return text;
}

QString versionText() {
    QString text = QStringLiteral(KESTRO_APP_TITLE " " KESTRO_VERSION_STRING);
    const QString comment = QStringLiteral(KESTRO_VERSION_COMMENT);
    if (!comment.isEmpty()) text += QLatin1Char(' ') + comment;
    return text + QLatin1Char('\n');
}

int runVerifyCommand(const AppOptions& o) {
    QByteArray key;
    if (!o.verifyKey.isEmpty()) {
        QFile f(o.verifyKey);
        QString why = f.errorString();
        const std::optional<QByteArray> raw =
            f.open(QIODevice::ReadOnly) ? readPublicKey(f.readAll(), &why) : std::optional<QByteArray>();
        if (!raw) {
            writeStderrLine(Priority::Error, QStringLiteral("the key %1 cannot be used: %2").arg(o.verifyKey, why));
            return 2;
        }
        key = *raw;
    }
    const DirectoryVerdict v = verifyDirectory(o.verifyDir, QString(), key, o.tsaCa);
    if (!v.readable) {
        writeStderrLine(Priority::Error, QStringLiteral("the directory %1 cannot be read").arg(o.verifyDir));
        return 2;
    }
    int counts[4] = {};
    std::map<QString, int> signatures;
    for (const FileVerdict& f : v.files) {
        ++counts[int(f.verdict)];
        if (!f.signature.isEmpty()) ++signatures[f.signature];
        QStringList said;
        if (!f.signature.isEmpty()) said << f.signature;
        if (!f.detail.isEmpty()) said << f.detail;
        const QString line = verdictText(f.verdict).leftJustified(12) + f.recordFile +
                             (said.isEmpty() ? QString() : QStringLiteral(": ") + said.join(QStringLiteral("; ")));
        std::printf("%s\n", line.toLocal8Bit().constData());
    }
    std::printf("%d files: %d OK, %d NOT CLOSED, %d CHANGED, %d MISSING\n", int(v.files.size()),
                counts[int(Verdict::Ok)], counts[int(Verdict::NotClosed)], counts[int(Verdict::Changed)],
                counts[int(Verdict::Missing)]);
    if (key.isEmpty())
        std::printf("Signatures not checked: give the station's public key with --key.\n");
    else
        std::printf(
            "Signatures: %d SIGNED BY THE STATION, %d NOT SIGNED (vouched for by hashes alone, which anyone "
            "can recompute), %d BAD SIGNATURE\n",
            signatures[QStringLiteral("SIGNED BY THE STATION")], signatures[QStringLiteral("NOT SIGNED")],
            signatures[QStringLiteral("BAD SIGNATURE")]);
    if (!v.headSideFile.isEmpty())
        std::printf("Newest closed side file: %s, sha256 %s\n", v.headSideFile.toLocal8Bit().constData(),
                    v.headSha256.constData());
    bool headOk = true;
    if (!o.expectHead.isEmpty()) {
        const ChainLink link = findChainLink(o.verifyDir, o.expectHead.toLatin1());
        headOk = link.onChain;
        if (!link.found)
            std::printf(
                "HEAD REMOVED OR REPLACED: no closed side file here has the expected sha256 %s: the series "
                "closed last when it was published was removed, or replaced by another\n",
                o.expectHead.toLatin1().constData());
        else if (!link.onChain)
            std::printf(
                "HEAD OFF THE CHAIN: %s has the expected sha256, but the chain from the newest side file "
                "does not lead back to it\n",
                link.sideFile.toLocal8Bit().constData());
        else
            std::printf("HEAD AS EXPECTED: %s, followed by %d side files closed since\n",
                        link.sideFile.toLocal8Bit().constData(), link.after);
    }
    return v.allGood() && headOk ? 0 : 1;
}

int runPrintPublicKey(const AppOptions& o) {
    QString why;
    const std::shared_ptr<const StationKey> key = StationKey::loadOrCreate(Instance(o.instance).stateDirectory(), &why);
    if (!key) {
        writeStderrLine(Priority::Error, QStringLiteral("the station key cannot be used: %1").arg(why));
        return kExitCannotRun;
    }
    const QByteArray pem = key->publicKeyPem();
    std::fwrite(pem.constData(), 1, size_t(pem.size()), stdout);
    return kExitOk;
}

void setApplicationIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral(KESTRO_APP_TITLE));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION_STRING));
    QCoreApplication::setOrganizationName(QStringLiteral(KESTRO_APP_TITLE));
}

}  // namespace kestro
