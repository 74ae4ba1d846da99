#include "remote/StationMonitor.h"

#include "recording/EventOutputs.h"

#include "statistics/StatisticsRecorder.h"

#include "kestro/Version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

// DevLevel of an error reading.
constexpr int16_t kErrorReading = -1;

QJsonValue optionalJson(const std::optional<QString>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue optionalJson(const std::optional<bool>& v) { return v ? QJsonValue(*v) : QJsonValue(); }

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

const char* streamName(bool fast) { return fast ? "fast" : "slow"; }

// Prometheus sample value: shortest round trip, NaN for none.
QByteArray metricValue(double v) {
    if (std::isnan(v)) return QByteArrayLiteral("NaN");
    return QByteArray::number(v, 'g', 12);
}

void metricHeader(QByteArray& out, const char* name, const char* type, const char* help) {
    out += QByteArrayLiteral("# HELP ") + name + ' ' + help + '\n';
    out += QByteArrayLiteral("# TYPE ") + name + ' ' + type + '\n';
}

// Label values may hold anything; the text format escapes \, " and newlines.
QByteArray labelValue(const QString& v) {
    QByteArray out;
    for (char c : v.toUtf8()) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace

bool StationState::operator==(const StationState& o) const {
    return online == o.online && serial == o.serial && function == o.function && range == o.range &&
           autoRange == o.autoRange && battery == o.battery && levelTenths == o.levelTenths && overflow == o.overflow &&
           underflow == o.underflow && recording == o.recording;
}

QString functionName(int function) {
    static const char* const kNames[] = {"Initialisation", "Lp", "LEQ", "MAX", "CAL", "Service"};
    if (function < 0 || function > 5) return QString();
    return QLatin1String(kNames[function]);
}

StationState stationStateOf(const KestroStateRecord& s, bool recording) {
    StationState st;
    st.online = s.DeviceOnline;
    st.recording = recording;
    const int32_t valid = s.DataValid;
    const QString serial = QString::fromStdString(serialNumberText(s));
    if (!serial.isEmpty()) st.serial = serial;
    if ((valid & kValidFunction) && s.DevFunction >= kFunctionInit && s.DevFunction <= kFunctionService)
        st.function = s.DevFunction;
    if ((valid & kValidRange) && (s.DevRange & kRangeMask) != 0 && s.DevRange != kNotReceived) {
        st.range = s.DevRange & kRangeMask;
        st.autoRange = (s.DevRange & kRangeAuto) != 0;
    }
    if ((valid & kValidBattery) && s.DevBattery >= 1 && s.DevBattery <= 3) st.battery = s.DevBattery;
    if ((valid & kValidLevel) && s.DevLevel != kErrorReading && s.DevLevel != kNotReceived) st.levelTenths = s.DevLevel;
    if ((valid & kValidLevelStatus) && s.DevLevelStatus != kNotReceived) {
        st.overflow = (s.DevLevelStatus & kStatusOverflow) != 0;
        st.underflow = (s.DevLevelStatus & kStatusUnderflow) != 0;
    }
    return st;
}

StationMonitor::StationMonitor(QObject* parent) : QObject(parent) { qRegisterMetaType<StationSample>(); }

void StationMonitor::update(const KestroStateRecord& s, bool recording, bool samplesArriving, const ClockReading& now) {
    offsets_.observe(now);
    const StationState next = stationStateOf(s, recording);
    const bool changed = next != state_;
    state_ = next;
    if (state_.serial && *state_.serial != lastSerial_) {
        lastSerial_ = *state_.serial;
        emit serialKnown(lastSerial_);
    }
    if (changed) emit stateChanged();

    // Without a recording the live level still has to move.
    if (!samplesArriving && state_.levelTenths) {
        if (state_.levelTenths != lastStateLevel_) {
            StationSample p;
            p.utcMs = now.utcMs;
            p.localMs = absoluteMilliseconds(now.local);
            p.tenths = int16_t(*state_.levelTenths);
            p.flags = int16_t((state_.overflow.value_or(false) ? 4 : 0) | (state_.underflow.value_or(false) ? 1 : 0));
            addSample(p);
        }
        lastStateLevel_ = state_.levelTenths;
    } else {
        lastStateLevel_.reset();
    }

    uint64_t revision = 0;
    for (const StatisticsRecorder* src : sources_)
        if (src) revision += src->revision();
    if (revision != statisticsRevision_) {
        statisticsRevision_ = revision;
        statisticsDirty_ = true;
    }
    if (statisticsDirty_ &&
        (now.utcMs - statisticsNoticeMs_ >= kStatisticsNoticeMs || now.utcMs < statisticsNoticeMs_)) {
        statisticsDirty_ = false;
        statisticsNoticeMs_ = now.utcMs;
        emit statisticsChanged();
    }
    if (filesDirty_ && (now.utcMs - filesNoticeMs_ >= kFilesNoticeMs || now.utcMs < filesNoticeMs_)) {
        filesDirty_ = false;
        filesNoticeMs_ = now.utcMs;
        emit filesChanged();
    }
}

void StationMonitor::addRecordedSample(const MeasurementRecord& r) {
    StationSample p;
    p.utcMs = r.Instant;
    p.localMs = absoluteMilliseconds(r.SysTime);
    p.tenths = r.Level;
    p.flags = r.LevelFlags;
    p.recorded = true;
    addSample(p);
}

void StationMonitor::addSample(const StationSample& s) {
    history_.push_back(s);
    while (!history_.empty() && (history_.front().utcMs < s.utcMs - kHistoryMs || history_.size() > kHistoryMax))
        history_.pop_front();
    emit sampleAdded(s);
}

void StationMonitor::updateFile(int index, const StationFile& f) {
    if (index < 1) return;
    const bool added = size_t(index) > files_.size();
    if (added) files_.resize(size_t(index));
    files_[size_t(index - 1)] = f;
    if (added) {
        // A new file is news at once; durations are only news now and then.
        filesDirty_ = false;
        filesNoticeMs_ = offsets_.nowUtcMs();
        emit filesChanged();
    } else {
        filesDirty_ = true;
    }
}

void StationMonitor::setStatisticsSources(const StatisticsRecorder* slow, const StatisticsRecorder* fast) {
    sources_[0] = slow;
    sources_[1] = fast;
}

void StationMonitor::addResult(bool fast, const IntervalResult& r) {
    if (r.kind != ResultKind::Interval || r.samples <= 0) {
        statisticsDirty_ = true;
        return;
    }
    std::deque<IntervalResult>& list = completed_[fast ? 1 : 0];
    list.push_back(r);
    while (list.size() > kKeptResults)
        list.pop_front();
    lastInterval_[fast ? 1 : 0] = r;
    statisticsDirty_ = true;
    emit intervalCompleted(fast, r);
}

// ---------------------------------------------------------------- JSON

QJsonObject StationMonitor::stateObject() const {
    QJsonObject o;
    o.insert(QStringLiteral("online"), state_.online);
    o.insert(QStringLiteral("serial"), optionalJson(state_.serial));
    o.insert(QStringLiteral("function"), state_.function ? QJsonValue(functionName(*state_.function)) : QJsonValue());
    static const char* const kRanges[] = {"", "30-90 dB", "50-110 dB", "70-130 dB"};
    o.insert(QStringLiteral("range"), state_.range ? QJsonValue(QLatin1String(kRanges[*state_.range])) : QJsonValue());
    o.insert(QStringLiteral("auto"), state_.range ? QJsonValue(state_.autoRange) : QJsonValue());
    static const char* const kBattery[] = {"", "empty", "low", "full"};
    o.insert(QStringLiteral("battery"),
             state_.battery ? QJsonValue(QLatin1String(kBattery[*state_.battery])) : QJsonValue());
    o.insert(QStringLiteral("level_db"), state_.levelTenths ? QJsonValue(*state_.levelTenths / 10.0) : QJsonValue());
    o.insert(QStringLiteral("overflow"), optionalJson(state_.overflow));
    o.insert(QStringLiteral("underflow"), optionalJson(state_.underflow));
    o.insert(QStringLiteral("recording"), state_.recording);
    o.insert(QStringLiteral("time"), offsets_.known() ? QJsonValue(offsets_.isoNow()) : QJsonValue());
    o.insert(QStringLiteral("event_detection"), eventDetection_.isEmpty() ? QJsonValue() : QJsonValue(eventDetection_));
    o.insert(QStringLiteral("event"), running_ ? QJsonValue(eventJson(*running_)) : QJsonValue());
    o.insert(QStringLiteral("last_event"), lastEvent_ ? QJsonValue(eventJson(*lastEvent_)) : QJsonValue());
    o.insert(QStringLiteral("events_total"), double(eventsTotal_));
    return o;
}

void StationMonitor::addEvent(const EventNotice& n) {
    if (n.phase == EventNotice::Phase::Started) {
        running_ = n;
        eventsTotal_ = std::max(eventsTotal_, n.count);
    } else {
        running_.reset();
        lastEvent_ = n;
    }
    emit exceedance(compact(eventJson(n)));
    emit stateChanged();
}

void StationMonitor::setEventDetection(const QString& text) {
    if (text == eventDetection_) return;
    eventDetection_ = text;
    emit stateChanged();
}

QJsonObject StationMonitor::sampleObject(const StationSample& s) const {
    const int offset =
        int(std::llround(double(s.localMs - utcAsAbsoluteMs(s.utcMs)) / 60000.0));  // the sample's own offset
    QJsonObject o;
    o.insert(QStringLiteral("t"), isoLocalTime(s.localMs, offset));
    o.insert(QStringLiteral("utc_ms"), double(s.utcMs));
    o.insert(QStringLiteral("db"), s.tenths / 10.0);
    o.insert(QStringLiteral("overflow"), (s.flags & 4) != 0);
    o.insert(QStringLiteral("underflow"), (s.flags & 1) != 0);
    o.insert(QStringLiteral("recorded"), s.recorded);
    return o;
}

QJsonObject StationMonitor::resultObject(bool fast, const IntervalResult& r) const {
    QJsonObject o;
    o.insert(QStringLiteral("stream"), QLatin1String(streamName(fast)));
    o.insert(QStringLiteral("type"), QString::fromStdString(r.typeWord));
    o.insert(QStringLiteral("kind"),
             r.kind == ResultKind::Series ? QStringLiteral("Series") : QStringLiteral("Interval"));
    o.insert(QStringLiteral("start"), offsets_.isoText(r.startMs));
    o.insert(QStringLiteral("end"), offsets_.isoText(r.endMs));
    o.insert(QStringLiteral("samples"), double(r.samples));
    // Every level key is there; those the stream's values do not give are null.
    static const char* const kKeys[] = {"leq", "lmax", "lmin", "l5", "l10", "l50", "l90", "l95"};
    QJsonObject names;
    for (Statistic s : kStatistics) {
        o.insert(QLatin1String(kKeys[int(s)]), levelJson(r.value(s)));
        if (const char* name = statisticName(r.quantity, s))
            names.insert(QLatin1String(kKeys[int(s)]), QLatin1String(name));
    }
    static const char* const kQuantities[] = {"level", "running_leq", "running_max", "amplitude"};
    o.insert(QStringLiteral("quantity"), QLatin1String(kQuantities[int(r.quantity)]));
    o.insert(QStringLiteral("names"), names);
    o.insert(QStringLiteral("overflow"), double(r.overflow));
    o.insert(QStringLiteral("underflow"), double(r.underflow));
    o.insert(QStringLiteral("over_limit"), r.overLimit);
    return o;
}

QByteArray StationMonitor::stateJson() const { return compact(stateObject()); }

QByteArray StationMonitor::historyJson() const {
    QJsonArray points;
    for (const StationSample& s : history_)
        points.append(QJsonArray{double(s.utcMs), s.tenths / 10.0, int(s.flags)});
    QJsonObject o;
    o.insert(QStringLiteral("now_utc_ms"), double(offsets_.nowUtcMs()));
    o.insert(QStringLiteral("utc_offset_min"), offsets_.currentMinutes());
    o.insert(QStringLiteral("window_s"), int(kHistoryMs / 1000));
    o.insert(QStringLiteral("points"), points);
    return compact(o);
}

QByteArray StationMonitor::filesJson() const {
    QJsonArray list;
    for (const StationFile& f : files_) {
        if (f.name.isEmpty()) continue;
        QJsonObject o;
        o.insert(QStringLiteral("name"), f.name);
        o.insert(QStringLiteral("stream"), QLatin1String(streamName(f.fast)));
        o.insert(QStringLiteral("start"), offsets_.isoTextOfDays(f.startDays));
        o.insert(QStringLiteral("duration_s"), double(std::llround(f.durationDays * 86400000.0)) / 1000.0);
        list.append(o);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

QJsonObject StationMonitor::streamObject(bool fast, size_t maxCompleted) const {
    QJsonObject o;
    const StatisticsRecorder* src = sources_[fast ? 1 : 0];
    const bool active = src && src->active();
    o.insert(QStringLiteral("active"), active);
    QJsonValue type, interval, limit, current, series;
    if (src && (active || src->lastSeries().samples > 0)) {
        const IntervalEngine& e = src->engine();
        type = QString::fromStdString(active ? e.typeWord() : src->lastSeries().typeWord);
        interval = src->seriesConfig().intervalSeconds;
        limit = src->seriesConfig().limitTenths > 0 ? QJsonValue(src->seriesConfig().limitTenths / 10.0) : QJsonValue();
        if (active && e.intervalOpen()) {
            const IntervalResult c = e.currentInterval();
            if (c.samples > 0) current = resultObject(fast, c);
        }
        const IntervalResult s = active ? e.series() : src->lastSeries();
        if (s.samples > 0) series = resultObject(fast, s);
    }
    o.insert(QStringLiteral("type"), type);
    o.insert(QStringLiteral("interval_s"), interval);
    o.insert(QStringLiteral("limit_db"), limit);
    o.insert(QStringLiteral("current"), current);
    o.insert(QStringLiteral("series"), series);
    QJsonArray done;
    const std::deque<IntervalResult>& list = completed_[fast ? 1 : 0];
    const size_t first = list.size() > maxCompleted ? list.size() - maxCompleted : 0;
    for (size_t i = first; i < list.size(); ++i)
        done.append(resultObject(fast, list[i]));
    o.insert(QStringLiteral("completed"), done);
    return o;
}

QByteArray StationMonitor::statisticsJson(size_t maxCompleted) const {
    QJsonObject o;
    o.insert(QStringLiteral("slow"), streamObject(false, maxCompleted));
    o.insert(QStringLiteral("fast"), streamObject(true, maxCompleted));
    return compact(o);
}

QByteArray StationMonitor::chainJson() const {
    auto text = [](const QString& s) {
        return s.isEmpty() ? QJsonValue() : QJsonValue(s);
    };
    QJsonObject o;
    o.insert(QStringLiteral("side_file"), text(chainHead_.sideFile));
    o.insert(QStringLiteral("sha256"), text(QString::fromLatin1(chainHead_.sha256)));
    o.insert(QStringLiteral("record_file"), text(chainHead_.recordFile));
    return compact(o);
}

void StationMonitor::addDailyReport(const QByteArray& json, int64_t utcMs) {
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    const QString date = o.value(QLatin1String("date")).toString();
    if (date.isEmpty()) return;
    days_[date] = o;
    while (days_.size() > 31)
        days_.erase(days_.begin());
    lastDailyReportUtcMs_ = std::max(lastDailyReportUtcMs_, utcMs);
}

QByteArray StationMonitor::daysJson() const {
    QJsonArray a;
    for (auto it = days_.rbegin(); it != days_.rend(); ++it)
        a.append(it->second);
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

void StationMonitor::addCalibration(const CalibrationCheck& c) {
    const std::optional<CalibrationCheck> before = lastCalibration_;
    if (before && c.localMs == before->localMs && c.levelDb == before->levelDb) return;
    lastCalibration_ = c;
    if (!before) return;
    // A check of another meter says nothing about this one's drift.
    if (!c.serialNumber.isEmpty() && !before->serialNumber.isEmpty() && c.serialNumber != before->serialNumber)
        calibrationDrift_.reset();
    // As reports take it: the first reading of a check against the last one of the check before.
    else if (c.localMs - before->localMs > kCalibrationCheckGapMs)
        calibrationDrift_ = c.levelDb - before->levelDb;
}

QByteArray StationMonitor::metricsText() const {
    QByteArray out;
    if (!chainHead_.sha256.isEmpty()) {
        metricHeader(out, "kestro_chain_head_info", "gauge",
                     "The evidence chain's head: the side file closed last and its SHA-256 (for --expect-head).");
        out += QByteArrayLiteral("kestro_chain_head_info{side_file=\"") + labelValue(chainHead_.sideFile) +
               "\",sha256=\"" + chainHead_.sha256 + "\"} 1\n";
    }
    if (lastDailyReportUtcMs_ >= 0) {
        metricHeader(out, "kestro_last_daily_report_timestamp_seconds", "gauge",
                     "When the newest daily report was written, in seconds since 1970.");
        out += QByteArrayLiteral("kestro_last_daily_report_timestamp_seconds ") +
               QByteArray::number(qlonglong(lastDailyReportUtcMs_ / 1000)) + '\n';
    }
    if (lastCalibration_) {
        metricHeader(out, "kestro_calibration_level_db", "gauge", "The last calibration reading in dB.");
        out += QByteArrayLiteral("kestro_calibration_level_db ") + metricValue(lastCalibration_->levelDb) + '\n';
    }
    if (calibrationDrift_) {
        metricHeader(out, "kestro_calibration_drift_db", "gauge",
                     "The last calibration check's first reading minus the check before's last, in dB.");
        out += QByteArrayLiteral("kestro_calibration_drift_db ") + metricValue(*calibrationDrift_) + '\n';
    }
    metricHeader(out, "kestro_side_files_closing", "gauge",
                 "Ended series whose side file is not closed yet (the chain's head waits for them).");
    out += QByteArrayLiteral("kestro_side_files_closing ") +
           QByteArray::number(qulonglong(counters_.sideFilesClosing)) + '\n';
    metricHeader(out, "kestro_info", "gauge", "The program's version and the meter's serial number.");
    out += QByteArrayLiteral("kestro_info{version=\"" KESTRO_VERSION_STRING "\",serial=\"") + labelValue(lastSerial_) +
           "\"} 1\n";
    metricHeader(out, "kestro_device_online", "gauge", "1 while the meter answers.");
    out += QByteArrayLiteral("kestro_device_online ") + (state_.online ? '1' : '0') + '\n';
    metricHeader(out, "kestro_level_db", "gauge", "The meter's last slow level in dB (NaN while unknown).");
    out += QByteArrayLiteral("kestro_level_db ") +
           metricValue(state_.levelTenths ? *state_.levelTenths / 10.0 : std::nan("")) + '\n';
    metricHeader(out, "kestro_level_overflow", "gauge", "1 while the level is an overflow.");
    out += QByteArrayLiteral("kestro_level_overflow ") + (state_.overflow.value_or(false) ? '1' : '0') + '\n';
    metricHeader(out, "kestro_recording", "gauge", "1 while recording is armed.");
    out += QByteArrayLiteral("kestro_recording ") + (state_.recording ? '1' : '0') + '\n';
    metricHeader(out, "kestro_events_total", "counter",
                 "Exceedances of the event level that lasted the minimum duration.");
    out += QByteArrayLiteral("kestro_events_total ") + QByteArray::number(qlonglong(eventsTotal_)) + '\n';
    metricHeader(out, "kestro_event_running", "gauge", "1 while an exceedance runs.");
    out += QByteArrayLiteral("kestro_event_running ") + (running_ ? '1' : '0') + '\n';
    metricHeader(out, "kestro_samples_written_total", "counter", "Samples handed to the record files.");
    out += QByteArrayLiteral("kestro_samples_written_total{stream=\"slow\"} ") +
           QByteArray::number(qulonglong(counters_.slowSamples)) + '\n';
    out += QByteArrayLiteral("kestro_samples_written_total{stream=\"fast\"} ") +
           QByteArray::number(qulonglong(counters_.fastSamples)) + '\n';
    metricHeader(out, "kestro_record_errors_total", "counter", "Record and statistics file writes that failed.");
    out += QByteArrayLiteral("kestro_record_errors_total ") + QByteArray::number(qulonglong(counters_.recordErrors)) +
           '\n';
    // Only what the stream's values give: a running maximum has no Leq, a running Leq no Lmax.
    const std::pair<const char*, Statistic> gauges[] = {{"kestro_interval_leq_db", Statistic::Leq},
                                                        {"kestro_interval_lmax_db", Statistic::Lmax}};
    for (const auto& [metric, statistic] : gauges) {
        metricHeader(out, metric, "gauge",
                     statistic == Statistic::Leq
                         ? "Leq of the last completed interval in dB (NaN beyond the resolution)."
                         : "Lmax of the last completed interval in dB (of a running maximum: since "
                           "the series began).");
        for (bool fast : {false, true}) {
            const std::optional<IntervalResult>& r = lastInterval_[fast ? 1 : 0];
            if (!r || !gives(r->quantity, statistic)) continue;
            const double v = r->value(statistic);
            out += QByteArray(metric) + "{stream=\"" + streamName(fast) + "\",type=\"" +
                   labelValue(QString::fromStdString(r->typeWord)) + "\"} " +
                   metricValue(std::isnan(v) ? v : levelTenths(v) / 10.0) + '\n';
        }
    }
    return out;
}

}  // namespace kestro
