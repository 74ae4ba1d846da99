#include "remote/MqttPublisher.h"

#include "remote/MqttLink.h"

#include <QCryptographicHash>
#include <QMetaObject>

#include <algorithm>

namespace kestro {

MqttPublisher::MqttPublisher(const MqttTarget& target, const QString& password, const QString& queueDir,
                             const Clock& clock, LogFn log, QObject* parent)
    : QObject(parent),
      target_(target),
      password_(password.toUtf8()),
      clock_(clock),
      log_(std::move(log)),
      queue_(queueDir),
      eventsPosted_(std::make_shared<std::atomic<bool>>(false)) {
    // The acknowledged position is written now and then, not per message.
    syncTimer_.setInterval(1000);
    connect(&syncTimer_, &QTimer::timeout, this, [this] {
        queue_.sync();
        // The link of an earlier meter, once it has said "offline", is joined at no cost.
        retired_.erase(std::remove_if(retired_.begin(), retired_.end(), [](const auto& l) { return l->finished(); }),
                       retired_.end());
    });
    syncTimer_.start();
}

MqttPublisher::~MqttPublisher() { stop(0); }

void MqttPublisher::setRetry(int firstMs, int maxMs) {
    firstRetryMs_ = firstMs;
    maxRetryMs_ = maxMs;
}

void MqttPublisher::loadQueue() {
    const int64_t dropped = queue_.load(clock_.read().utcMs);
    if (dropped > 0 && log_)
        log_(QStringLiteral("MQTT: %1 waiting interval messages were unreadable or older than 7 days and were dropped")
                 .arg(dropped));
    if (!queue_.empty() && log_)
        log_(QStringLiteral("MQTT: %1 interval messages from an earlier run wait for the broker").arg(queue_.size()));
    queueDropsLogged_ = queue_.droppedTotal();
}

// A serial number is a non-negative 32-bit number: at most 10 digits.
constexpr int kSerialDigitsMax = 10;
static_assert(1 + kSerialDigitsMax + sizeof("/interval") - 1 <= kMqttTopicSuffixMax,
              "the prefix check at start must leave room for the longest topic");
// The client id: this stem and the serial number, within the 23 bytes every broker takes.
constexpr char kClientIdStem[] = "kestro-";
constexpr int kClientIdMax = 23;
static_assert(sizeof kClientIdStem - 1 + kSerialDigitsMax <= kClientIdMax, "a broker may refuse the client id");
// The hashed form keeps at least this many hex digits of the instance name.
static_assert(kClientIdMax - 2 - kSerialDigitsMax >= 11, "too few digits to tell instances apart");

QByteArray mqttClientId(const QString& serial, const QString& instance) {
    const QByteArray s = serial.left(kSerialDigitsMax).toUtf8();
    if (instance.isEmpty()) return kClientIdStem + s;
    const QByteArray full = kClientIdStem + s + '-' + instance.toUtf8();
    if (full.size() <= kClientIdMax) return full;
    const QByteArray hash = QCryptographicHash::hash(instance.toUtf8(), QCryptographicHash::Sha256).toHex();
    const QByteArray head = 'k' + s + '-';
    return head + hash.left(kClientIdMax - head.size());
}

QString MqttPublisher::topic(const char* leaf) const {
    return target_.prefix + QLatin1Char('/') + (serial_.isEmpty() ? QStringLiteral("unknown") : serial_) +
           QLatin1Char('/') + QLatin1String(leaf);
}

bool MqttPublisher::connected() const { return link_ && link_->connected(); }

uint64_t MqttPublisher::levelsDropped() const {
    uint64_t n = levelsDropped_;
    if (link_) n += link_->droppedLevels();
    return n;
}

void MqttPublisher::setSerial(const QString& serial) {
    if (stopped_ || serial.isEmpty() || serial == serial_) return;
    if (link_) {
        // Another meter: the old one's status goes offline, its topics rest.
        // Nobody waits for that here: the old link's thread ends by itself.
        link_->requestStop(2000);
        retired_.push_back(std::move(link_));
    }
    serial_ = serial;
    startLink();
}

void MqttPublisher::startLink() {
    MqttLink::Settings s;
    s.host = target_.host.toUtf8();
    s.port = target_.port;
    s.user = target_.user.toUtf8();
    s.password = password_;
    // One client id per meter: a restarted program takes over its own session
    // at once, so the old connection's last will cannot follow its "online".
    s.clientId = mqttClientId(serial_, instance_);
    s.statusTopic = topic("status").toUtf8();
    s.firstRetryMs = firstRetryMs_;
    s.maxRetryMs = maxRetryMs_;
    std::shared_ptr<std::atomic<bool>> posted = eventsPosted_;
    link_ = std::make_unique<MqttLink>(s, [this, posted] {
        // Runs on the link's thread; many events, one call on ours.
        if (!posted->exchange(true))
            QMetaObject::invokeMethod(
                this, [this] { takeEvents(); }, Qt::QueuedConnection);
    });
    sentGeneration_ = 0;
    sentThrough_ = 0;
    link_->start();
}

void MqttPublisher::publishLevel(const QByteArray& payload) {
    if (stopped_) return;
    if (link_ && link_->publishLevel(topic("level").toUtf8(), payload))
        ++levelsPublished_;
    else
        ++levelsDropped_;
}

void MqttPublisher::publishQueued(const char* leaf, const QByteArray& payload, bool retain) {
    if (stopped_) return;
    QString error;
    const bool written = queue_.push(topic(leaf).toUtf8(), payload, clock_.read().utcMs, &error, retain);
    if (!written && log_ && error != queueErrorLogged_) {
        queueErrorLogged_ = error;
        log_(QStringLiteral("MQTT: the interval queue %1 cannot be written (%2); interval messages wait in memory")
                 .arg(queue_.queuePath(), error));
    } else if (written) {
        queueErrorLogged_.clear();
    }
    if (queue_.droppedTotal() > queueDropsLogged_ && log_) {
        log_(QStringLiteral("MQTT: %1 interval messages waited longer than 7 days and were dropped")
                 .arg(queue_.droppedTotal() - queueDropsLogged_));
        queueDropsLogged_ = queue_.droppedTotal();
    }
    sendWaiting();
}

void MqttPublisher::takeEvents() {
    eventsPosted_->store(false);
    if (!link_) return;
    const MqttLink::Events e = link_->takeEvents();
    for (uint64_t tag : e.acknowledged)
        acknowledged_.insert(tag);
    while (!queue_.empty() && acknowledged_.count(queue_.entries().front().seq)) {
        const uint64_t seq = queue_.entries().front().seq;
        acknowledged_.erase(seq);
        queue_.acknowledge(seq);
        ++intervalsDelivered_;
    }
    // Tags below the queue's head were acknowledged twice (a message sent again).
    while (!acknowledged_.empty() && (queue_.empty() || *acknowledged_.begin() < queue_.entries().front().seq))
        acknowledged_.erase(acknowledged_.begin());
    if (!e.failures.empty()) {
        const QString why = QString::fromStdString(e.failures.back());
        if (up_ || why != lastFailure_) {
            if (log_)
                log_(QStringLiteral("MQTT: %1 cannot be reached (%2); retrying, level messages are dropped and "
                                    "interval messages wait")
                         .arg(target_.text(), why));
            droppedAtOutage_ = levelsDropped();
        }
        lastFailure_ = why;
        up_ = false;
    }
    if (link_->connected() && !up_) {
        up_ = true;
        lastFailure_.clear();
        if (log_) {
            QString text = QStringLiteral("MQTT: connected to %1").arg(target_.text());
            const uint64_t dropped = levelsDropped() - droppedAtOutage_;
            if (everUp_ && dropped > 0)
                text += QStringLiteral("; %1 level messages were dropped while it was unreachable").arg(dropped);
            if (!queue_.empty()) text += QStringLiteral("; %1 interval messages to deliver").arg(queue_.size());
            log_(text);
        }
        everUp_ = true;
    }
    sendWaiting();
}

void MqttPublisher::sendWaiting(bool all) {
    if (!link_ || !link_->connected()) return;
    const uint64_t generation = link_->generation();
    if (generation != sentGeneration_) {
        // A new connection: whatever was in flight goes again, from the head, in order.
        sentGeneration_ = generation;
        sentThrough_ = 0;
    }
    size_t inFlight = 0;
    for (const IntervalQueue::Entry& e : queue_.entries()) {
        if (e.seq <= sentThrough_) {
            ++inFlight;
            continue;
        }
        if (!all && inFlight >= kWindow) break;
        link_->publishInterval(e.seq, generation, e.topic, e.payload, e.retain);
        sentThrough_ = e.seq;
        ++inFlight;
    }
}

void MqttPublisher::stop(int waitMs) {
    if (stopped_) return;
    stopped_ = true;
    syncTimer_.stop();
    if (link_) {
        takeEvents();
        sendWaiting(true);
        link_->stop(waitMs);
        takeEvents();  // the acknowledgements that came in meanwhile
        if (log_ && !queue_.empty())
            log_(QStringLiteral("MQTT: %1 interval messages wait in %2 for the next start")
                     .arg(queue_.size())
                     .arg(queue_.queuePath()));
    }
    retired_.clear();  // joined; their own grace to say "offline" ran meanwhile
    queue_.sync();
}

QByteArray MqttPublisher::metricsText() const {
    QByteArray out;
    auto metric = [&out](const char* name, const char* type, const char* help, const QByteArray& value) {
        out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n' + name + ' ' + value +
               '\n';
    };
    metric("kestro_mqtt_connected", "gauge", "1 while the broker is connected.", connected() ? "1" : "0");
    metric("kestro_mqtt_level_messages_total", "counter", "Level messages handed to the broker.",
           QByteArray::number(qulonglong(levelsPublished_)));
    metric("kestro_mqtt_level_dropped_total", "counter", "Level messages dropped while the broker was unreachable.",
           QByteArray::number(qulonglong(levelsDropped())));
    metric("kestro_mqtt_interval_delivered_total", "counter", "Interval messages the broker acknowledged.",
           QByteArray::number(qulonglong(intervalsDelivered_)));
    metric("kestro_mqtt_interval_waiting", "gauge", "Interval messages waiting for the broker.",
           QByteArray::number(qulonglong(queue_.size())));
    metric("kestro_mqtt_interval_dropped_total", "counter", "Interval messages dropped after waiting 7 days.",
           QByteArray::number(qlonglong(queue_.droppedTotal())));
    return out;
}

}  // namespace kestro
