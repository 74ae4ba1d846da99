#include "desktop/EventNotifier.h"

#include "recording/EventOutputs.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace kestro {

EventNotifier::EventNotifier(const QDBusConnection& bus, LogFn log, QObject* parent)
    : QObject(parent), bus_(bus), log_(std::move(log)) {}

void EventNotifier::notify(const EventNotice& n) {
    const NoiseEvent& e = n.event;
    const EventNotification text = eventNotification(n, shownDecimalPoint());
    const uint replaces = e.startUtcMs == shownStartUtcMs_ ? shownId_ : 0;
    if (replaces == 0) shownId_ = 0;
    shownStartUtcMs_ = e.startUtcMs;

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("category"), QStringLiteral("device"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(text.urgent ? 2 : 1));
    call << QStringLiteral("KestroRecorder") << replaces << QStringLiteral("audio-input-microphone") << text.summary
         << text.body << QStringList() << hints << -1;
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
