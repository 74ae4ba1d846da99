#pragma once
// Remote monitoring as the application sees it: the station model, the web
// server and the MQTT publisher, fed after every poll tick and by the
// recording core's signals. Nothing here writes to the meter, the recording
// or the settings.

#include "protocol/DeviceSnapshot.h"
#include "remote/RemoteOptions.h"
#include "remote/StationMonitor.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace kestro {

class MonitorServer;
class MqttPublisher;
class SeriesRecorder;
class TimeStamper;

struct RemoteConfig {
    std::optional<ListenAddress> serve;
    QString token;  // empty: none
    std::optional<MqttTarget> mqtt;
    QString mqttPassword;
    QString queueDir;  // where interval messages wait for the broker
    QUrl tsa;          // the time-stamping authority; empty: none
    QString tsaQueueDir;
    QString instance;                          // --instance: the metrics label and part of the MQTT client id
    std::function<QString()> recordDirectory;  // the files the server offers; unset: none
};

// Why the web server may not start as configured; empty when it may. A
// server reachable from the network must not be open to anyone there.
QString serveRefusal(const ListenAddress& address, const QString& token);
// The level message: {"t", "db", "function", "overflow", "underflow"}.
QByteArray levelMessage(const StationMonitor& monitor, const StationSample& s);

class RemoteStation : public QObject {
    Q_OBJECT
public:
    using LogFn = std::function<void(const QString&)>;

    using DeviceFn = std::function<DeviceSnapshot()>;

    // device: the meter as the session shows it, asked after every poll tick.
    RemoteStation(DeviceFn device, const Clock& clock, LogFn log, QObject* parent = nullptr);
    ~RemoteStation() override;

    // Starts what the configuration asks for; false with the reason when the
    // server may not or cannot listen.
    bool start(const RemoteConfig& c, QString* error);
    void attach(SeriesRecorder& recorder);
    // After every poll tick.
    void tick();
    // A daily report's JSON: listed and, when published (a new one), sent retained on <prefix>/<serial>/day.
    void dailyReport(const QByteArray& json, int64_t utcMs, bool publish);
    // At the end of the program (see MqttPublisher::stop).
    void stop(int waitMs);

    StationMonitor& monitor() { return monitor_; }
    MonitorServer* server() const { return server_.get(); }
    MqttPublisher* publisher() const { return publisher_.get(); }
    // "http://127.0.0.1:8080/" while serving, else empty.
    QString serverUrl() const;

private:
    DeviceFn device_;
    const Clock& clock_;
    LogFn log_;
    SeriesRecorder* recorder_ = nullptr;
    StationMonitor monitor_;
    std::unique_ptr<MonitorServer> server_;
    std::unique_ptr<MqttPublisher> publisher_;
    std::unique_ptr<TimeStamper> stamper_;
};

}  // namespace kestro
