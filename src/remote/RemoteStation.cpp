#include "remote/RemoteStation.h"

#include "recording/SeriesRecorder.h"
#include "remote/MonitorServer.h"
#include "remote/MqttPublisher.h"
#include "remote/TimeStamper.h"

#include <QDir>
#include <QJsonDocument>

namespace kestro {

QString serveRefusal(const ListenAddress& address, const QString& token) {
    if (address.address.isLoopback() || !token.isEmpty()) return QString();
    return QStringLiteral(
               "--serve %1 would let anyone on the network read the station; give a token with "
               "--serve-token-file FILE (or KESTRO_SERVE_TOKEN), or serve on 127.0.0.1")
        .arg(address.address.toString());
}

QByteArray levelMessage(const StationMonitor& monitor, const StationSample& s) {
    const QJsonObject sample = monitor.sampleObject(s);
    QJsonObject o;
    o.insert(QStringLiteral("t"), sample.value(QStringLiteral("t")));
    o.insert(QStringLiteral("db"), sample.value(QStringLiteral("db")));
    const std::optional<int> function = monitor.state().function;
    o.insert(QStringLiteral("function"), function ? QJsonValue(functionName(*function)) : QJsonValue());
    o.insert(QStringLiteral("overflow"), sample.value(QStringLiteral("overflow")));
    o.insert(QStringLiteral("underflow"), sample.value(QStringLiteral("underflow")));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

RemoteStation::RemoteStation(DeviceFn device, const Clock& clock, LogFn log, QObject* parent)
    : QObject(parent), device_(std::move(device)), clock_(clock), log_(std::move(log)) {}

RemoteStation::~RemoteStation() {
    stop(0);
    // The recorder outlives this: its later closes must not call back into it.
    if (recorder_) recorder_->evidence().onChainHead = nullptr;
}

bool RemoteStation::start(const RemoteConfig& c, QString* error) {
    if (c.serve) {
        const QString refusal = serveRefusal(*c.serve, c.token);
        if (!refusal.isEmpty()) {
            *error = refusal;
            return false;
        }
        server_ = std::make_unique<MonitorServer>(monitor_);
        server_->setToken(c.token);
        server_->setInstanceLabel(c.instance);
        server_->setRecordDirectory(c.recordDirectory);
        QString why;
        if (!server_->listen(c.serve->address, c.serve->port, &why)) {
            *error = QStringLiteral("cannot serve on %1: %2").arg(listenUrl(c.serve->address, c.serve->port), why);
            server_.reset();
            return false;
        }
        if (log_) log_(QStringLiteral("Web server: %1").arg(serverUrl()));
    }
    if (!c.tsa.isEmpty()) stamper_ = std::make_unique<TimeStamper>(c.tsa, c.tsaQueueDir, log_);
    if (c.mqtt) {
        publisher_ = std::make_unique<MqttPublisher>(*c.mqtt, c.mqttPassword, c.queueDir, clock_, log_);
        publisher_->setInstance(c.instance);
        publisher_->loadQueue();
        MqttPublisher* p = publisher_.get();
        connect(&monitor_, &StationMonitor::serialKnown, p, &MqttPublisher::setSerial);
        connect(&monitor_, &StationMonitor::sampleAdded, p,
                [this, p](const StationSample& s) { p->publishLevel(levelMessage(monitor_, s)); });
        connect(&monitor_, &StationMonitor::intervalCompleted, p, [this, p](bool fast, const IntervalResult& r) {
            p->publishInterval(QJsonDocument(monitor_.resultObject(fast, r)).toJson(QJsonDocument::Compact));
        });
        connect(&monitor_, &StationMonitor::exceedance, p, &MqttPublisher::publishEvent);
        if (server_) server_->addMetrics([p] { return p->metricsText(); });
    }
    return true;
}

void RemoteStation::attach(SeriesRecorder& recorder) {
    recorder_ = &recorder;
    monitor_.setStatisticsSources(&recorder.slowStatistics(), &recorder.fastStatistics());
    connect(&recorder, &SeriesRecorder::slowSample, this,
            [this](int32_t n) { monitor_.addRecordedSample(recorder_->LocalSlowBuffer[n]); });
    auto file = [this](int32_t index) {
        if (index < 1 || size_t(index) >= recorder_->RecordFiles.size()) return;
        const RecordFileEntry& e = recorder_->RecordFiles[size_t(index)];
        monitor_.updateFile(index, StationFile{e.FileTitle, e.Kind == Stream::Fast, e.Start, e.Duration});
    };
    connect(&recorder, &SeriesRecorder::seriesStarted, this, file);
    connect(&recorder, &SeriesRecorder::durationChanged, this, file);
    connect(&recorder, &SeriesRecorder::statisticsResult, this,
            [this](Stream s, const IntervalResult& r) { monitor_.addResult(s == Stream::Fast, r); });
    connect(&recorder, &SeriesRecorder::noiseEvent, this, [this](const EventNotice& n) { monitor_.addEvent(n); });
    // Published where someone else keeps it: the newest series cannot go unnoticed.
    recorder.evidence().onChainHead = [this](const ChainHead& head) {
        monitor_.setChainHead(head);
        if (publisher_) publisher_->publishChain(head.sha256);
        if (stamper_ && !head.directory.isEmpty()) stamper_->stamp(QDir(head.directory).filePath(head.sideFile));
    };
}

void RemoteStation::dailyReport(const QByteArray& json, int64_t utcMs, bool publish) {
    monitor_.addDailyReport(json, utcMs);
    if (publish && publisher_) publisher_->publishDay(QJsonDocument::fromJson(json).toJson(QJsonDocument::Compact));
}

void RemoteStation::tick() {
    if (recorder_) {
        EvidenceTrail& e = recorder_->evidence();
        monitor_.setCounters(RecordCounters{recorder_->samplesWritten(Stream::Slow),
                                            recorder_->samplesWritten(Stream::Fast), recorder_->recordErrors(),
                                            e.closingCount()});
        // The session owns the trail's calibration callback; the newest reading is enough for the drift.
        if (e.hasLastCheck()) monitor_.addCalibration(e.lastCheck());
    }
    if (recorder_) monitor_.setEventDetection(recorder_->events().detectionText());
    const DeviceSnapshot d = device_();
    monitor_.update(d.device, d.armed(), d.storing(), clock_.read());
}

void RemoteStation::stop(int waitMs) {
    if (publisher_) publisher_->stop(waitMs);
}

QString RemoteStation::serverUrl() const {
    return server_ ? listenUrl(server_->address(), server_->port()) : QString();
}

}  // namespace kestro
