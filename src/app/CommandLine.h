#pragma once
// The command line, read before any GUI object exists: --help and --version
// must work without a display, and a start without one must say what to do.

#include "statistics/ReportRequest.h"

#include <QString>
#include <QStringList>

namespace kestro {

struct AppOptions {
    bool demo = false;          // play against the built-in simulator on a private link
    bool headless = false;      // no window; messages on standard error
    bool record = false;        // arm recording as soon as the device has started
    bool dailyReports = false;  // a report per assessment day for this run
    QString instance;           // --instance NAME; empty: the unnamed instance
    QString port;               // device path used as COM1 for this run; empty: the stored port
    QString recordDir;          // record directory for this run (absolute); empty: the stored one
    QString serve;              // "[ADDR:]PORT" of the web server; empty: no server
    QString serveToken;         // the token the server asks for; empty: KESTRO_SERVE_TOKEN or none
    QString serveTokenFile;     // file holding that token (absolute); empty: none
    QString mqtt;               // "mqtt://[user@]host[:port]/prefix"; empty: no publishing
    // Measurement details for this run (empty: the stored ones).
    QString site;
    QString operatorName;
    QString note;
    QString instrument;      // type and class of the sound level meter
    QString verifyDir;       // --verify: the record directory to check (absolute)
    QString verifyKey;       // --key: the station's public key file (absolute)
    QString expectHead;      // --expect-head: the chain head published last (sha256, hex)
    QString tsaCa;           // --tsa-ca: certificates of the time-stamping authority (absolute)
    QString tsa;             // --tsa: the time-stamping authority's URL; empty: none
    QStringList onEvent;     // --on-event: the program (absolute) and its arguments; empty: none
    ReportRequest report;    // --report and its options
    QString language;        // --lang: "auto", "en" or "de"; empty: the stored choice
    QString reportLanguage;  // --report-lang: "auto", "en" or "de"; empty: the stored choice
};

struct CommandLine {
    enum class Action { Run, Help, Version, Report, ReportDay, Verify, PrintPublicKey, Error };
    Action action = Action::Run;
    AppOptions options;
    QString error;  // for Action::Error: what is wrong, one line
};

// Exit statuses, as --help lists them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSecondInstance = 1;
inline constexpr int kExitCannotRun = 2;

// Every command reads its line here, with one parser: a wrong line is
// Action::Error (exit status 2) whatever the command. arguments: the program
// name first, as in argv. Relative paths are taken relative to workingDir
// (those of --report as given).
CommandLine parseCommandLine(const QStringList& arguments, const QString& workingDir);
// Says what is wrong with the line on standard error; the exit status.
int refuseCommandLine(const QString& error);

// Overwrites the value of --serve-token in argv: /proc/PID/cmdline shows
// the process's own copy of its arguments to every user.
void concealServeToken(int argc, char** argv);

QString helpText();
QString versionText();

// --verify DIR [--key FILE] [--expect-head HASH]: prints the verdict (and with
// a key the signature) of every record file of DIR and the chain's newest side
// file. 0: all OK or NOT CLOSED, 1: one CHANGED or MISSING, a bad or missing
// signature, or another head than expected; 2: DIR or the key unreadable.
int runVerifyCommand(const AppOptions& o);
// --print-public-key: the station's public key (PEM), made first when there is none.
int runPrintPublicKey(const AppOptions& o);

// Name and version of the application object.
void setApplicationIdentity();

}  // namespace kestro
