#pragma once
// Exceedances as desktop notifications, through the session's notification
// service on D-Bus: one notification per event, its start replaced by its
// end. The calls are never waited for, so a slow or missing service cannot
// hold up the poll cycle; that it failed is logged once until it works again.

#include "recording/EventRecorder.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

namespace kestro {

class EventNotifier final : public QObject {
    Q_OBJECT
public:
    using LogFn = std::function<void(const QString&)>;
    EventNotifier(const QDBusConnection& bus, LogFn log, QObject* parent = nullptr);

    void notify(const EventNotice& n);

private:
    QDBusConnection bus_;
    LogFn log_;
    bool failing_ = false;
    // The notification of the newest event: its end takes its place.
    int64_t shownStartUtcMs_ = -1;
    uint shownId_ = 0;
};

}  // namespace kestro
