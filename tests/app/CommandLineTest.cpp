#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace kestro;

namespace {

using Action = CommandLine::Action;

// The parse as one text: the action, then every option that is set; an error with its text.
QString parsedText(const QStringList& args) {
    const CommandLine cl = parseCommandLine(QStringList{"KestroRecorder"} + args, "/home/tech");
    if (cl.action == Action::Error) return "error " + cl.error;
    QStringList out{QStringList{"run", "help", "version", "report", "day", "verify", "key"}[int(cl.action)]};
    const AppOptions& o = cl.options;
    const ReportRequest& r = o.report;
    for (const auto& [on, name] :
         {std::pair{o.demo, "demo"}, {o.headless, "headless"}, {o.record, "record"}, {o.dailyReports, "dailyreports"}})
        if (on) out << name;
    for (const auto& [value, name] : {std::pair{o.instance, "instance"},
                                      {o.port, "port"},
                                      {o.recordDir, "dir"},
                                      {o.serve, "serve"},
                                      {o.serveToken, "token"},
                                      {o.serveTokenFile, "tokenfile"},
                                      {o.mqtt, "mqtt"},
                                      {o.site, "site"},
                                      {o.operatorName, "operator"},
                                      {o.note, "note"},
                                      {o.instrument, "instrument"},
                                      {o.verifyDir, "verify"},
                                      {o.onEvent.join('|'), "onevent"},
                                      {o.language, "lang"},
                                      {o.reportLanguage, "reportlang"},
                                      {r.recordFile, "report"},
                                      {r.output, "out"},
                                      {r.timeZone, "tz"},
                                      {r.site, "reportsite"}})
        if (!value.isEmpty()) out << QString(name) + '=' + value;
    if (cl.action == Action::Report)
        out << QString("%1s %2 flags%3").arg(r.intervalSeconds).arg(r.limitTenths).arg(r.singleFlagColumn);
    return out.join(' ');
}

TEST(CommandLineTest, OptionsAndTheirValues) {
    const struct {
        QStringList args;
        const char* parsed;  // an error's text only from its start
    } rows[] = {
        {{}, "run"},
        {{"--headless", "--record"}, "run headless record"},
        {{"--port", "/dev/serial/by-id/usb-x"}, "run port=/dev/serial/by-id/usb-x"},
        {{"--record-dir", "rec/../records/"}, "run dir=/home/tech/records"},
        {{"-h"}, "help"},
        {{"--headless", "--help"}, "help headless"},
        {{"--version", "--help"}, "help"},
        {{"--bogus", "--help"}, "error unknown option --bogus"},
        {{"--port"}, "error --port needs"},
        {{"--demo", "--port", "/dev/ttyUSB0"}, "error --demo brings its own meter"},
        {{"-platform", "xcb"}, "error unknown option -platform"},
        // Remote monitoring; what an address or a broker URL may be is the remote options' table.
        {{"--serve", "8080"}, "run serve=8080"},
        {{"--serve=0.0.0.0:8080", "--serve-token", "s3cret"}, "run serve=0.0.0.0:8080 token=s3cret"},
        {{"--instance=ttyUSB1", "--serve", "auto"}, "run instance=ttyUSB1 serve=auto"},
        {{"--instance", "meter", "--serve", "0.0.0.0:auto"}, "error --serve auto needs an instance name that ends"},
        {{"--instance", "a/b"}, "error --instance needs a name"},
        {{"--lang", "de", "--daily-reports"}, "run dailyreports lang=de"},
        {{"--lang", "fr"}, "error --lang needs auto, en or de"},
        {{"--report", "r.dat", "--report-lang", "de"}, "report reportlang=de report=r.dat 900s 0 flags0"},
        {{"--report-day", "2026-12-07", "--report-lang=en"}, "day reportlang=en"},
        {{"--report-lang", "fr"}, "error --report-lang needs auto, en or de"},
        // A day's report: its date, one directory, and only the options it takes.
        {{"--report-day", "2026-12-07", "/srv/rec", "--serial", "7", "--interval", "60"}, "day"},
        {{"--report-day", "7.12.2026"}, "error --report-day needs a date"},
        {{"--report-day", "2026-12-07", "a", "b"}, "error unexpected argument b"},
        {{"--report-day", "2026-12-07", "--limit", "50"}, "error --limit does not go with --report-day"},
        {{"--report-day", "2026-12-07", "--report", "r.dat"}, "error --report-day does not go with --report"},
        {{"--serial", "7"}, "error --serial goes with --report-day DATE"},
        {{"--serve-token", "t"}, "error --serve-token is for the server of --serve"},
        {{"--serve", "80", "--serve-token="}, "error --serve-token needs a token"},
        {{"--serve", "80", "--serve-token-file", "etc/../token"}, "run serve=80 tokenfile=/home/tech/token"},
        {{"--serve", "80", "--serve-token-file", "f", "--serve-token", "t"}, "error give the token once"},
        {{"--mqtt", "mqtt://broker.lan/noise"}, "run mqtt=mqtt://broker.lan/noise"},
        {{"--mqtt", "mqtt://broker.lan"}, "error --mqtt needs mqtt://[user@]host[:port]/prefix (the topic"},
        {{"--on-event", "/bin/sh -c \"exec logger -t noise\" x"}, "run onevent=/bin/sh|-c|exec logger -t noise|x"},
        {{"--on-event="}, "error --on-event needs a command"},
        {{"--on-event", "/bin/../nowhere/notify -x"}, "error --on-event: /bin/../nowhere/notify is no program"},
        // Measurement details and the evidence check.
        {{"--site", "Yard 3", "--operator=A. Tester", "--note", "north fence", "--instrument=class 1"},
         "run site=Yard 3 operator=A. Tester note=north fence instrument=class 1"},
        {{"--verify", "rec/"}, "verify verify=/home/tech/rec"},
        {{"--verify=/srv/noise", "--help"}, "help verify=/srv/noise"},
        {{"--site="}, "error --site needs a text"},
        // The report's options, read by the same parser and refused the same way.
        {{"--report", "r.dat", "--interval=60", "--limit", "55,5", "--flag-column", "underflow", "--tz",
          "Europe/Berlin", "-o", "r.pdf", "--site", "Yard"},
         "report site=Yard report=r.dat out=r.pdf tz=Europe/Berlin reportsite=Yard 60s 555 flags1"},
        {{"--report", "r.dat"}, "report report=r.dat 900s 0 flags0"},
        {{"--report", "r.dat", "--help"}, "help report=r.dat"},
        {{"--report", "r.dat", "--bogus"}, "error unknown option --bogus"},
        {{"--report", "r.dat", "--headless"}, "error --headless does not go with --report"},
        {{"--verify", "d", "--tz", "UTC"}, "error --tz goes with --report FILE"},
        {{"--report", "r.dat", "--interval", "120"}, "error --interval must be 10, 30,"},
        {{"--report", "r.dat", "--limit", "0"}, "error --limit must be a level in dB above 0"},
        {{"--report", "r.dat", "--flag-column", "both"}, "error --flag-column must be overflow or underflow"},
        {{"--report", "r.dat", "--tz", "Mars/Olympus"}, "error --tz must name a time zone"},
        {{"--demo=1"}, "error --demo takes no value"},
        {{"r.dat"}, "error unexpected argument r.dat"},
    };
    for (const auto& r : rows) {
        const QString parsed = parsedText(r.args);
        EXPECT_TRUE(parsed.startsWith(r.parsed) && (parsed.startsWith("error") || parsed == r.parsed))
            << r.args.join(' ').toStdString() << ": " << parsed.toStdString();
    }
}

TEST(CommandLineTest, TheTokenIsOverwrittenInTheArguments) {
    std::string a = "--serve-token", b = "s3cret", c = "--serve-token=s3", d = "--serve-token-file", e = "f";
    char* argv[] = {a.data(), a.data(), b.data(), c.data(), d.data(), e.data()};
    concealServeToken(6, argv);
    EXPECT_EQ(b + ' ' + c + ' ' + e, "****** --serve-token=** f");
}

TEST(CommandLineTest, HelpListsEveryOptionVariableFileAndStatus) {
    const QString help = helpText();
    const QStringList items =
        QStringLiteral(
            "--help|-h,|--version|-v,|--demo|--headless|--record |--port PATH|--record-dir DIR|"
            "KESTRO_COM1..KESTRO_COM4|LOGFILES|registry.json|--serve [ADDR:]PORT|"
            "--serve-token TOKEN|--serve-token-file FILE|--mqtt URL|--verify DIR|--site TEXT|"
            "KESTRO_SERVE_TOKEN|KESTRO_MQTT_PASSWORD|KESTRO_READ_HOLDOFF_MS|R270_Kestro.log|KestroRecorder.lock|"
            "~/.local/state/KestroRecorder|QT_LOGGING_RULES|Exit status:|\n  0 |\n  1 |\n  2 ")
            .split('|');
    for (const QString& item : items)
        EXPECT_TRUE(help.contains(item)) << item.toStdString();
    for (const QString& line : help.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

}  // namespace
