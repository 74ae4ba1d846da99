#pragma once
// Every outlet of a noise event renders it here, once, from the one value the
// recorder hands on: the environment of the --on-event command, the JSON
// object of the web API and MQTT, and the desktop notification. The rows of
// the events file belong to that file's format, beside its reader
// (statistics/EventsFile.h).

#include "recording/EventRecorder.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QProcessEnvironment>
#include <QString>

namespace kestro {

// KESTRO_EVENT_PHASE, _START, _END, _DURATION_S, _LMAX_DB, _LEQ_DB, _SEL_DB,
// _LEVEL_DB, _OPEN, _STREAM, _RECORD_FILE, _COUNT and _SERIAL, and nothing else.
QProcessEnvironment eventEnvironment(const EventNotice& n);
// {"phase", "type", "start", "end", "duration_s", "lmax_db", "leq_db", "sel_db", "level_db", "open", "count"}.
QJsonObject eventJson(const EventNotice& n);

struct EventNotification {
    QString summary;
    QString body;
    bool urgent = false;  // a start: the end is only news
};
// Texts in the desktop's language where it installed one, numbers with its decimal mark.
EventNotification eventNotification(const EventNotice& n, QChar decimal = QLatin1Char('.'));

// A level in JSON, to the meter's tenth of a decibel; null where there is none.
QJsonValue levelJson(double db);

}  // namespace kestro
