#include "app/CommandLine.h"

#include "session/EventCommand.h"

#include "kestro/Version.h"
#include "recording/EvidenceFiles.h"
#include "recording/StationKey.h"
#include "remote/RemoteOptions.h"
#include "settings/RecorderSettings.h"
#include "shell/Instance.h"
#include "shell/Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstdio>
#include <cstring>
#include <map>

namespace kestro {

namespace {

struct Option {
    const char* names;  // as shown: "-h, --help" or "--port PATH"
    const char* text;
};

// The options as --help shows them (the tests check that the parser takes each one).
const Option kOptions[] = {
    {"-h, --help", "Show this help and exit."},
    {"-v, --version", "Show the version and exit."},
    {"--demo",
     "Run against the built-in instrument simulator (kestro-sim) on a private link; "
     "nothing is written into your settings."},
    {"--headless",
     "No window: messages go to standard error, and a missing or unusable port or settings file ends the "
     "program with status 2."},
    {"--record", "Arm recording as soon as the meter has started, and again after every reconnect."},
    {"--instance NAME",
     "Run as the instance NAME (letters, digits, - and _, at most 32), one of several meters on this computer: its "
     "own settings file, state and data places, lock, event log, default record folder KestroRecorder@NAME, MQTT "
     "client id and metrics label; --serve auto listens on 8081 + the number NAME ends in."},
    {"--port PATH",
     "Use the serial device PATH as COM1 for this run (for example a name under /dev/serial/by-id/); "
     "the stored settings are not changed."},
    {"--record-dir DIR",
     "Write the record files to DIR for this run (created when missing); "
     "the stored settings are not changed."},
    {"--report FILE",
     "Write the PDF report of a record file and end (no display needed); "
     "--report FILE --help lists its options."},
    {"--report-day DATE [DIR]",
     "Write the report of the assessment day that begins on DATE (2026-12-07) over every series of the record "
     "directory DIR (default: the stored one) into DIR/reports and end."},
    {"--daily-reports",
     "Write a report of every assessment day when it ends, and those missing of the last 31 days at the start, "
     "for this run (always so with --headless)."},
    {"--site TEXT", "The location of the measurement for this run (and for --report); the stored one is kept."},
    {"--operator NAME", "Who measures, for this run (and for --report)."},
    {"--note TEXT", "Notes on the measurement, for this run (and for --report)."},
    {"--instrument TEXT",
     "The sound level meter's type and class, for this run (and for --report); the stored one is kept."},
    {"--verify DIR",
     "Check every record file in DIR against its side file and the chain of side files, print OK, CHANGED, "
     "MISSING or NOT CLOSED per file and end: status 0 when all are OK or NOT CLOSED, 1 otherwise, 2 when DIR "
     "cannot be read."},
    {"--key FILE",
     "With --verify: check every closed side file's signature against the station's public key in FILE (PEM, "
     "from --print-public-key) and say SIGNED BY THE STATION, NOT SIGNED or BAD SIGNATURE per file."},
    {"--expect-head HASH",
     "With --verify: the chain head published last (MQTT chain topic, /api/chain); says whether the newest series "
     "is still there, and is status 1 when it was removed or replaced."},
    {"--tsa URL",
     "Ask the time-stamping authority at URL (RFC 3161 over http) for a token over each closed side file, kept "
     "beside it (.tsr); without network the side files wait and are asked for again every minute."},
    {"--tsa-ca FILE", "With --verify: check the time stamps against the authority's certificates in FILE (PEM)."},
    {"--print-public-key",
     "Print the station's public key (PEM) and end; the key pair is made first when there is none."},
    {"--serve [ADDR:]PORT",
     "Serve a live page, a JSON API and metrics on PORT (ADDR 127.0.0.1 unless given; PORT auto: 8080, or that of "
     "--instance); read-only. "
     "Any other address than a loopback one needs a token."},
    {"--serve-token-file FILE",
     "Every request to the server needs \"Authorization: Bearer TOKEN\" or \"?token=TOKEN\", TOKEN the first "
     "line of FILE, a regular file (at least 16 printable ASCII characters; default: KESTRO_SERVE_TOKEN). Without a "
     "token only requests for localhost are answered."},
    {"--serve-token TOKEN",
     "As --serve-token-file, with the token itself; other users of this computer may read it in the "
     "process list."},
    {"--mqtt URL",
     "Publish status, levels and interval results to an MQTT broker, URL mqtt://[user@]host[:port]/prefix "
     "(password: KESTRO_MQTT_PASSWORD)."},
    {"--lang auto|en|de",
     "The language of the windows for this run: auto follows the desktop's languages (default: the stored "
     "choice of Setup)."},
    {"--on-event COMMAND",
     "Run COMMAND when an exceedance of the event level starts and when it ends: split into program and "
     "arguments at blanks (double quotes keep words together) and run without a shell, the event in its environment "
     "(KESTRO_EVENT_PHASE "
     "start or end, _START, _END, _DURATION_S, _LMAX_DB, _LEQ_DB, _SEL_DB, _LEVEL_DB, _OPEN, _STREAM, "
     "_RECORD_FILE, _COUNT, _SERIAL; never KESTRO_*_TOKEN, *_PASSWORD or the token). One runs at a time, up to 16 "
     "wait (beyond, the oldest is dropped); one running longer than 30 s is ended with its process group, as it is "
     "when the program ends; failures go to the event log (and, with --headless, to standard error)."},
};

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
    bool help = false;
    bool version = false;
    bool printKey = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        // "--name=value" or "--name value" for the options that take one.
        auto value = [&](const QString& name, QString* out) {
            if (arg == name) {
                if (i + 1 >= arguments.size()) return false;
                *out = arguments[++i];
                return true;
            }
            *out = arg.mid(name.size() + 1);
            return true;
        };
        auto takes = [&arg](const char* name) {
            return arg == QLatin1String(name) || arg.startsWith(QLatin1String(name) + QLatin1Char('='));
        };
        if (takes("--report")) {
            // The report takes the rest of the line (its own options); main runs it.
            cl.action = CommandLine::Action::Report;
            return cl;
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            help = true;
        } else if (arg == QLatin1String("-v") || arg == QLatin1String("--version")) {
            version = true;
        } else if (arg == QLatin1String("--demo")) {
            cl.options.demo = true;
        } else if (arg == QLatin1String("--headless")) {
            cl.options.headless = true;
        } else if (arg == QLatin1String("--record")) {
            cl.options.record = true;
        } else if (takes("--instance")) {
            if (!value(QStringLiteral("--instance"), &cl.options.instance) || !isInstanceName(cl.options.instance))
                return fail(QStringLiteral("--instance needs a name of 1 to 32 letters, digits, - and _"));
        } else if (arg == QLatin1String("--daily-reports")) {
            cl.options.dailyReports = true;
        } else if (takes("--port")) {
            if (!value(QStringLiteral("--port"), &cl.options.port) || cl.options.port.trimmed().isEmpty())
                return fail(QStringLiteral("--port needs the path of the serial device"));
            cl.options.port = cl.options.port.trimmed();
        } else if (takes("--record-dir")) {
            QString dir;
            if (!value(QStringLiteral("--record-dir"), &dir) || dir.trimmed().isEmpty())
                return fail(QStringLiteral("--record-dir needs a directory"));
            cl.options.recordDir = QDir::cleanPath(QDir(workingDir).absoluteFilePath(dir.trimmed()));
        } else if (takes("--serve-token-file")) {
            QString file;
            if (!value(QStringLiteral("--serve-token-file"), &file) || file.isEmpty())
                return fail(QStringLiteral("--serve-token-file needs a file"));
            cl.options.serveTokenFile = QDir::cleanPath(QDir(workingDir).absoluteFilePath(file));
        } else if (takes("--verify")) {
            if (!value(QStringLiteral("--verify"), &cl.options.verifyDir) || cl.options.verifyDir.trimmed().isEmpty())
                return fail(QStringLiteral("--verify needs a directory"));
            cl.options.verifyDir = QDir::cleanPath(QDir(workingDir).absoluteFilePath(cl.options.verifyDir.trimmed()));
        } else if (takes("--key")) {
            QString file;
            if (!value(QStringLiteral("--key"), &file) || file.trimmed().isEmpty())
                return fail(QStringLiteral("--key needs the public key file"));
            cl.options.verifyKey = QDir::cleanPath(QDir(workingDir).absoluteFilePath(file.trimmed()));
        } else if (takes("--expect-head")) {
            static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
            if (!value(QStringLiteral("--expect-head"), &cl.options.expectHead) ||
                !hex.match(cl.options.expectHead.trimmed()).hasMatch())
                return fail(QStringLiteral("--expect-head needs a SHA-256 in hex (64 digits)"));
            cl.options.expectHead = cl.options.expectHead.trimmed().toLower();
        } else if (takes("--tsa-ca")) {
            QString file;
            if (!value(QStringLiteral("--tsa-ca"), &file) || file.trimmed().isEmpty())
                return fail(QStringLiteral("--tsa-ca needs a certificate file"));
            cl.options.tsaCa = QDir::cleanPath(QDir(workingDir).absoluteFilePath(file.trimmed()));
        } else if (takes("--tsa")) {
            if (!value(QStringLiteral("--tsa"), &cl.options.tsa) ||
                !cl.options.tsa.startsWith(QLatin1String("http://")))
                return fail(QStringLiteral("--tsa needs the authority's http:// URL"));
        } else if (arg == QLatin1String("--print-public-key")) {
            printKey = true;
        } else if (takes("--site") || takes("--operator") || takes("--note") || takes("--instrument")) {
            const QString name = arg.section(QLatin1Char('='), 0, 0);
            QString* out = name == QLatin1String("--site")         ? &cl.options.site
                           : name == QLatin1String("--operator")   ? &cl.options.operatorName
                           : name == QLatin1String("--instrument") ? &cl.options.instrument
                                                                   : &cl.options.note;
            if (!value(name, out) || out->trimmed().isEmpty()) return fail(name + QStringLiteral(" needs a text"));
        } else if (takes("--serve-token")) {
            if (!value(QStringLiteral("--serve-token"), &cl.options.serveToken) || cl.options.serveToken.isEmpty())
                return fail(QStringLiteral("--serve-token needs a token"));
        } else if (takes("--serve")) {
            ListenAddress address;
            QString why;
            if (!value(QStringLiteral("--serve"), &cl.options.serve) ||
                !parseListenAddress(cl.options.serve, &address, &why))
                return fail(why.isEmpty() ? QStringLiteral("--serve needs [ADDR:]PORT") : why);
        } else if (takes("--mqtt")) {
            MqttTarget target;
            QString why;
            if (!value(QStringLiteral("--mqtt"), &cl.options.mqtt) || !parseMqttUrl(cl.options.mqtt, &target, &why))
                return fail(why.isEmpty() ? QStringLiteral("--mqtt needs mqtt://[user@]host[:port]/prefix") : why);
        } else if (takes("--lang")) {
            if (!value(QStringLiteral("--lang"), &cl.options.language) ||
                !QStringList{QStringLiteral("auto"), QStringLiteral("en"), QStringLiteral("de")}.contains(
                    cl.options.language))
                return fail(QStringLiteral("--lang needs auto, en or de"));
        } else if (takes("--on-event")) {
            QString command, why;
            if (!value(QStringLiteral("--on-event"), &command))
                return fail(QStringLiteral("--on-event needs a command"));
            cl.options.onEvent = splitEventCommand(command, workingDir, &why);
            if (cl.options.onEvent.isEmpty()) return fail(why);
        } else {
            return fail(QStringLiteral("unknown option ") + arg);
        }
    }
    // Asking for help or the version wins over everything else on the line.
    if (help) {
        cl.action = CommandLine::Action::Help;
    } else if (version) {
        cl.action = CommandLine::Action::Version;
    } else if (printKey) {
        cl.action = CommandLine::Action::PrintPublicKey;
    } else if (!cl.options.verifyDir.isEmpty()) {
        cl.action = CommandLine::Action::Verify;
    } else if (!cl.options.verifyKey.isEmpty() || !cl.options.expectHead.isEmpty() || !cl.options.tsaCa.isEmpty()) {
        return fail(QStringLiteral("--key, --expect-head and --tsa-ca go with --verify DIR"));
    } else if (isAutomaticPort(cl.options.serve) && !defaultWebPort(cl.options.instance)) {
        return fail(
            QStringLiteral("--serve auto needs an instance name that ends in a number (at most 4 digits); "
                           "give the port"));
    } else if (cl.options.demo && !cl.options.port.isEmpty()) {
        return fail(QStringLiteral("--demo brings its own meter and cannot be combined with --port"));
    } else if (!cl.options.serveToken.isEmpty() && !cl.options.serveTokenFile.isEmpty()) {
        return fail(QStringLiteral("give the token once: --serve-token-file or --serve-token"));
    } else if ((!cl.options.serveToken.isEmpty() || !cl.options.serveTokenFile.isEmpty()) &&
               cl.options.serve.isEmpty()) {
        return fail(QStringLiteral("--serve-token%1 is for the server of --serve")
                        .arg(cl.options.serveToken.isEmpty() ? QStringLiteral("-file") : QString()));
    }
    return cl;
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
        text += entry(QLatin1String(o.names), QLatin1String(o.text));
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
                  QStringLiteral("Cannot run: a wrong command line, no display without --headless, a "
                                 "--record-dir that cannot be created, a --serve address that cannot be used "
                                 "(or one open to the network without a token), or (with --headless) no usable "
                                 "port or settings file, or a port another instance uses."));
    text += entry(QStringLiteral("--report"),
                  QStringLiteral("0 written; 1 wrong options or an output that is the record file itself; 2 the "
                                 "record file cannot be read (not a regular file, a line longer than 64 KiB, no "
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

bool wantsReport(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--report") == 0 || std::strcmp(argv[i], "--report-day") == 0 ||
            std::strncmp(argv[i], "--report=", 9) == 0)
            return true;
    return false;
}

}  // namespace kestro
