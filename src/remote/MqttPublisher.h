#pragma once
// Publishes the station to an MQTT broker under <prefix>/<serial>/:
//   status    retained "online"; "offline" at the end, and as the last will
//   level     one message per slow level (QoS 0), dropped and counted while
//             the broker cannot be reached
//   interval  one message per completed interval (QoS 1), queued on disk
//             until the broker has it, delivered in order
//   event     the start and the end of every exceedance, queued like intervals
//   chain     retained: the SHA-256 (hex) of the side file closed last, the
//             evidence chain's head, queued like intervals
// Everything here runs on the program's thread and never waits for the
// network; the link's thread does the talking.

#include "protocol/DeviceCodes.h"
#include "remote/IntervalQueue.h"
#include "remote/RemoteOptions.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace kestro {

class MqttLink;

// The client id, within the 23 bytes every broker takes: "kestro-SERIAL", with
// an instance "kestro-SERIAL-NAME" when that fits, else "kSERIAL-" and as many
// hex digits of the name's SHA-256 as fit (never the shape of a fitting one).
QByteArray mqttClientId(const QString& serial, const QString& instance);

class MqttPublisher : public QObject {
    Q_OBJECT
public:
    // Interval messages handed to the broker before its acknowledgements.
    static constexpr size_t kWindow = 16;

    using LogFn = std::function<void(const QString&)>;

    // queueDir: where interval messages wait (created when needed).
    MqttPublisher(const MqttTarget& target, const QString& password, const QString& queueDir, const Clock& clock,
                  LogFn log, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Pauses between connection attempts (tests shorten them).
    void setRetry(int firstMs, int maxMs);
    // The instance this program runs as (--instance); before the serial is known.
    void setInstance(const QString& name) { instance_ = name; }
    // Loads what an earlier run left waiting.
    void loadQueue();
    // The meter's serial number names the topics; the first one starts the link.
    void setSerial(const QString& serial);
    void publishLevel(const QByteArray& payload);
    void publishInterval(const QByteArray& payload) { publishQueued("interval", payload); }
    void publishEvent(const QByteArray& payload) { publishQueued("event", payload); }
    void publishChain(const QByteArray& sha256) { publishQueued("chain", sha256, true); }
    // A daily report's JSON, retained: a subscriber learns of the last day at once.
    void publishDay(const QByteArray& json) { publishQueued("day", json, true); }
    // The end of the program: waits at most waitMs for the waiting interval
    // messages, then publishes "offline". What is left stays queued on disk.
    void stop(int waitMs);

    bool connected() const;
    QString topic(const char* leaf) const;
    size_t waitingIntervals() const { return queue_.size(); }
    uint64_t levelsPublished() const { return levelsPublished_; }
    uint64_t levelsDropped() const;
    uint64_t intervalsDelivered() const { return intervalsDelivered_; }
    QByteArray metricsText() const;

private:
    // QoS 1 through the disk queue, in order with the others.
    void publishQueued(const char* leaf, const QByteArray& payload, bool retain = false);
    void startLink();
    void takeEvents();
    void sendWaiting(bool all = false);

    MqttTarget target_;
    QByteArray password_;
    const Clock& clock_;
    LogFn log_;
    IntervalQueue queue_;
    int firstRetryMs_ = 1000;
    int maxRetryMs_ = 30000;
    QString serial_;
    QString instance_;
    std::unique_ptr<MqttLink> link_;
    std::vector<std::unique_ptr<MqttLink>> retired_;  // links of an earlier serial number
    std::shared_ptr<std::atomic<bool>> eventsPosted_;
    uint64_t sentGeneration_ = 0;
    uint64_t sentThrough_ = 0;  // highest sequence number handed to the link in that generation
    std::set<uint64_t> acknowledged_;
    QTimer syncTimer_;
    bool up_ = false;
    bool everUp_ = false;
    QString lastFailure_;
    uint64_t levelsPublished_ = 0;
    uint64_t levelsDropped_ = 0;
    uint64_t droppedAtOutage_ = 0;
    uint64_t intervalsDelivered_ = 0;
    int64_t queueDropsLogged_ = 0;
    QString queueErrorLogged_;
    bool stopped_ = false;
};

}  // namespace kestro
