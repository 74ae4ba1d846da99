#include "desktop/EventNotifier.h"

#include "statistics/StatisticsFile.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <cmath>

namespace kestro {

namespace {

QString decibels(double db) {
    return std::isnan(db) ? QStringLiteral("-") : levelText(db, shownDecimalPoint()) + QStringLiteral(" dB");
}

}  // namespace

EventNotifier::EventNotifier(const QDBusConnection& bus, LogFn log, QObject* parent)
    : QObject(parent), bus_(bus), log_(std::move(log)) {}

void EventNotifier::notify(const EventNotice& n) {
    const NoiseEvent& e = n.event;
    const bool ended = n.phase == EventNotice::Phase::Ended;
    const QString since = localDateTimeText(e.startLocalMs).mid(11, 8);
    const QString summary =
        ended ? tr("Noise event ended")
              : tr("Noise event: above %1 dB").arg(levelText(n.levelTenths / 10.0, shownDecimalPoint()));
    const QString body =
        ended ? tr("%1 \u2013 %2, %3 s%4: LAmax %5, SEL %6")
                    .arg(since, localDateTimeText(e.endLocalMs).mid(11, 8),
                         QString::number(e.durationMs / 1000.0, 'f', 1).replace(QLatin1Char('.'), shownDecimalPoint()),
                         e.open ? tr(" (cut short)") : QString(), decibels(e.lmax), decibels(e.sel))
              : tr("Since %1 (%2), LAmax so far %3").arg(since, n.typeWord, decibels(e.lmax));
    const uint replaces = e.startUtcMs == shownStartUtcMs_ ? shownId_ : 0;
    if (replaces == 0) shownId_ = 0;
    shownStartUtcMs_ = e.startUtcMs;

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("category"), QStringLiteral("device"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(ended ? 1 : 2));
    call << QStringLiteral("KestroRecorder") << replaces << QStringLiteral("audio-input-microphone") << summary << body
         << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 10000), this);
    const int64_t start = e.startUtcMs;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, start](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            if (!failing_) log_(QStringLiteral("Desktop notification not shown: ") + reply.error().message());
            failing_ = true;
            return;
        }
        failing_ = false;
        // A later event has taken the place meanwhile.
        if (start == shownStartUtcMs_) shownId_ = reply.value();
    });
}

}  // namespace kestro
