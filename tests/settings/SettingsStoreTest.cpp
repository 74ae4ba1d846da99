// The settings store, loading the recorder's settings from it, the table of
// stored values they are read by, and the README's tables against that table.

#include "core/Types.h"
#include "settings/RecorderSettings.h"
#include "settings/SettingsSchema.h"
#include "settings/cRegistry.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <atomic>
#include <csignal>
#include <functional>
#include <map>
#include <thread>
#include <vector>

using namespace kestro;

namespace {

constexpr const char* kSection = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\Device1";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.currentUser = dir.filePath("user/KestroRecorder/registry.json");
        files.localMachine = dir.filePath("machine/registry.json");
    }

    cRegistry make() {
        cRegistry r(files);
        r.setErrorLog([this](const std::string& label, int32_t n) { logged.push_back(label + std::to_string(n)); });
        r.ClassKey = HKEY_CURRENT_USER_;
        r.SectionKey = kSection;
        return r;
    }

    static void write(cRegistry& r, const QString& name, int32_t type, const QVariant& v) {
        r.ValueKey = name;
        r.ValueType = type;
        r.setValue(v);
    }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    // What writing the text raises: its number and description, or 0 and nothing.
    static std::pair<int32_t, QString> raisedBy(cRegistry& r, const QString& name, const QString& text) {
        try {
            write(r, name, REG_SZ_, text);
        } catch (const RaisedError& e) {
            return {e.number, e.description};
        }
        return {0, QString()};
    }

    QJsonObject document() const { return QJsonDocument::fromJson(fileBytes(files.currentUser)).object(); }
    QJsonObject stored(const QString& name) const {
        return document().value(kSection).toObject().value(name).toObject();
    }

    QTemporaryDir dir;
    RegistryFiles files;
    std::vector<std::string> logged;
};

TEST_F(RegistryTest, ValuesStoreTheirTypeAndReadBack) {
    const QString home = qEnvironmentVariable("HOME");
    ASSERT_FALSE(home.isEmpty());
    const struct {
        int32_t valueType;
        QVariant written;
        int32_t storedType;  // 0: refused, nothing stored
        QVariant readBack;   // invalid: same as written
    } cases[] = {
        {REG_SZ_, QString("C:\\Data"), REG_SZ_, {}},
        {REG_EXPAND_SZ_, QString("plain"), REG_SZ_, {}},  // the type follows the references
        {REG_SZ_, QString("%HOME%/a/%HOME%"), REG_EXPAND_SZ_, home + "/a/" + home},
        {REG_SZ_, QString("%KESTRO_SURELY_UNSET%%HOME%"), REG_EXPAND_SZ_, "%KESTRO_SURELY_UNSET%" + home},
        {REG_SZ_, QString("50% of 80%"), REG_EXPAND_SZ_, {}},
        {REG_SZ_, QString("%%"), REG_SZ_, {}},
        {REG_DWORD_, 3, REG_DWORD_, {}},
        {REG_DWORD_, QVariant(0xFFFFFFFFu), REG_DWORD_, -1},
        {REG_DWORD_BIG_ENDIAN_, 0x01020304, REG_DWORD_, {}},
        {REG_BINARY_, QByteArray("\x00\x01\xfe\xff", 4), REG_BINARY_, {}},
        {REG_DWORD_, QVariant(qlonglong(1) << 40), 0, {}},
        {REG_DWORD_, QString("3"), 0, {}},
        {REG_DWORD_, 3.0, 0, {}},
    };
    cRegistry r = make();
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written.toString().toStdString());
        const QString name = QString("V%1").arg(i++);
        ASSERT_NO_THROW(write(r, name, c.valueType, c.written));
        ASSERT_EQ(r.ValueExists(), c.storedType != 0);
        if (!c.storedType) continue;
        EXPECT_EQ(stored(name).value("type").toInt(), c.storedType);
        r.ValueType = 0;
        EXPECT_EQ(r.Value(), c.readBack.isValid() ? c.readBack : c.written);
        EXPECT_EQ(r.ValueType, c.storedType);
    }
    EXPECT_EQ(stored("V2").value("value").toString(), "%HOME%/a/%HOME%");  // stored unexpanded
}

TEST_F(RegistryTest, MissingValuesReadTheDefaultWritesCreateKeysAndNamesIgnoreCase) {
    cRegistry r = make();
    r.ValueKey = "COMPort";
    EXPECT_FALSE(r.Value().isValid());
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(files.currentUser).absolutePath()));
    write(r, "Present", REG_SZ_, QString("x"));
    for (const auto& [section, name] : {std::pair{kSection, "Absent"}, std::pair{"SOFTWARE\\Nowhere", "Present"}}) {
        SCOPED_TRACE(name);
        r.SectionKey = section;
        r.ValueKey = name;
        r.ValueType = 77;
        r.Default = QString("fallback");
        EXPECT_FALSE(r.ValueExists());
        EXPECT_EQ(r.Value(), QVariant(QString("fallback")));
        EXPECT_EQ(r.ValueType, 77);  // untouched by a failed read
    }
    r.SectionKey = "Alpha\\Beta";  // a write creates the key's levels
    write(r, "ComPort", REG_DWORD_, 2);
    r.SectionKey = "ALPHA\\beta";
    r.ValueKey = "comport";
    EXPECT_EQ(r.Value(), QVariant(2));
    write(r, "COMPORT", REG_DWORD_, 4);
    const QJsonObject doc = document();
    EXPECT_TRUE(doc.value("Alpha").isObject());
    EXPECT_FALSE(doc.contains("ALPHA\\beta"));
    const QJsonObject key = doc.value("Alpha\\Beta").toObject();  // the first spelling is kept
    EXPECT_EQ(key.size(), 1);
    EXPECT_EQ(key.value("ComPort").toObject().value("value").toInt(), 4);
    // Nothing left behind but the store and the writers' lock file.
    EXPECT_EQ(QFileInfo(files.currentUser).dir().entryList(QDir::Files | QDir::Hidden),
              (QStringList{"registry.json", "registry.json.lock"}));
}

// Hand edits spell key paths in ways the program never writes.
TEST_F(RegistryTest, HandEditedKeyPathsAreFoundAndWrittenInPlace) {
    for (const char* spelling : {"SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\Device1\\",
                                 "\\SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\Device1",
                                 "SOFTWARE\\\\ORVIA Messtechnik GmbH\\R270_Kestro\\\\Device1",
                                 "software\\orvia messtechnik gmbh\\r270_kestro\\device1\\"}) {
        SCOPED_TRACE(spelling);
        const QJsonObject port{{"COMPort", QJsonObject{{"type", 4}, {"value", 3}}}};
        writeFile(files.currentUser, QJsonDocument(QJsonObject{{spelling, port}}).toJson());
        cRegistry r = make();
        r.ValueKey = "COMPort";
        ASSERT_TRUE(r.ValueExists());
        EXPECT_EQ(r.Value(), QVariant(3));
        write(r, "COMPort", REG_DWORD_, 2);
        write(r, "COM1Device", REG_SZ_, QString("/dev/serial/by-id/meter"));
        // Both land in the hand-written key: no second spelling beside it.
        const QJsonObject key = document().value(spelling).toObject();
        EXPECT_EQ(key.value("COMPort").toObject().value("value").toInt(), 2);
        EXPECT_EQ(key.value("COM1Device").toObject().value("value").toString(), "/dev/serial/by-id/meter");
        EXPECT_FALSE(document().contains(kSection));
        r.ValueKey = "COMPort";
        EXPECT_EQ(r.Value(), QVariant(2));
        EXPECT_TRUE(logged.empty());
    }
}

// Two programs (or a script beside the program) saving at the same time: every
// read-modify-write must see the other's values.
TEST_F(RegistryTest, ConcurrentWritersLoseNoValue) {
    constexpr int kWriters = 4;
    constexpr int kValues = 25;
    std::vector<std::thread> writers;
    std::atomic<int> failures{0};
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            cRegistry r(files);  // each writer its own instance, as in its own process
            r.ClassKey = HKEY_CURRENT_USER_;
            r.SectionKey = kSection;
            for (int i = 0; i < kValues; ++i) {
                try {
                    write(r, QString("W%1V%2").arg(w).arg(i), REG_DWORD_, w * 1000 + i);
                } catch (const RaisedError&) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& t : writers)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    const QJsonObject key = document().value(kSection).toObject();
    int missing = 0;
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kValues; ++i)
            missing += key.value(QString("W%1V%2").arg(w).arg(i)).toObject().value("value").toInt(-1) != w * 1000 + i;
    EXPECT_EQ(missing, 0);
}

TEST_F(RegistryTest, AStoreThatCannotBeUsedIsNamedAsTheReason) {
    const QByteArray valid = R"({"SOFTWARE": {}, "A": {"V": {"type": 4, "value": 1}}})";
    const struct {
        const char* what;
        std::function<void(const QString&)> make;
        const char* problem;  // empty: none
    } rows[] = {
        {"no file yet", [](const QString&) {}, ""},
        {"a good file", [&](const QString& p) { writeFile(p, valid); }, ""},
        {"garbage", [](const QString& p) { writeFile(p, "registry"); }, "not a settings document ("},
        {"truncated", [&](const QString& p) { writeFile(p, valid.left(valid.size() / 2)); },
         "not a settings document ("},
        {"empty", [](const QString& p) { writeFile(p, ""); }, "not a settings document ("},
        {"a list", [](const QString& p) { writeFile(p, "[1, 2]"); }, "not a settings document (no JSON object)"},
        {"a directory", [](const QString& p) { QDir().mkpath(p); }, "it is a directory"},
        {"a pipe",
         [](const QString& p) {
             QDir().mkpath(QFileInfo(p).absolutePath());
             ::mkfifo(QFile::encodeName(p).constData(), 0600);
         },
         "not a regular file"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        QDir(QFileInfo(files.currentUser).absolutePath()).removeRecursively();
        r.make(files.currentUser);
        cRegistry reg = make();
        reg.ValueKey = "COMPort";
        EXPECT_FALSE(reg.ValueExists());  // and a pipe did not block the read
        if (*r.problem)
            EXPECT_TRUE(reg.storeProblem().startsWith(r.problem)) << reg.storeProblem().toStdString();
        else
            EXPECT_EQ(reg.storeProblem(), "");
    }
}

TEST_F(RegistryTest, RunValuesShadowTheStoreWithoutChangingIt) {
    cRegistry r = make();
    write(r, "COMPort", REG_DWORD_, 3);
    const QByteArray before = fileBytes(files.currentUser);
    r.setRunValue(HKEY_CURRENT_USER_, QString(kSection) + "\\", "comport", 1, REG_DWORD_);
    r.setRunValue(HKEY_CURRENT_USER_, kSection, "COM1Device", QString("/tmp/%HOME%/meter"), REG_SZ_);
    r.setRunValue(HKEY_CURRENT_USER_, kSection, "COMPORT", 2, REG_DWORD_);  // the last one counts
    const struct {
        const char* name;
        QVariant value;
        int32_t type;
    } rows[] = {{"COMPort", 2, REG_DWORD_}, {"com1device", QString("/tmp/%HOME%/meter"), REG_SZ_}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        r.ValueKey = row.name;
        EXPECT_TRUE(r.isRunValue());
        EXPECT_TRUE(r.ValueExists());
        EXPECT_EQ(r.Value(), row.value);  // taken literally, no references expanded
        EXPECT_EQ(r.ValueType, row.type);
    }
    r.ValueKey = "COMPort";
    r.ClassKey = HKEY_LOCAL_MACHINE_;
    EXPECT_FALSE(r.isRunValue());  // another root
    r.ClassKey = HKEY_CURRENT_USER_;
    EXPECT_EQ(fileBytes(files.currentUser), before);
    write(r, "RecordNameBase", REG_SZ_, QString("Noise"));  // other values are written as always
    cRegistry plain = make();                               // an instance without run values sees the store
    plain.ValueKey = "COMPort";
    EXPECT_EQ(plain.Value(), QVariant(3));
    EXPECT_FALSE(plain.isRunValue());
    plain.ValueKey = "COM1Device";
    EXPECT_FALSE(plain.ValueExists());
}

// A write that fails raises and keeps the old file: one to the read-only
// machine root, and one cut short (a size limit binds every user, root included).
TEST_F(RegistryTest, FailedWritesRaiseAndKeepTheOldFile) {
    const QByteArray machine = R"({"SOFTWARE\\Vendor": {"Version": {"type": 1, "value": "4.2"}}})";
    writeFile(files.localMachine, machine);
    cRegistry r = make();
    r.ClassKey = HKEY_LOCAL_MACHINE_;
    r.SectionKey = "software\\vendor";
    r.ValueKey = "VERSION";
    EXPECT_EQ(r.Value(), QVariant(QString("4.2")));
    EXPECT_EQ(raisedBy(r, "VERSION", "5"),
              std::pair(26001, QString("Failed to set registry value Key: '2147483650',Section: 'software\\vendor',"
                                       "Key: 'VERSION' to value: '5'")));
    EXPECT_EQ(fileBytes(files.localMachine), machine);
    EXPECT_FALSE(QFileInfo::exists(files.currentUser));

    r = make();
    write(r, "COMPort", REG_DWORD_, 1);
    const QByteArray before = fileBytes(files.currentUser);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(before.size());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString longText(4096, QChar('x'));
    const auto error = raisedBy(r, "RecordDirectory", longText);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, std::pair(26001, QString("Failed to set registry value Key: '2147483649',Section: '") + kSection +
                                          "',Key: 'RecordDirectory' to value: '" + longText + "'"));
    EXPECT_EQ(fileBytes(files.currentUser), before);
}

TEST_F(RegistryTest, CorruptFileReadsMissingIsLoggedOnceAndKeptAside) {
    const QByteArray garbage = "{\"SOFTWARE\": {broken";
    writeFile(files.currentUser, garbage);
    cRegistry r = make();
    for (const char* name : {"COMPort", "RecordDirectory"}) {
        r.ValueKey = name;
        EXPECT_FALSE(r.Value().isValid());
    }
    EXPECT_EQ(logged, std::vector<std::string>{": cRegistry.Error: 26002"});
    EXPECT_EQ(fileBytes(files.currentUser), garbage);  // reading never touches it
    write(r, "COMPort", REG_DWORD_, 2);
    EXPECT_EQ(fileBytes(files.currentUser + ".corrupt"), garbage);
    EXPECT_EQ(stored("COMPort").value("value").toInt(), 2);
    EXPECT_EQ(logged.size(), 1u);
}

// Every field as text, so that two settings compare (and print) in one step.
std::string fields(const RecorderSettings& s) {
    QStringList f{s.RecordDirectory, s.RecordNameBase, s.RecordFileExtension};
    for (int n : {int(s.IncludeHeaderLine), int(s.IncludeSystemTime), int(s.IncludeOverflow), int(s.IncludeUnderflow),
                  int(s.DecimalSeparator.unicode()), int(s.TabularSeparator.unicode()), s.StatisticsInterval,
                  s.LimitLevel, s.DayStartHour, s.EveningStartHour, s.NightStartHour})
        f << QString::number(n);
    return f.join('|').toStdString();
}

class RecorderSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.currentUser = dir.filePath("registry.json");
        files.localMachine = dir.filePath("machine.json");
    }

    // Stored as a text or as a number, as the value is.
    void put(const char* name, const QVariant& v) {
        cRegistry w(files);
        w.ClassKey = HKEY_CURRENT_USER_;
        w.SectionKey = kRecorderSection;
        w.ValueKey = name;
        w.ValueType = v.typeId() == QMetaType::QString ? REG_SZ_ : REG_DWORD_;
        w.setValue(v);
    }

    // The nine of the setup dialog, none of them a default.
    void putAll() {
        for (const auto& [name, v] : {std::pair<const char*, QVariant>{"RecordDirectory", QString("/data/noise")},
                                      {"RecordNameBase", QString("")},
                                      {"RecordFileExtension", QString(".txt")},
                                      {"IncludeHeaderLine", 1},
                                      {"IncludeSystemTime", 0},
                                      {"IncludeOverflow", 1},
                                      {"IncludeUnderflow", 1},
                                      {"DecimalSeparator", 46},
                                      {"TabularSeparator", 9}})
            put(name, v);
    }
    RecorderSettings all() const {
        RecorderSettings s;
        s.RecordDirectory = "/data/noise", s.RecordNameBase = "", s.RecordFileExtension = ".txt";
        s.IncludeHeaderLine = s.IncludeOverflow = s.IncludeUnderflow = true, s.IncludeSystemTime = false;
        s.DecimalSeparator = '.', s.TabularSeparator = '\t';
        return s;
    }

    int16_t load(RecorderSettings& s, const ErrorLogFn& log = {}) {
        cRegistry reg(files);
        return s.InitForm(reg, "/opt/kestro", log);
    }

    QTemporaryDir dir;
    RegistryFiles files;
};

// An empty store gives the defaults (and the setup dialog) and writes
// nothing; once the missing defaults are written it loads the same without
// a dialog, every value with its row's stored type, and keeps what was stored.
TEST_F(RecorderSettingsTest, DefaultsWhenEmptyAndOnceWritten) {
    RecorderSettings s, want;
    s.RecordNameBase = "stale";  // a reload must not keep the previous value
    s.IncludeSystemTime = false;
    want.RecordDirectory = "/opt/kestro";
    EXPECT_EQ(load(s), 1);
    EXPECT_EQ(fields(s), fields(want));
    EXPECT_FALSE(QFileInfo::exists(files.currentUser));

    cRegistry reg(files);
    writeSetting(reg, setting(SettingId::TabularSeparator), 9);
    writeMissingRecorderDefaults(reg, "/srv/noise");
    want.RecordDirectory = "/srv/noise";
    want.TabularSeparator = '\t';
    EXPECT_EQ(load(s), kTrue) << "a filled store opens no setup dialog";
    EXPECT_EQ(fields(s), fields(want));
    for (const SettingDef& def : settingsSchema()) {
        if (QLatin1String(def.section) != QLatin1String(kRecorderSection)) continue;
        reg.ClassKey = HKEY_CURRENT_USER_;
        reg.SectionKey = kRecorderSection;
        reg.ValueKey = def.name;
        reg.Value();
        EXPECT_EQ(reg.ValueType, def.storedType) << def.name;
    }
}

// Stored values as another tool may write them: separators as character
// codes, flags as any number, numbers as texts; unusable ones give the
// default, the nine of the setup dialog with the dialog, the others without.
// A name part that would put record files outside the record directory is
// replaced as well, and the log says which.
TEST_F(RecorderSettingsTest, StoredValuesAndWhatIsUsedInstead) {
    using S = RecorderSettings;
    const struct {
        const char* name;
        QVariant stored;
        void (*expect)(RecorderSettings&);  // the change against all()
        int16_t result;
        bool logged = false;
    } cases[] = {
        {"TabularSeparator", 32, [](S& s) { s.TabularSeparator = ' '; }, kTrue},
        {"TabularSeparator", 0xA7, [](S& s) { s.TabularSeparator = QChar(0xA7); }, kTrue},
        {"TabularSeparator", 0, [](S& s) { s.TabularSeparator = ';'; }, 1},
        {"TabularSeparator", 256, [](S& s) { s.TabularSeparator = ';'; }, 1},
        // Alike, the two would make record lines unreadable: the default pair, and the log says so.
        {"TabularSeparator", '.', [](S& s) { s.DecimalSeparator = ',', s.TabularSeparator = ';'; }, 1, true},
        {"IncludeSystemTime", -1, [](S& s) { s.IncludeSystemTime = true; }, kTrue},
        {"StatisticsInterval", QString("300"), [](S& s) { s.StatisticsInterval = 300; }, kTrue},
        {"StatisticsInterval", 120, [](S&) {}, kTrue},
        {"LimitLevel", 655, [](S& s) { s.LimitLevel = 655; }, kTrue},
        {"LimitLevel", -5, [](S&) {}, kTrue},
        {"NightStartHour", 22, [](S& s) { s.NightStartHour = 22; }, kTrue},
        {"NightStartHour", 24, [](S&) {}, kTrue},
        {"LimitLevel", 2000, [](S& s) { s.LimitLevel = 2000; }, kTrue},
        {"IncludeHeaderLine", QString("yes"), [](S& s) { s.IncludeHeaderLine = false; }, 1},
        // A directory is the user's choice, wherever it leads.
        {"RecordDirectory", QString("/srv/noise/../x"), [](S& s) { s.RecordDirectory = "/srv/noise/../x"; }, kTrue},
        {"RecordNameBase", QString("../../etc/cron.d/x"), [](S& s) { s.RecordNameBase = "NoiseData"; }, 1, true},
        {"RecordNameBase", QString("Noise\x01"), [](S& s) { s.RecordNameBase = "NoiseData"; }, 1, true},
        {"RecordNameBase", QString("Noise..Data"), [](S& s) { s.RecordNameBase = "NoiseData"; }, 1, true},
        {"RecordNameBase", QString("Noise Data-1"), [](S& s) { s.RecordNameBase = "Noise Data-1"; }, kTrue},
        {"RecordFileExtension", QString("/../x"), [](S& s) { s.RecordFileExtension = ".dat"; }, 1, true},
        {"RecordFileExtension", QString(".dat.txt"), [](S& s) { s.RecordFileExtension = ".dat.txt"; }, kTrue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.stored.toString().toStdString());
        QFile::remove(files.currentUser);
        putAll();
        put(c.name, c.stored);
        RecorderSettings s, want = all();
        s.StatisticsInterval = 1800;  // a reload replaces what was loaded before
        s.LimitLevel = 1;
        c.expect(want);
        std::vector<std::string> logged;
        const QByteArray stored = fileBytes(files.currentUser);
        EXPECT_EQ(load(s, [&](const std::string& l, int32_t) { logged.push_back(l); }), c.result);
        EXPECT_EQ(fields(s), fields(want));
        EXPECT_EQ(fileBytes(files.currentUser), stored) << "loading replaces in memory only";
        EXPECT_EQ(logged, c.logged ? std::vector<std::string>{std::string(": RecorderSettings.") + c.name + ": "}
                                   : std::vector<std::string>{});
    }
}

// The fields start at their rows' defaults; what the setup dialog stands for
// is stored with its row and loads back as it went in, the rest is not its to store.
TEST_F(RecorderSettingsTest, FieldsFollowTheirRowsThroughTheStore) {
    const RecorderSettings defaults;
    Settings edited;
    for (const SettingDef& def : settingsSchema()) {
        if (def.id >= SettingId::COMPort) continue;
        const QVariant d = settingValue(defaults, def.id);
        if (def.id != SettingId::RecordDirectory) EXPECT_EQ(d, settingDefault(def)) << def.name;
        QVariant other = QString("v-") + def.name;  // a usable value that is no default
        if (def.kind == SettingKind::Flag) other = d.toInt() ? 0 : 1;
        if (def.kind == SettingKind::Separator) other = 33 + int(def.id);
        if (def.kind == SettingKind::Range) other = def.max;
        if (def.kind == SettingKind::Choice) other = def.choices.back();
        setSettingValue(edited.recorder, def.id, other);
        EXPECT_EQ(settingValue(edited.recorder, def.id), other) << def.name;
    }
    edited.recorder.MeasurementNotes = "%HOME%/%KESTRO_SURELY_UNSET%";  // given back expanded
    cRegistry reg(files);
    ASSERT_TRUE(storeSettings(reg, edited, nullptr));
    const RecorderSettings loaded = loadSettings(reg, "/opt").recorder;
    const RecorderSettings asRead = settingsAsRead(reg, edited.recorder);
    EXPECT_EQ(asRead.MeasurementNotes, qEnvironmentVariable("HOME") + "/%KESTRO_SURELY_UNSET%");
    for (const SettingDef& def : settingsSchema())
        if (def.id < SettingId::COMPort)
            EXPECT_EQ(settingValue(loaded, def.id), settingValue(def.has(kInSetup) ? asRead : defaults, def.id))
                << def.name;
}

// The rows of the README table that follows the line naming the section.
std::map<QString, QStringList> readmeTable(const QString& readme, const char* section) {
    std::map<QString, QStringList> rows;
    const QString heading = QStringLiteral("Key `%1`").arg(QString::fromLatin1(section));
    const int start = readme.indexOf(heading);
    if (start < 0) return rows;
    bool inTable = false;
    for (const QString& line : readme.mid(start).split(QLatin1Char('\n')).mid(1)) {
        if (!line.startsWith(QLatin1Char('|'))) {
            if (inTable) break;
            continue;
        }
        inTable = true;
        QStringList cells = line.split(QLatin1Char('|'));
        cells = cells.mid(1, cells.size() - 2);
        for (QString& c : cells)
            c = c.trimmed();
        if (cells.isEmpty() || !cells[0].startsWith(QLatin1Char('`'))) continue;  // heading and rule
        rows[cells[0]] = cells;
    }
    return rows;
}

QString readmeName(const SettingDef& def) {
    if (def.id == SettingId::COMnDevice)
        return QStringLiteral("`%1`..`%2`").arg(settingName(def, def.min), settingName(def, def.max));
    return QStringLiteral("`%1`").arg(settingName(def));
}

// How the README writes a default: a text in backquotes, a separator as its
// code and character, a number as it is.
QString readmeDefault(const SettingDef& def) {
    switch (def.kind) {
        case SettingKind::Separator:
            return QStringLiteral("%1 (`%2`)").arg(def.defaultNumber).arg(QChar(def.defaultNumber));
        case SettingKind::Port:
        case SettingKind::DevicePath:
            return QStringLiteral("none");
        case SettingKind::Text:
        case SettingKind::FileNamePart:
            if (def.defaultText && !*def.defaultText) return QStringLiteral("empty");
            return def.defaultText ? QStringLiteral("`%1`").arg(QString::fromUtf8(def.defaultText)) : QString();
        default:
            return QString::number(def.defaultNumber);
    }
}

TEST(SettingsSchema, ReadmeTablesOfTheSettingsFileFollowTheSchema) {
    QFile file(QStringLiteral(KESTRO_README));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << KESTRO_README;
    const QString readme = QString::fromUtf8(file.readAll());
    for (const char* section : {kRecorderSection, kDeviceSection}) {
        SCOPED_TRACE(section);
        std::map<QString, QStringList> table = readmeTable(readme, section);
        for (const SettingDef& def : settingsSchema()) {
            if (QLatin1String(def.section) != QLatin1String(section)) continue;
            const QString name = readmeName(def);
            SCOPED_TRACE(name.toStdString());
            auto it = table.find(name);
            ASSERT_NE(it, table.end()) << "no README row";
            const QStringList& cells = it->second;
            ASSERT_GE(cells.size(), 4);
            EXPECT_TRUE(cells[1].startsWith(QString::number(def.storedType))) << cells[1].toStdString();
            const QString expected = readmeDefault(def);
            if (!expected.isEmpty()) {
                EXPECT_EQ(cells[2], expected);
            }
            table.erase(it);
        }
        for (const auto& [name, cells] : table)
            ADD_FAILURE() << "README row without a schema row: " << name.toStdString();
    }
}

TEST(SettingsSchema, ReadSettingTellsAbsentUnusableAndUsableApart) {
    QTemporaryDir dir;
    const RegistryFiles files{dir.filePath("registry.json"), dir.filePath("machine.json")};
    cRegistry reg(files);
    QVariant v;
    QString why;
    EXPECT_EQ(readSetting(reg, setting(SettingId::RecordNameBase), &v), SettingRead::Absent);
    writeSetting(reg, setting(SettingId::RecordNameBase), QString("../up"));
    EXPECT_EQ(readSetting(reg, setting(SettingId::RecordNameBase), &v, &why), SettingRead::Unusable);
    EXPECT_EQ(v.toString(), "../up") << "the stored text is kept for the caller";
    EXPECT_FALSE(why.isEmpty());
    writeSetting(reg, setting(SettingId::COMnDevice), QString("/dev/ttyUSB3"), 2);
    EXPECT_EQ(readSetting(reg, setting(SettingId::COMnDevice), &v, nullptr, 2), SettingRead::Ok);
    EXPECT_EQ(v.toString(), "/dev/ttyUSB3");
    EXPECT_EQ(readSetting(reg, setting(SettingId::COMnDevice), &v, nullptr, 1), SettingRead::Absent);

    // A value set for this run is read, never written over.
    reg.setRunValue(HKEY_CURRENT_USER_, kDeviceSection, "COMPort", 3, REG_DWORD_);
    writeSetting(reg, setting(SettingId::COMPort), 2);
    EXPECT_EQ(readSetting(reg, setting(SettingId::COMPort), &v), SettingRead::Ok);
    EXPECT_EQ(v.toLongLong(), 3);
    cRegistry fresh(files);
    EXPECT_EQ(readSetting(fresh, setting(SettingId::COMPort), &v), SettingRead::Absent);
}

}  // namespace
