#pragma once
// Where the program keeps its files, by the XDG base directory rules: the one
// resolver of those places. Nothing
// is ever placed next to the executable: it may be installed read-only, and a
// start as root must not litter a system directory.

#include <QString>

namespace kestro {

inline constexpr const char* kPlaceFolder = "KestroRecorder";

// The part of the environment the places depend on; tests fill it by hand.
struct PlaceEnvironment {
    QString home;           // $HOME, else the home of the user's account entry
    QString xdgConfigHome;  // the raw variables; relative values count as unset
    QString xdgDataHome;
    QString xdgStateHome;
    QString xdgRuntimeDir;
    static PlaceEnvironment current();
};

// $XDG_CONFIG_HOME/KestroRecorder (~/.config/KestroRecorder): the settings file.
QString configDirectory(const PlaceEnvironment& env);
// $XDG_DATA_HOME/KestroRecorder (~/.local/share/KestroRecorder).
QString dataDirectory(const PlaceEnvironment& env);
// $XDG_STATE_HOME/KestroRecorder (~/.local/state/KestroRecorder): the event log.
QString stateDirectory(const PlaceEnvironment& env);
// The user's documents directory: XDG_DOCUMENTS_DIR of user-dirs.dirs unless it
// is disabled (set to the home directory), else ~/Documents when it exists.
// Empty when there is none.
QString documentsDirectory(const PlaceEnvironment& env);
// Default record directory: <documents>/KestroRecorder, or the data directory
// when there is no documents directory.
QString defaultRecordDirectory(const PlaceEnvironment& env);

// Creates dir and its missing parents, private to the user (0700) as the XDG
// rules ask. True when dir exists as a directory afterwards.
bool makePrivatePath(const QString& dir);

}  // namespace kestro
