#include "desktop/EventNotifier.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace kestro::test {
namespace {

// The notification service of a desktop, as far as the notifier uses it.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
    uint lastId = 41;

public slots:
    uint Notify(const QString&, uint replacesId, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int) {
        calls << QStringLiteral("%1 %2 | %3 | %4").arg(replacesId).arg(summary, body).arg(hints["urgency"].toInt());
        return replacesId ? replacesId : ++lastId;
    }
};

// Against a service on a private bus: the end of an event replaces its start,
// a new event gets a notification of its own; a missing service is logged once
// while it stays missing.
TEST(EventNotifierTest, StartIsReplacedByEndAndAMissingServiceIsLoggedOnce) {
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("bus.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("<busconfig><type>session</type><listen>unix:dir=" + dir.path().toUtf8() +
               "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
               "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>");
    conf.close();
    QProcess daemon;
    daemon.start(QStringLiteral(KESTRO_DBUS_DAEMON),
                 {"--config-file=" + conf.fileName(), QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
    ASSERT_TRUE(daemon.waitForReadyRead(20000)) << daemon.readAllStandardError().toStdString();
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    // Private connections are closed before their last reference goes.
    const std::shared_ptr<void> close(nullptr, [&](void*) {
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        daemon.kill();
        daemon.waitForFinished();
    });
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("service"));
    NotificationService service;
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                   QDBusConnection::ExportAllSlots));
    QStringList log;
    EventNotifier notifier(QDBusConnection::connectToBus(address, QStringLiteral("client")),
                           [&](const QString& line) { log << line; });
    // Until the service has had `calls` and every answer has reached the notifier.
    auto settle = [&](int calls) {
        const QDeadlineTimer bound(20000);  // against a hang only
        while ((service.calls.size() < calls || !notifier.findChildren<QDBusPendingCallWatcher*>().isEmpty()) &&
               !bound.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    };
    // An event from 05:14:<second> local of durationS; sent at its start or end.
    auto notify = [&](bool ended, int second, int durationS = 10, bool open = false) {
        EventNotice n;
        n.phase = ended ? EventNotice::Phase::Ended : EventNotice::Phase::Started;
        n.typeWord = QStringLiteral("LP");
        n.levelTenths = 800;
        n.event.startLocalMs = int64_t(46085) * 86400000 + (5 * 3600 + 14 * 60 + second) * 1000;
        n.event.startUtcMs = n.event.startLocalMs;
        n.event.endLocalMs = n.event.startLocalMs + durationS * 1000;
        n.event.durationMs = durationS * 1000;
        n.event.lmax = 93.46;
        n.event.sel = ended ? 101.04 : IntervalResult::kNoLevel;
        n.event.open = open;
        notifier.notify(n);
    };
    const QStringList told{
        "0 Noise event: above 80.0 dB | Since 05:14:03 (LP), LAmax so far 93.5 dB | 2",
        "42 Noise event ended | 05:14:03 \u2013 05:14:45, 42.0 s: LAmax 93.5 dB, SEL 101.0 dB | 1",
        "0 Noise event: above 80.0 dB | Since 05:14:50 (LP), LAmax so far 93.5 dB | 2",
        "43 Noise event ended | 05:14:50 \u2013 05:15:02, 12.0 s (cut short): LAmax 93.5 dB, SEL 101.0 dB | 1",
        "0 Noise event: above 80.0 dB | Since 05:15:20 (LP), LAmax so far 93.5 dB | 2"};
    ASSERT_TRUE(bus.registerService(name));
    notify(false, 3);
    settle(1);
    notify(true, 3, 42);
    notify(false, 50);
    settle(3);
    notify(true, 50, 12, true);
    settle(4);
    bus.unregisterService(name);
    notify(false, 60);
    notify(false, 70);
    settle(4);
    EXPECT_EQ(log.size(), 1);
    bus.registerService(name);
    notify(false, 80);
    settle(5);
    bus.unregisterService(name);
    notify(false, 90);
    settle(5);
    EXPECT_EQ(service.calls, told);
    ASSERT_EQ(log.size(), 2) << "again after it had come back";
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("Desktop notification not shown: "))) << log[1].toStdString();
}

}  // namespace
}  // namespace kestro::test

#include "test_event_notifier.moc"
