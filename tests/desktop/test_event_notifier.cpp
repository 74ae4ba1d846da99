#include "desktop/EventNotifier.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDBusConnection>
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
    uint nextId = 41;

public slots:
    uint Notify(const QString& app, uint replacesId, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int timeout) {
        Q_UNUSED(app);
        Q_UNUSED(icon);
        Q_UNUSED(actions);
        Q_UNUSED(timeout);
        calls << QStringLiteral("%1 %2 | %3 | urgency %4")
                     .arg(replacesId)
                     .arg(summary, body)
                     .arg(hints.value(QStringLiteral("urgency")).toInt());
        return replacesId ? replacesId : ++nextId;
    }
};

EventNotice notice(EventNotice::Phase phase, int startSecond, int durationS, bool open = false) {
    EventNotice n;
    n.phase = phase;
    n.typeWord = QStringLiteral("LP");
    n.levelTenths = 800;
    NoiseEvent& e = n.event;
    // 2026-03-04 05:14:00 local, one hour ahead of UTC.
    e.startLocalMs = int64_t(46085) * 86400000 + (5 * 3600 + 14 * 60 + startSecond) * 1000;
    e.startUtcMs = 1772597640000 + startSecond * 1000;
    e.endLocalMs = e.startLocalMs + durationS * 1000;
    e.durationMs = durationS * 1000;
    e.lmax = 93.46;
    e.sel = phase == EventNotice::Phase::Ended ? 101.04 : IntervalResult::kNoLevel;
    e.open = open;
    return n;
}

// Against a service on a private bus: the end of an event replaces its start,
// a new event gets a notification of its own, and a missing service is logged
// once, not once per event.
TEST(EventNotifierTest, StartIsReplacedByEndAndAMissingServiceIsLoggedOnce) {
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("bus.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(
        QStringLiteral(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
            "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\"><busconfig>"
            "<type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
            "<policy context=\"default\"><allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
            "</policy></busconfig>")
            .arg(dir.path())
            .toUtf8());
    conf.close();
    QProcess daemon;
    daemon.start(QStringLiteral(KESTRO_DBUS_DAEMON), {QStringLiteral("--config-file=") + conf.fileName(),
                                                      QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
    ASSERT_TRUE(daemon.waitForReadyRead(20000)) << daemon.readAllStandardError().toStdString();
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    // Private connections are closed before the last reference goes.
    const std::shared_ptr<void> close(nullptr, [](void*) {
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    });

    QDBusConnection serviceBus = QDBusConnection::connectToBus(address, QStringLiteral("service"));
    ASSERT_TRUE(serviceBus.isConnected()) << address.toStdString() << serviceBus.lastError().message().toStdString();
    NotificationService service;
    ASSERT_TRUE(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
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
    using P = EventNotice::Phase;
    notifier.notify(notice(P::Started, 3, 10));
    settle(1);
    notifier.notify(notice(P::Ended, 3, 42));
    notifier.notify(notice(P::Started, 50, 10));
    settle(3);
    notifier.notify(notice(P::Ended, 50, 12, true));
    settle(4);
    EXPECT_EQ(service.calls, QStringList({
                                 "0 Noise event: above 80.0 dB | Since 05:14:03 (LP), LAmax so far 93.5 dB | urgency 2",
                                 "42 Noise event ended | 05:14:03 \u2013 05:14:45, 42.0 s: LAmax 93.5 dB, SEL 101.0 dB "
                                 "| urgency 1",
                                 "0 Noise event: above 80.0 dB | Since 05:14:50 (LP), LAmax so far 93.5 dB | urgency 2",
                                 "43 Noise event ended | 05:14:50 \u2013 05:15:02, 12.0 s (cut short): LAmax 93.5 dB, "
                                 "SEL 101.0 dB | urgency 1",
                             }));
    EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();

    // Told once while the service is missing, and again once it was back in between.
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    serviceBus.unregisterService(name);
    notifier.notify(notice(P::Started, 60, 10));
    notifier.notify(notice(P::Started, 70, 10));
    settle(4);
    EXPECT_EQ(log.size(), 1);
    serviceBus.registerService(name);
    notifier.notify(notice(P::Started, 80, 10));
    settle(5);
    serviceBus.unregisterService(name);
    notifier.notify(notice(P::Started, 90, 10));
    settle(5);
    ASSERT_EQ(log.size(), 2) << log.join('\n').toStdString();
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("Desktop notification not shown: "))) << log[1].toStdString();
    EXPECT_EQ(service.calls.value(4).left(2), "0 ");
    daemon.kill();
    daemon.waitForFinished();
}

}  // namespace
}  // namespace kestro::test

#include "test_event_notifier.moc"
