#include "remote/MonitorServer.h"
#include "remote/MqttPublisher.h"
#include "remote/RemoteOptions.h"
#include "remote/RemoteStation.h"

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

TEST(RemoteOptions, ListenAddresses) {
    const struct {
        const char* text;
        const char* url;
        bool open;  // reachable from other machines: only with a token
    } rows[] = {
        {"8080", "http://127.0.0.1:8080/", false},
        {" 0 ", "http://127.0.0.1:0/", false},
        {"0.0.0.0:80", "http://0.0.0.0:80/", true},
        {"192.168.1.20:65535", "http://192.168.1.20:65535/", true},
        {"localhost:9000", "http://127.0.0.1:9000/", false},
        {"[::1]:8080", "http://[::1]:8080/", false},
        {"[::]:8080", "http://[::]:8080/", true},
        {":80", "http://127.0.0.1:80/", false},
        {"0.0.0.0:auto", "http://0.0.0.0:0/", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        ListenAddress a;
        QString error;
        ASSERT_TRUE(parseListenAddress(r.text, &a, &error)) << error.toStdString();
        EXPECT_EQ(listenUrl(a.address, a.port).toStdString(), r.url);
        EXPECT_EQ(serveRefusal(a, "").contains("--serve-token"), r.open);
        EXPECT_TRUE(serveRefusal(a, "t0k3n").isEmpty());
        EXPECT_EQ(a.automatic, isAutomaticPort(r.text));
    }
    for (const char* text : {"65536", "-1", "+80", "", "80:", "::1:80", "[::1]80", "host.example:80", "300.1.1.1:80"}) {
        ListenAddress a;
        QString error;
        EXPECT_FALSE(parseListenAddress(text, &a, &error) || error.isEmpty()) << text;
    }
}

TEST(RemoteOptions, AnInstanceHasItsClientIdAndMetricsLabel) {
    const struct {
        const char* serial;
        const char* instance;
        const char* id;  // at most 23 bytes, one per meter and instance
    } rows[] = {
        {"12345678", "", "kestro-12345678"},
        {"12345678", "ttyUSB1", "kestro-12345678-ttyUSB1"},
        {"12345678", "ttyUSB10", "k12345678-8996cb38979db"},
        {"4294967295", "meter", "kestro-4294967295-meter"},
        {"4294967295", "meter1", "k4294967295-f4bd95a39ab"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(mqttClientId(r.serial, r.instance), QByteArray(r.id)) << r.serial << " " << r.instance;
    EXPECT_EQ(
        labelEverySample("# HELP a_b A.\n# TYPE a_b gauge\na_b 1\nc{stream=\"fast\"} 2 17\nd{} NaN\n", "instance",
                         "m\"1"),
        "# HELP a_b A.\n# TYPE a_b gauge\na_b{instance=\"m\\\"1\"} 1\nc{instance=\"m\\\"1\",stream=\"fast\"} 2 17\n"
        "d{instance=\"m\\\"1\"} NaN\n");
}

TEST(RemoteOptions, BrokerUrls) {
    const struct {
        const char* url;
        const char* target;  // as said in messages, never with a password
    } rows[] = {
        {"mqtt://broker/kestro", "mqtt://broker:1883/kestro"},
        {"mqtt://station7@10.0.0.2:1884/site/noise/", "mqtt://station7@10.0.0.2:1884/site/noise"},
        {"mqtt://[::1]:1883//a", "mqtt://[::1]:1883/a"},
        {"mqtt://st%C3%A4@b/gr%C3%BCn/a$b/%20", "mqtt://st\u00e4@b:1883/gr\u00fcn/a$b/ "},
    };
    for (const auto& r : rows) {
        MqttTarget t;
        QString error;
        EXPECT_TRUE(parseMqttUrl(r.url, &t, &error)) << error.toStdString();
        EXPECT_EQ(t.text().toStdString(), r.target);
    }
    // Refused at start, and the message names the fault: URL|a part of the message.
    const QString longest = "mqtt://b/" + QString(kMqttStringMax - kMqttTopicSuffixMax, 'a');
    MqttTarget t;
    QString error;
    for (const QString row :
         {"mqtt://broker|prefix is missing", "mqtt://broker/|prefix is missing", "mqtts://broker/kestro|needs mqtt://",
          "broker/kestro|needs mqtt://", "mqtt://u:pw@broker/kestro|KESTRO_MQTT_PASSWORD",
          "mqtt://broker/kestro?x=1|needs mqtt://", "mqtt://broker:0/a|needs mqtt://",
          "mqtt://broker:99999/a|needs mqtt://", "mqtt://b/a/+/b|+ or #", "mqtt://b/a/%23|+ or #",
          "mqtt://b/site%0Anoise|prefix may not hold a control", "mqtt://b/a%7F|control", "mqtt://b/a%C2%9F|control",
          "mqtt://b/a%EF%BF%BF|noncharacter", "mqtt://b/a%FFb|not valid UTF-8", "mqtt://b/$SYS/x|may not begin with $",
          "mqtt://s%01@b/a|user name may not hold a control"}) {
        EXPECT_FALSE(parseMqttUrl(row.section('|', 0, 0), &t, &error)) << row.left(40).toStdString();
        EXPECT_TRUE(error.contains(row.section('|', 1))) << row.left(40).toStdString() << ": " << error.toStdString();
    }
    EXPECT_FALSE(parseMqttUrl(longest + 'a', &t, &error) || !error.contains("longer than 65515 bytes"));
    EXPECT_TRUE(parseMqttUrl(longest, &t, &error)) << error.toStdString();
}

// Only a regular file is read, without waiting for a writer, and only its start.
TEST(RemoteOptions, TokenFiles) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray good = "0123456789abcdef", longest(kTokenFileRead - 1, 'x');
    // A path, or a file's content; then the token read, or a part of why it is refused.
    std::vector<std::pair<QString, QByteArray>> rows{
        {fifo, "is not a regular file"}, {"/dev/zero", "is not a regular file"}, {dir.filePath("-"), "cannot be read"}};
    for (const auto& [content, expect] : std::initializer_list<std::pair<QByteArray, QByteArray>>{
             {" " + good + " \r\nthe rest", good},
             {"~" + good.left(15), "~" + good.left(15)},
             {longest + "\n", longest},
             {good.left(15), "fewer than 16 characters"},
             {good + "\x7f", "a control"},
             {"0123456789 abcdef", "a blank"},
             {good + "\xc3\xa4", "non-ASCII"},
             {longest + "x\n", "no line end within its first 4096 bytes"}}) {
        QFile f(dir.filePath(QString::number(rows.size())));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(content) == content.size() && f.flush());
        rows.emplace_back(f.fileName(), expect);
    }
    for (const auto& [path, expect] : rows) {
        QString token, error;
        const QString got = readTokenFile(path, &token, &error) ? token : error;
        EXPECT_TRUE(got == expect || (got.startsWith("--serve-token-file: " + path + ' ') && got.contains(expect)))
            << path.toStdString() << ": " << got.left(80).toStdString();
    }
}

}  // namespace
