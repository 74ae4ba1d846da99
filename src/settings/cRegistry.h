#pragma once
// The settings store: roots, key paths with "\" separators and typed named values,
// backed by one JSON file per root.

#include "core/Errors.h"
#include "core/Types.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

#include <stdexcept>

namespace kestro {

class Instance;

constexpr uint32_t HKEY_CLASSES_ROOT_ = 0x80000000u;
constexpr uint32_t HKEY_CURRENT_USER_ = 0x80000001u;
constexpr uint32_t HKEY_LOCAL_MACHINE_ = 0x80000002u;

constexpr int32_t REG_SZ_ = 1;
constexpr int32_t REG_EXPAND_SZ_ = 2;
constexpr int32_t REG_BINARY_ = 3;
constexpr int32_t REG_DWORD_ = 4;
constexpr int32_t REG_DWORD_BIG_ENDIAN_ = 5;
constexpr int32_t REG_MULTI_SZ_ = 7;

// A raised error: number, source and description.
struct RaisedError : std::runtime_error {
    RaisedError(int32_t n, QString src, QString desc)
        : std::runtime_error(desc.toStdString()), number(n), source(std::move(src)), description(std::move(desc)) {}
    int32_t number;
    QString source;
    QString description;
};

// Where the roots live. Tests point them at temporary files.
struct RegistryFiles {
    QString currentUser;   // default: <config>/KestroRecorder/registry.json
    QString localMachine;  // default: /etc/xdg/KestroRecorder/registry.json (read-only)
    static RegistryFiles standard();
    // standard(), with the user's file of that instance.
    static RegistryFiles of(const Instance& instance);
};

class cRegistry {
public:
    explicit cRegistry(RegistryFiles files = RegistryFiles::standard());

    // A value is named by its root, key path and name, given with every call.
    // Whether it is stored (or set for this run) in a shape its type allows.
    bool exists(uint32_t root, const QString& section, const QString& name) const;
    // The stored value converted by its stored type (in *type), or def when there is none.
    QVariant read(uint32_t root, const QString& section, const QString& name, const QVariant& def = QVariant(),
                  int32_t* type = nullptr) const;
    // Writes v as type; throws RaisedError 26001 on failure.
    void write(uint32_t root, const QString& section, const QString& name, int32_t type, const QVariant& v);
    bool isRunValue(uint32_t root, const QString& section, const QString& name) const;

    // The original design's procedures: the value described by the five
    // fields, set before each call.
    uint32_t ClassKey = 0;
    QString SectionKey;
    QString ValueKey;
    int32_t ValueType = 0;
    QVariant Default;

    bool ValueExists() const { return exists(ClassKey, SectionKey, ValueKey); }
    // Read: sets ValueType when the value is stored.
    QVariant Value() { return read(ClassKey, SectionKey, ValueKey, Default, &ValueType); }
    void setValue(const QVariant& v) { write(ClassKey, SectionKey, ValueKey, ValueType, v); }

    // A value for this run only (a command-line option): reads of it see this
    // value instead of the stored one, and the store file is never changed by it.
    void setRunValue(uint32_t root, const QString& section, const QString& name, const QVariant& value, int32_t type);
    // The described value (ClassKey, SectionKey, ValueKey) is one of those.
    bool isRunValue() const { return isRunValue(ClassKey, SectionKey, ValueKey); }
    // Why the current user's store file cannot be used (not a store document, not
    // a regular file, unreadable); empty when it can, or when there is none yet.
    QString storeProblem() const;

    // A text as a read gives it back once written: with its %NAME% references expanded.
    static QString textAsRead(const QString& text);

    const RegistryFiles& files() const { return files_; }
    // Receives one line per unusable store file (per state of the file).
    void setErrorLog(ErrorLogFn log) { errorLog_ = std::move(log); }

private:
    struct FileStamp {
        bool exists = false;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 mtimeNs = 0;
        bool operator==(const FileStamp& o) const {
            return exists == o.exists && inode == o.inode && size == o.size && mtimeNs == o.mtimeNs;
        }
    };
    enum class FileState { Missing, Ok, Corrupt, Unreadable };
    struct Cached {
        QString path;
        FileStamp stamp;
        FileState state = FileState::Missing;
        bool settled = false;  // modified long enough before the parse to trust the stamp
        QJsonObject doc;
        QString problem;  // for Corrupt and Unreadable: what is wrong, in words
    };
    struct RunValue {
        uint32_t root;
        QString section;  // normalised
        QString name;
        QJsonObject entry;
    };

    QString rootPath(uint32_t root) const;
    const Cached& load(int slot, const QString& path) const;
    const RunValue* findRunValue(uint32_t root, const QString& section, const QString& name) const;
    // The entry of the value, shape checked.
    bool findEntry(uint32_t root, const QString& section, const QString& name, QJsonObject* entry) const;
    [[noreturn]] static void raiseWriteFailure(uint32_t root, const QString& section, const QString& name,
                                               const QVariant& v);

    RegistryFiles files_;
    ErrorLogFn errorLog_;
    mutable Cached cache_[2];  // current user, local machine
    QList<RunValue> runValues_;
};

}  // namespace kestro
