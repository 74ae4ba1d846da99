// The publisher against a real broker: each test starts its own mosquitto on
// a free loopback port and listens with mosquitto_sub.
#include "remote/MqttPublisher.h"
#include "support/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <numeric>
#include <set>

using namespace kestro;

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class Broker {
public:
    // anonymous: without it the broker wants a password and refuses the publisher.
    Broker(const QString& dir, quint16 port, bool anonymous = true) : dir_(dir), port_(port) {
        QDir().mkpath(dir_);
        QFile conf(dir_ + "/mosquitto.conf");
        conf.open(QIODevice::WriteOnly);
        // Persistence: a subscriber's session and its queued messages survive a
        // restart, even a killed broker's (saved at every change).
        // Started as root, mosquitto would become another user who cannot write here.
        const passwd* me = ::getpwuid(::geteuid());
        conf.write("listener " + QByteArray::number(port_) + " 127.0.0.1\nallow_anonymous " +
                   (anonymous ? "true" : "false") + "\nuser " + QByteArray(me ? me->pw_name : "root") +
                   "\npersistence true\npersistence_location " + QFile::encodeName(dir_) +
                   "/\nautosave_interval 1\nautosave_on_changes true\nlog_dest stderr\n");
    }
    ~Broker() { stop(); }
    bool start() {
        process_ = std::make_unique<QProcess>();
        process_->setStandardErrorFile(dir_ + "/broker.log", QIODevice::Append);
        process_->start(KESTRO_MOSQUITTO, {"-c", dir_ + "/mosquitto.conf"});
        if (!process_->waitForStarted(5000)) return false;
        return QTest::qWaitFor(
            [this] {
                QTcpSocket s;
                s.connectToHost(QHostAddress::LocalHost, port_);
                return s.waitForConnected(100);
            },
            5000);
    }
    void stop() {
        if (!process_) return;
        process_->terminate();
        process_->waitForFinished(5000);
        process_.reset();
    }
    // SIGSTOP freezes it with its connections open; SIGKILL ends it without a word.
    void signal(int sig) {
        ::kill(pid_t(process_->processId()), sig);
        if (sig == SIGKILL) process_->waitForFinished(5000);
    }
    quint16 port() const { return port_; }

private:
    QString dir_;
    quint16 port_;
    std::unique_ptr<QProcess> process_;
};

// mosquitto_sub printing "<retained> <topic> <payload>" per message.
class Subscriber {
public:
    Subscriber(quint16 port, const QString& clientId = QString()) {
        QStringList args{"-h", "127.0.0.1", "-p", QString::number(port), "-t", "kestro/#", "-q", "1",
                         "-F", "%r %t %p",  "-d"};
        if (!clientId.isEmpty()) args += QStringList{"-c", "-i", clientId};  // a session that outlives a restart
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            while (process_.canReadLine()) {
                const QByteArray line = process_.readLine().chopped(1);
                if (line.startsWith("0 ") || line.startsWith("1 "))
                    lines_.push_back(line);
                else if (line.contains("SUBACK"))
                    subscribed_ = true;
            }
        });
        // Line-buffered: its debug lines (SUBACK) would otherwise wait in a pipe buffer.
        process_.start("stdbuf", QStringList{"-oL", KESTRO_MOSQUITTO_SUB} + args);
        EXPECT_TRUE(QTest::qWaitFor([this] { return subscribed_; }, 5000)) << "not subscribed";
    }
    ~Subscriber() {
        process_.terminate();
        process_.waitForFinished(3000);
    }
    // Messages on one topic leaf ("status", "level", "interval"): payloads in arrival order.
    std::vector<QByteArray> payloads(const char* leaf) const {
        std::vector<QByteArray> out;
        for (const QByteArray& line : lines_) {
            const QList<QByteArray> fields = line.split(' ');  // no payload here has a blank
            if (fields.size() == 3 && fields[1].endsWith(QByteArray("/") + leaf)) out.push_back(fields[2]);
        }
        return out;
    }
    const std::vector<QByteArray>& lines() const { return lines_; }

private:
    QProcess process_;
    std::vector<QByteArray> lines_;
    bool subscribed_ = false;
};

QByteArray interval(int i) { return "{\"kind\":\"Interval\",\"n\":" + QByteArray::number(i) + "}"; }

int numberOf(const QByteArray& payload) { return QJsonDocument::fromJson(payload).object().value("n").toInt(-1); }

// The first arrival of each interval, in arrival order: what a consumer that drops repeats sees.
std::vector<int> distinct(const std::vector<QByteArray>& payloads) {
    std::vector<int> out;
    std::set<int> seen;
    for (const QByteArray& p : payloads)
        if (seen.insert(numberOf(p)).second) out.push_back(numberOf(p));
    return out;
}

class MqttTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(KESTRO_MOSQUITTO) || !QFile::exists(KESTRO_MOSQUITTO_SUB))
            GTEST_SKIP() << "mosquitto and mosquitto_sub are needed (scripts/bootstrap.sh installs them)";
        ASSERT_TRUE(tmp.isValid());
        broker = std::make_unique<Broker>(tmp.filePath("broker"), freePort());
        ASSERT_TRUE(broker->start());
    }
    std::unique_ptr<MqttPublisher> publisher(quint16 port) {
        MqttTarget t;
        t.host = "127.0.0.1";
        t.port = port;
        t.prefix = "kestro";
        auto p = std::make_unique<MqttPublisher>(t, QString(), tmp.filePath("queue"), clock,
                                                 [this](const QString& s) { log.push_back(s); });
        p->setRetry(200, 1000);
        p->loadQueue();
        return p;
    }
    std::unique_ptr<MqttPublisher> connected(const QString& serial) {
        auto p = publisher(broker->port());
        p->setSerial(serial);
        EXPECT_TRUE(QTest::qWaitFor([&] { return p->connected(); }, 10000));
        return p;
    }
    bool logged(const QString& text) const {
        return std::any_of(log.begin(), log.end(), [&](const QString& line) { return line.contains(text); });
    }

    QTemporaryDir tmp;
    ManualClock clock;
    std::unique_ptr<Broker> broker;
    std::vector<QString> log;
};

// The broker goes away while intervals keep coming: each arrives, in order,
// once it is back; level messages meanwhile are dropped and counted.
TEST_F(MqttTest, EveryIntervalSurvivesABrokerRestartInOrder) {
    Subscriber sub(broker->port(), "kestro-test-consumer");
    auto p = connected("12345678");
    const int n = 60;
    for (int i = 0; i < n; ++i) {
        if (i == 20) broker->stop();
        ASSERT_TRUE(i != 40 || broker->start());
        p->publishInterval(interval(i));
        p->publishLevel("{\"db\":61.0}");
        QTest::qWait(50);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return distinct(sub.payloads("interval")).size() >= size_t(n); }, 30000))
        << "waiting " << p->waitingIntervals() << (log.empty() ? "" : log.back().toStdString());
    std::vector<int> all(n);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(distinct(sub.payloads("interval")), all);
    EXPECT_TRUE(QTest::qWaitFor([&] { return p->waitingIntervals() == 0; }, 10000));
    EXPECT_GT(p->levelsDropped(), 0u);
    EXPECT_EQ(p->levelsDropped() + p->levelsPublished(), uint64_t(n));
    for (const QByteArray& line : QList<QByteArray>{"kestro_mqtt_connected 1\n", "kestro_mqtt_interval_waiting 0\n",
                                                    "kestro_mqtt_interval_delivered_total 60\n"})
        EXPECT_TRUE(p->metricsText().contains(line)) << line.data();
    EXPECT_TRUE(logged("cannot be reached"));
    // Repeats, if any, are the same message again.
    for (const QByteArray& payload : sub.payloads("interval"))
        EXPECT_EQ(payload, interval(numberOf(payload)));
}

// The broker freezes with an interval message on its way, then dies: the
// message is sent again after the reconnection and arrives exactly once.
TEST_F(MqttTest, AnIntervalInFlightWhenTheBrokerDiesArrivesOnce) {
    Subscriber sub(broker->port(), "kestro-test-consumer");
    auto p = connected("12345678");
    broker->signal(SIGSTOP);
    p->publishInterval(interval(7));
    QTest::qWait(300);
    EXPECT_EQ(p->waitingIntervals(), 1u);
    broker->signal(SIGKILL);
    ASSERT_TRUE(broker->start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return p->waitingIntervals() == 0; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sub.payloads("interval").empty(); }, 10000));
    QTest::qWait(500);
    EXPECT_EQ(sub.payloads("interval"), std::vector<QByteArray>{interval(7)});
    p->stop(1000);
}

// Another meter on the same station: the old serial number goes offline, the
// new one online, and what comes next is published under the new one.
TEST_F(MqttTest, AnotherMeterGetsTopicsOfItsOwn) {
    Subscriber sub(broker->port());
    EXPECT_EQ(publisher(broker->port())->topic("level"), "kestro/unknown/level");
    auto p = connected("11111111");
    p->setSerial("22222222");
    ASSERT_TRUE(QTest::qWaitFor([&] { return p->connected(); }, 10000));
    p->publishInterval(interval(0));
    p->publishEvent("{\"phase\":\"start\"}");  // queued like the intervals
    ASSERT_TRUE(QTest::qWaitFor([&] { return sub.payloads("event").size() == 1 && sub.lines().size() >= 5; }, 10000));
    EXPECT_EQ(sub.payloads("event").front(), "{\"phase\":\"start\"}");
    const auto count = [&](const QByteArray& start) {
        return std::count_if(sub.lines().begin(), sub.lines().end(),
                             [&](const QByteArray& l) { return l.startsWith(start); });
    };
    EXPECT_EQ(count("0 kestro/11111111/status online"), 1);
    EXPECT_EQ(count("0 kestro/11111111/status offline"), 1);
    EXPECT_EQ(count("0 kestro/22222222/status online"), 1);
    EXPECT_EQ(count("0 kestro/22222222/interval "), 1);
    EXPECT_EQ(sub.payloads("interval").size(), 1u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return p->waitingIntervals() == 0; }, 5000));
    EXPECT_TRUE(p->metricsText().contains("kestro_mqtt_interval_delivered_total 2\n"));
    p->stop(1000);
}

TEST_F(MqttTest, ABrokerThatRefusesIsRetriedAndLogged) {
    Broker strict(tmp.filePath("strict"), freePort(), false);
    ASSERT_TRUE(strict.start());
    auto p = publisher(strict.port());
    p->setSerial("12345678");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged("cannot be reached (refused"); }, 10000));
    EXPECT_FALSE(p->connected());
    p->publishInterval(interval(0));
    EXPECT_EQ(p->waitingIntervals(), 1u);
    p->stop(100);
}

// A broker's port that drops every connection at once: the pause between
// attempts doubles from the first up to the longest, and stays there.
TEST_F(MqttTest, PausesBetweenAttemptsDoubleUpToTheLongest) {
    QTcpServer dropper;
    ASSERT_TRUE(dropper.listen(QHostAddress::LocalHost, 0));
    int attempts = 0;
    QObject::connect(&dropper, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = dropper.nextPendingConnection()) {
            ++attempts;
            s->abort();
            s->deleteLater();
        }
    });
    auto p = publisher(dropper.serverPort());
    p->setRetry(50, 100);
    p->setSerial("12345678");
    QTest::qWait(2000);  // attempts at 0, 50, 150, 250 ... ms: about 20, not 6 (no bound) nor 40 (no doubling)
    EXPECT_GE(attempts, 12);
    EXPECT_LE(attempts, 30);
    p->stop(100);
}

}  // namespace
