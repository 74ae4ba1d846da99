#pragma once
// One meter's share of a computer. --instance NAME gives a run its own settings
// file, places, single-instance lock, event log, default record folder, MQTT
// client id and web port; every name the program derives from its own comes
// from here. Without a name each is the one the program has always used.

#include "shell/Places.h"

#include <QString>
#include <QStringList>
#include <optional>

#include <sys/types.h>

namespace kestro {

inline constexpr int kInstanceNameMax = 32;
// The port of "--serve auto" without an instance.
inline constexpr quint16 kDefaultWebPort = 8080;

// Letters, digits, '-' and '_', 1 to 32 of them: safe in a file name, a systemd
// instance, a Prometheus label value and (shortened) an MQTT client id.
bool isInstanceName(const QString& name);

// The web port of "--serve auto": 8080 without a name; with one, 8080 + 1 + the
// number the name ends in (ttyUSB0 8081, ttyUSB1 8082). None for a name that
// ends in no number of at most four digits: such an instance needs its port.
std::optional<quint16> defaultWebPort(const QString& instanceName);

class Instance {
public:
    // name: valid or empty (the unnamed instance).
    explicit Instance(QString name = QString(), PlaceEnvironment env = PlaceEnvironment::current());

    const QString& name() const { return name_; }
    bool named() const { return !name_.isEmpty(); }
    // "KestroRecorder", or "KestroRecorder@NAME": '@' is no name character, so
    // no instance's folder is another's.
    QString folder() const;

    QString dataDirectory() const;
    // The event log (unless LOGFILES), the spool, the station key, the MQTT and
    // time-stamp queues.
    QString stateDirectory() const;
    QString defaultRecordDirectory() const;
    // Creates dir when it is the default record directory (private when it is
    // the data directory). True when it was made or was there.
    bool makeDefaultRecordDirectory(const QString& dir) const;
    // The settings file, given the unnamed one's path.
    QString settingsFile(const QString& unnamedFile) const;
    // $XDG_RUNTIME_DIR/KestroRecorder[@NAME].lock, else in the temporary
    // directory with the user id in the name.
    QString lockFile() const;
    // LOGFILES (its folder KestroRecorder@NAME for a named instance), else the
    // state directory.
    QString logDirectory(const QStringList& environment) const;
    QString mqttQueueDirectory() const;
    QString tsaQueueDirectory() const;
    // Where a version before the state directory kept its spool.
    QString earlierSpoolDirectory() const;

private:
    QString suffixed(const QString& unnamed) const;

    QString name_;
    PlaceEnvironment env_;
};

// The instance a running copy of this program serves: its --instance name, or
// empty when it runs without one. None when pid is another program or gone.
std::optional<QString> instanceOfProcess(pid_t pid);

}  // namespace kestro
