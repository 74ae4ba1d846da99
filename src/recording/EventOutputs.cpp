#include "recording/EventOutputs.h"

#include "statistics/StatisticsFile.h"

#include <QCoreApplication>

#include <cmath>

namespace kestro {

namespace {

// The level as the files write it; empty where the stream gives none.
QString decibels(double db) { return std::isnan(db) ? QString() : levelText(db); }

QString clockTime(int64_t localMs) {
    const SystemTime t = systemTimeFromAbsoluteMs(localMs);
    return QString::asprintf("%02d:%02d:%02d", t.wHour, t.wMinute, t.wSecond);
}

bool ended(const EventNotice& n) { return n.phase == EventNotice::Phase::Ended; }

}  // namespace

QProcessEnvironment eventEnvironment(const EventNotice& n) {
    const NoiseEvent& e = n.event;
    QProcessEnvironment env;
    auto set = [&env](const char* name, const QString& value) {
        env.insert(QStringLiteral("KESTRO_EVENT_") + QLatin1String(name), value);
    };
    set("PHASE", ended(n) ? QStringLiteral("end") : QStringLiteral("start"));
    set("START", isoTime(e.startLocalMs, e.startUtcMs));
    set("END", ended(n) ? isoTime(e.endLocalMs, e.endUtcMs) : QString());
    set("DURATION_S", QString::number(e.durationMs / 1000.0, 'f', 1));
    set("LMAX_DB", decibels(e.lmax));
    set("LEQ_DB", decibels(e.leq));
    set("SEL_DB", decibels(e.sel));
    set("LEVEL_DB", levelText(n.levelTenths / 10.0));
    set("OPEN", e.open ? QStringLiteral("1") : QStringLiteral("0"));
    set("STREAM", n.typeWord);
    set("RECORD_FILE", n.recordPath);
    set("COUNT", QString::number(n.count));
    set("SERIAL", n.serialNumber);
    return env;
}

QJsonValue levelJson(double db) {
    if (std::isnan(db)) return QJsonValue();
    return double(levelTenths(db)) / 10.0;
}

QJsonObject eventJson(const EventNotice& n) {
    const NoiseEvent& e = n.event;
    QJsonObject o;
    o.insert(QStringLiteral("phase"), ended(n) ? QStringLiteral("end") : QStringLiteral("start"));
    o.insert(QStringLiteral("type"), n.typeWord);
    o.insert(QStringLiteral("start"), isoTime(e.startLocalMs, e.startUtcMs));
    o.insert(QStringLiteral("end"), ended(n) ? QJsonValue(isoTime(e.endLocalMs, e.endUtcMs)) : QJsonValue());
    o.insert(QStringLiteral("duration_s"), e.durationMs / 1000.0);
    o.insert(QStringLiteral("lmax_db"), levelJson(e.lmax));
    o.insert(QStringLiteral("leq_db"), levelJson(e.leq));
    o.insert(QStringLiteral("sel_db"), levelJson(e.sel));
    o.insert(QStringLiteral("level_db"), n.levelTenths / 10.0);
    o.insert(QStringLiteral("open"), e.open);
    o.insert(QStringLiteral("count"), double(n.count));
    return o;
}

// In the desktop's language where it installed a translation (under the notifier's name).
EventNotification eventNotification(const EventNotice& n, QChar decimal) {
    const NoiseEvent& e = n.event;
    auto number = [decimal](double v) {
        return QString::number(v, 'f', 1).replace(QLatin1Char('.'), decimal);
    };
    auto shown = [decimal](double db) {
        return std::isnan(db) ? QStringLiteral("-") : levelText(db, decimal) + QStringLiteral(" dB");
    };
    if (!ended(n))
        return {QCoreApplication::translate("kestro::EventNotifier", "Noise event: above %1 dB")
                    .arg(levelText(n.levelTenths / 10.0, decimal)),
                QCoreApplication::translate("kestro::EventNotifier", "Since %1 (%2), LAmax so far %3")
                    .arg(clockTime(e.startLocalMs), n.typeWord, shown(e.lmax)),
                true};
    return {QCoreApplication::translate("kestro::EventNotifier", "Noise event ended"),
            QCoreApplication::translate("kestro::EventNotifier", "%1 \u2013 %2, %3 s%4: LAmax %5, SEL %6")
                .arg(clockTime(e.startLocalMs), clockTime(e.endLocalMs), number(e.durationMs / 1000.0),
                     e.open ? QCoreApplication::translate("kestro::EventNotifier", " (cut short)") : QString(),
                     shown(e.lmax), shown(e.sel)),
            false};
}

}  // namespace kestro
