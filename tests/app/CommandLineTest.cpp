#include "app/CommandLine.h"

#include "kestro/Version.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

using Action = CommandLine::Action;

TEST(CommandLineTest, OptionsAndTheirValues) {
    // What a row expects of the options, field by field (empty texts stand for unset).
    struct Expected {
        bool demo = false;
        bool headless = false;
        bool record = false;
        const char* port = "";
        const char* recordDir = "";
        const char* serve = "";
        const char* serveToken = "";
        const char* mqtt = "";
        const char* serveTokenFile = "";
        const char* site = "";
        const char* operatorName = "";
        const char* note = "";
        const char* verifyDir = "";
    };
    const struct {
        QStringList args;
        Action action;
        Expected expected;
        const char* error;  // start of the error text
    } rows[] = {
        {{}, Action::Run, {}, ""},
        {{"--headless", "--record"}, Action::Run, {false, true, true}, ""},
        {{"--demo"}, Action::Run, {true}, ""},
        {{"--port", "/dev/serial/by-id/usb-x"}, Action::Run, {false, false, false, "/dev/serial/by-id/usb-x"}, ""},
        {{"--port=/dev/ttyUSB1"}, Action::Run, {false, false, false, "/dev/ttyUSB1"}, ""},
        {{"--record-dir", "rec/../records/"}, Action::Run, {false, false, false, "", "/home/tech/records"}, ""},
        {{"--record-dir=/data/noise"}, Action::Run, {false, false, false, "", "/data/noise"}, ""},
        {{"-h"}, Action::Help, {}, ""},
        {{"--headless", "--help"}, Action::Help, {false, true}, ""},
        {{"-v"}, Action::Version, {}, ""},
        {{"--version", "--help"}, Action::Help, {}, ""},
        {{"--bogus", "--help"}, Action::Error, {}, "unknown option --bogus"},
        {{"--port"}, Action::Error, {}, "--port needs"},
        {{"--port="}, Action::Error, {}, "--port needs"},
        {{"--record-dir"}, Action::Error, {}, "--record-dir needs"},
        {{"--demo", "--port", "/dev/ttyUSB0"}, Action::Error, {}, "--demo brings its own meter"},
        {{"-platform", "xcb"}, Action::Error, {}, "unknown option -platform"},
        {{"--portable"}, Action::Error, {}, "unknown option --portable"},
        // Remote monitoring.
        {{"--serve", "8080"}, Action::Run, {false, false, false, "", "", "8080"}, ""},
        {{"--serve=0.0.0.0:8080", "--serve-token", "s3cret"},
         Action::Run,
         {false, false, false, "", "", "0.0.0.0:8080", "s3cret"},
         ""},
        {{"--serve", "[::1]:80", "--serve-token=t"}, Action::Run, {false, false, false, "", "", "[::1]:80", "t"}, ""},
        {{"--serve", "localhost:0"}, Action::Run, {false, false, false, "", "", "localhost:0"}, ""},
        {{"--serve"}, Action::Error, {}, "--serve needs"},
        {{"--serve", "http"}, Action::Error, {}, "--serve needs"},
        {{"--serve", "70000"}, Action::Error, {}, "--serve needs"},
        {{"--serve", "station.example:80"}, Action::Error, {}, "--serve: station.example is not an IP address"},
        {{"--serve", "::1:80"}, Action::Error, {}, "--serve needs"},
        {{"--serve-token", "t"}, Action::Error, {}, "--serve-token is for the server of --serve"},
        {{"--serve", "80", "--serve-token="}, Action::Error, {}, "--serve-token needs a token"},
        {{"--serve", "80", "--serve-token-file", "etc/../token"},
         Action::Run,
         {false, false, false, "", "", "80", "", "", "/home/tech/token"},
         ""},
        {{"--serve-token-file=/run/t"}, Action::Error, {}, "--serve-token-file is for the server of --serve"},
        {{"--serve", "80", "--serve-token-file"}, Action::Error, {}, "--serve-token-file needs a file"},
        {{"--serve", "80", "--serve-token-file", "f", "--serve-token", "t"}, Action::Error, {}, "give the token once"},
        {{"--mqtt", "mqtt://broker.lan/noise"},
         Action::Run,
         {false, false, false, "", "", "", "", "mqtt://broker.lan/noise"},
         ""},
        {{"--mqtt=mqtt://station7@10.0.0.2:1884/site/a/"},
         Action::Run,
         {false, false, false, "", "", "", "", "mqtt://station7@10.0.0.2:1884/site/a/"},
         ""},
        {{"--mqtt", "mqtt://broker.lan"},
         Action::Error,
         {},
         "--mqtt needs mqtt://[user@]host[:port]/prefix (the topic"},
        {{"--mqtt", "http://broker.lan/noise"}, Action::Error, {}, "--mqtt needs"},
        {{"--mqtt", "mqtt://u:pw@broker.lan/noise"},
         Action::Error,
         {},
         "--mqtt: give the password in KESTRO_MQTT_PASSWORD"},
        {{"--mqtt", "mqtt://broker.lan/noise/#"}, Action::Error, {}, "--mqtt needs"},
        {{"--mqtt", "mqtt://broker.lan/a+b"}, Action::Error, {}, "--mqtt: the topic prefix may not hold + or #"},
        {{"--mqtt", "mqtt://broker.lan/a%00b"}, Action::Error, {}, "--mqtt: the topic prefix may not hold a NUL"},
        {{"--mqtt"}, Action::Error, {}, "--mqtt needs"},
        // Measurement details and the evidence check.
        {{"--site", "Yard 3", "--operator=A. Tester", "--note", "north fence"},
         Action::Run,
         {false, false, false, "", "", "", "", "", "", "Yard 3", "A. Tester", "north fence"},
         ""},
        {{"--verify", "rec/"},
         Action::Verify,
         {false, false, false, "", "", "", "", "", "", "", "", "", "/home/tech/rec"},
         ""},
        {{"--verify=/srv/noise", "--help"},
         Action::Help,
         {false, false, false, "", "", "", "", "", "", "", "", "", "/srv/noise"},
         ""},
        {{"--site="}, Action::Error, {}, "--site needs a text"},
        {{"--note", " "}, Action::Error, {}, "--note needs a text"},
        {{"--verify"}, Action::Error, {}, "--verify needs a directory"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args.join(' ').toStdString());
        const CommandLine cl = ParseCommandLine(QStringList{"KestroRecorder"} + r.args, "/home/tech");
        EXPECT_EQ(cl.action, r.action);
        if (*r.error)
            EXPECT_TRUE(cl.error.startsWith(r.error)) << cl.error.toStdString();
        else
            EXPECT_TRUE(cl.error.isEmpty()) << cl.error.toStdString();
        if (r.action == Action::Error) continue;
        EXPECT_EQ(cl.options.demo, r.expected.demo);
        EXPECT_EQ(cl.options.headless, r.expected.headless);
        EXPECT_EQ(cl.options.record, r.expected.record);
        EXPECT_EQ(cl.options.port, r.expected.port);
        EXPECT_EQ(cl.options.recordDir, r.expected.recordDir);
        EXPECT_EQ(cl.options.serve, r.expected.serve);
        EXPECT_EQ(cl.options.serveToken, r.expected.serveToken);
        EXPECT_EQ(cl.options.mqtt, r.expected.mqtt);
        EXPECT_EQ(cl.options.serveTokenFile, r.expected.serveTokenFile);
        EXPECT_EQ(cl.options.site, r.expected.site);
        EXPECT_EQ(cl.options.operatorName, r.expected.operatorName);
        EXPECT_EQ(cl.options.note, r.expected.note);
        EXPECT_EQ(cl.options.verifyDir, r.expected.verifyDir);
    }
}

TEST(CommandLineTest, TheTokenIsOverwrittenInTheArguments) {
    std::string a = "--serve-token", b = "s3cret", c = "--serve-token=s3", d = "--serve-token-file", e = "f";
    char* argv[] = {a.data(), a.data(), b.data(), c.data(), d.data(), e.data()};
    ConcealServeToken(6, argv);
    EXPECT_EQ(b + ' ' + c + ' ' + e, "****** --serve-token=** f");
}

TEST(CommandLineTest, HelpListsEveryOptionVariableFileAndStatus) {
    const QString help = HelpText();
    for (const char* item : {"--help",
                             "-h,",
                             "--version",
                             "-v,",
                             "--demo",
                             "--headless",
                             "--record ",
                             "--port PATH",
                             "--record-dir DIR",
                             "KESTRO_COM1..KESTRO_COM4",
                             "LOGFILES",
                             "registry.json",
                             "--serve [ADDR:]PORT",
                             "--serve-token TOKEN",
                             "--serve-token-file FILE",
                             "--mqtt URL",
                             "--verify DIR",
                             "--site TEXT",
                             "KESTRO_SERVE_TOKEN",
                             "KESTRO_MQTT_PASSWORD",
                             "R270_Kestro.log",
                             "KestroRecorder.lock",
                             "~/.local/state/KestroRecorder",
                             "Exit status:",
                             "\n  0 ",
                             "\n  1 ",
                             "\n  2 "})
        EXPECT_TRUE(help.contains(QLatin1String(item))) << item;
    // Every option the parser accepts is documented, and everything documented is accepted.
    for (const QString& line : help.split('\n')) {
        if (!line.startsWith("  -")) continue;
        for (QString name : line.trimmed().section("  ", 0, 0).split(", ")) {
            name = name.section(' ', 0, 0);
            if (name == "--report") continue;  // main() hands it to the report command before this parser
            QStringList args{"KestroRecorder", name};
            if (name == "--port" || name == "--record-dir" || name == "--report" || name == "--verify" ||
                name == "--site" || name == "--operator" || name == "--note")
                args << "x";
            if (name == "--serve") args << "8080";
            if (name == "--serve-token" || name == "--serve-token-file")
                args << "t"
                     << "--serve"
                     << "8080";
            if (name == "--mqtt") args << "mqtt://localhost/kestro";
            EXPECT_NE(ParseCommandLine(args, "/").action, Action::Error) << name.toStdString();
        }
    }
    for (const QString& line : help.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
    EXPECT_EQ(VersionText(), QString(KESTRO_APP_TITLE " " KESTRO_VERSION_STRING) +
                                 (QString(KESTRO_VERSION_COMMENT).isEmpty() ? "" : " " KESTRO_VERSION_COMMENT) + "\n");
}

TEST(CommandLineTest, TheWindowBelongsToTheInstalledDesktopEntry) {
    SetApplicationIdentity();
    EXPECT_EQ(QGuiApplication::desktopFileName(), KESTRO_DESKTOP_ID);
    EXPECT_TRUE(QFileInfo::exists(QString(KESTRO_DATA_DIR "/") + KESTRO_DESKTOP_ID + ".desktop"));
    EXPECT_EQ(QCoreApplication::applicationName(), KESTRO_APP_TITLE);
}

}  // namespace
