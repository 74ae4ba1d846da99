#include "settings/cRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kestro;

namespace {

constexpr const char* kSection = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\Device1";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        files.currentUser = dir.filePath("user/KestroRecorder/registry.json");
        files.localMachine = dir.filePath("machine/registry.json");
    }

    cRegistry Make() {
        cRegistry r(files);
        r.SetErrorLog([this](const std::string& label, int32_t n) { logged.push_back(label + std::to_string(n)); });
        r.ClassKey = HKEY_CURRENT_USER_;
        r.SectionKey = kSection;
        return r;
    }

    static void Write(cRegistry& r, const QString& name, int32_t type, const QVariant& v) {
        r.ValueKey = name;
        r.ValueType = type;
        r.SetValue(v);
    }

    static QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void WriteFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QJsonObject Document() const {
        QJsonParseError err{};
        const QJsonDocument doc = QJsonDocument::fromJson(ReadFile(files.currentUser), &err);
        EXPECT_EQ(err.error, QJsonParseError::NoError);
        return doc.object();
    }

    // The stored entry {"type", "value"} of a value in kSection.
    QJsonObject Stored(const QString& name) const {
        return Document().value(kSection).toObject().value(name).toObject();
    }

    QString ExpectedSource() const {
        return QFileInfo(QCoreApplication::applicationFilePath()).fileName() + ".cRegistry";
    }

    QTemporaryDir dir;
    RegistryFiles files;
    std::vector<std::string> logged;
};

struct TextCase {
    const char* written;
    int32_t valueType;
    int32_t storedType;
    QString readBack;  // empty: same as written
};

TEST_F(RegistryTest, TextValuesStoreTypeByReferencesAndExpandOnRead) {
    const QString home = qEnvironmentVariable("HOME");
    ASSERT_FALSE(home.isEmpty());
    ASSERT_FALSE(qEnvironmentVariableIsSet("KESTRO_SURELY_UNSET"));
    const TextCase cases[] = {
        {"C:\\Data", REG_SZ_, REG_SZ_, {}},
        {"", REG_SZ_, REG_SZ_, {}},
        {"plain", REG_EXPAND_SZ_, REG_SZ_, {}},
        {"%HOME%/records", REG_SZ_, REG_EXPAND_SZ_, home + "/records"},
        {"%HOME%/a/%HOME%", REG_SZ_, REG_EXPAND_SZ_, home + "/a/" + home},
        {"%KESTRO_SURELY_UNSET%/x", REG_SZ_, REG_EXPAND_SZ_, {}},
        {"%KESTRO_SURELY_UNSET%%HOME%", REG_SZ_, REG_EXPAND_SZ_, "%KESTRO_SURELY_UNSET%" + home},
        {"50% of 80%", REG_SZ_, REG_EXPAND_SZ_, {}},  // two "%" far enough apart
        {"%%", REG_SZ_, REG_SZ_, {}},                 // second "%" directly after the first
        {"%a%", REG_SZ_, REG_EXPAND_SZ_, {}},
        {"100%", REG_SZ_, REG_SZ_, {}},
    };
    cRegistry r = Make();
    int i = 0;
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.written);
        const QString name = QString("Text%1").arg(i++);
        Write(r, name, c.valueType, QString(c.written));
        EXPECT_EQ(Stored(name).value("type").toInt(), c.storedType);
        EXPECT_EQ(Stored(name).value("value").toString(), QString(c.written));  // stored unexpanded
        r.ValueType = 0;
        EXPECT_TRUE(r.ValueExists());
        const QVariant v = r.Value();
        EXPECT_EQ(r.ValueType, c.storedType);
        EXPECT_EQ(v.toString(), c.readBack.isNull() ? QString(c.written) : c.readBack);
    }
}

struct NumberCase {
    const char* label;
    int32_t valueType;
    QVariant written;
    bool stored;
    int32_t readBack;
};

TEST_F(RegistryTest, NumberValuesAcceptOnlyIntegersOfStoreWidth) {
    const NumberCase cases[] = {
        {"port 3", REG_DWORD_, QVariant(3), true, 3},
        {"negative", REG_DWORD_, QVariant(-1), true, -1},
        {"short", REG_DWORD_, QVariant::fromValue<short>(-7), true, -7},
        {"uint max", REG_DWORD_, QVariant(0xFFFFFFFFu), true, -1},
        {"qlonglong in range", REG_DWORD_, QVariant(qlonglong(123456)), true, 123456},
        {"type 5 stores low byte first", REG_DWORD_BIG_ENDIAN_, QVariant(0x01020304), true, 0x01020304},
        {"qlonglong too wide", REG_DWORD_, QVariant(qlonglong(1) << 40), false, 0},
        {"text", REG_DWORD_, QVariant(QString("3")), false, 0},
        {"double", REG_DWORD_, QVariant(3.0), false, 0},
        {"bool", REG_DWORD_, QVariant(true), false, 0},
        {"empty", REG_DWORD_, QVariant(), false, 0},
    };
    cRegistry r = Make();
    int i = 0;
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.label);
        const QString name = QString("Number%1").arg(i++);
        ASSERT_NO_THROW(Write(r, name, c.valueType, c.written));
        EXPECT_EQ(r.ValueExists(), c.stored);
        if (!c.stored)
            continue;
        EXPECT_EQ(Stored(name).value("type").toInt(), REG_DWORD_);
        EXPECT_EQ(Stored(name).value("value").toInteger(), c.readBack);  // the 32-bit pattern, signed
        r.ValueType = 0;
        const QVariant v = r.Value();
        EXPECT_EQ(r.ValueType, REG_DWORD_);
        EXPECT_EQ(v.typeId(), QMetaType::Int);
        EXPECT_EQ(v.toInt(), c.readBack);
    }
}

TEST_F(RegistryTest, BytesRoundTripAndOtherTypesRaise) {
    cRegistry r = Make();
    const QByteArray bytes("\x00\x01\xfe\xff", 4);
    Write(r, "Blob", REG_BINARY_, bytes);
    EXPECT_EQ(Stored("Blob").value("type").toInt(), REG_BINARY_);
    EXPECT_EQ(r.Value().toByteArray(), bytes);

    const std::pair<int32_t, QVariant> failing[] = {
        {REG_BINARY_, QVariant(QString("not bytes"))},
        {REG_MULTI_SZ_, QVariant(QString("x"))},
        {0, QVariant(1)},
        {11, QVariant(1)},
    };
    for (const auto& [type, v] : failing) {
        SCOPED_TRACE(type);
        r.ValueKey = "Failing";
        r.ValueType = type;
        try {
            r.SetValue(v);
            ADD_FAILURE() << "no error raised";
        } catch (const RaisedError& e) {
            EXPECT_EQ(e.number, 26001);
            EXPECT_EQ(e.source, ExpectedSource());
        }
        EXPECT_FALSE(r.ValueExists());
    }
}

TEST_F(RegistryTest, MissingKeyOrValueReadsDefault) {
    cRegistry r = Make();
    Write(r, "Present", REG_SZ_, QString("x"));
    const std::pair<const char*, const char*> missing[] = {
        {kSection, "Absent"},
        {"SOFTWARE\\Nowhere", "Present"},
        {"", ""},
    };
    for (const auto& [section, name] : missing) {
        SCOPED_TRACE(name);
        r.SectionKey = section;
        r.ValueKey = name;
        r.ValueType = 77;
        r.Default = QVariant();
        EXPECT_FALSE(r.ValueExists());
        EXPECT_FALSE(r.Value().isValid());
        EXPECT_EQ(r.ValueType, 77);  // untouched by a failed read
        r.Default = QString("fallback");
        EXPECT_EQ(r.Value(), QVariant(QString("fallback")));
    }
}

TEST_F(RegistryTest, NoFileAtAllReadsDefaultAndCreatesNothing) {
    cRegistry r = Make();
    r.ValueKey = "COMPort";
    EXPECT_FALSE(r.ValueExists());
    EXPECT_FALSE(r.Value().isValid());
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(files.currentUser).absolutePath()));
}

TEST_F(RegistryTest, WriteCreatesEveryMissingKeyLevel) {
    cRegistry r = Make();
    r.SectionKey = "Alpha\\Beta\\Gamma";
    Write(r, "V", REG_SZ_, QString("deep"));
    const QJsonObject doc = Document();
    EXPECT_TRUE(doc.value("Alpha").isObject());
    EXPECT_TRUE(doc.value("Alpha\\Beta").isObject());
    EXPECT_EQ(doc.value("Alpha\\Beta\\Gamma").toObject().value("V").toObject().value("value").toString(), "deep");
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepFirstSpelling) {
    cRegistry r = Make();
    r.SectionKey = "Software\\Kestro";
    Write(r, "ComPort", REG_DWORD_, 2);

    r.SectionKey = "SOFTWARE\\KESTRO";
    r.ValueKey = "comport";
    EXPECT_TRUE(r.ValueExists());
    EXPECT_EQ(r.Value(), QVariant(2));

    Write(r, "COMPORT", REG_DWORD_, 4);
    const QJsonObject doc = Document();
    EXPECT_FALSE(doc.contains("SOFTWARE\\KESTRO"));
    const QJsonObject key = doc.value("Software\\Kestro").toObject();
    EXPECT_EQ(key.size(), 1);
    EXPECT_EQ(key.value("ComPort").toObject().value("value").toInt(), 4);
}

TEST_F(RegistryTest, EveryWriteLeavesValidJsonAndNoTemporaryFiles) {
    cRegistry r = Make();
    for (int i = 0; i < 20; ++i) {
        Write(r, QString("V%1").arg(i % 5), i % 2 ? REG_SZ_ : REG_DWORD_, i % 2 ? QVariant(QString::number(i)) : QVariant(i));
        QJsonParseError err{};
        const QJsonDocument doc = QJsonDocument::fromJson(ReadFile(files.currentUser), &err);
        ASSERT_EQ(err.error, QJsonParseError::NoError) << "after write " << i;
        ASSERT_TRUE(doc.isObject());
    }
    const QStringList entries = QFileInfo(files.currentUser).dir().entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries, QStringList{"registry.json"});
    EXPECT_EQ(Document().value(kSection).toObject().size(), 5);
}

TEST_F(RegistryTest, ReadsSeeChangesMadeByAnotherWriter) {
    cRegistry reader = Make();
    cRegistry writer = Make();
    reader.ValueKey = "COMPort";
    for (int port = 1; port <= 4; ++port) {
        Write(writer, "COMPort", REG_DWORD_, port);
        EXPECT_EQ(reader.Value(), QVariant(port));  // same size each time: the stamp must still change
    }
    // An edit in place by some other program (same inode).
    {
        QFile f(files.currentUser);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const qsizetype at = bytes.indexOf("\"value\": 4");
        ASSERT_GE(at, 0);
        bytes[at + 9] = '2';
        f.seek(0);
        f.write(bytes);
    }
    EXPECT_EQ(reader.Value(), QVariant(2));
}

// File times move in coarse ticks: an edit within the same tick as the last
// parse leaves inode, size and mtime unchanged, and must still be seen.
TEST_F(RegistryTest, EditWithinOneTimestampTickIsSeen) {
    cRegistry writer = Make();
    Write(writer, "COMPort", REG_DWORD_, 3);
    cRegistry reader = Make();
    reader.ValueKey = "COMPort";
    ASSERT_EQ(reader.Value(), QVariant(3));

    const QByteArray native = QFile::encodeName(files.currentUser);
    struct stat before {};
    ASSERT_EQ(::stat(native.constData(), &before), 0);
    QByteArray bytes = ReadFile(files.currentUser);
    const qsizetype at = bytes.indexOf("\"value\": 3");
    ASSERT_GE(at, 0);
    bytes[at + 9] = '4';
    {
        QFile f(files.currentUser);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write(bytes);
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
    EXPECT_EQ(reader.Value(), QVariant(4));
}

// A write cut short (disk full, file size limit) must fail loudly and leave
// the previous file as it was. A size limit binds every user, permissions do not bind root.
TEST_F(RegistryTest, WriteCutShortRaisesAndKeepsOldFile) {
    cRegistry r = Make();
    Write(r, "COMPort", REG_DWORD_, 1);
    const QByteArray before = ReadFile(files.currentUser);

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(before.size());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString longText(4096, QChar('x'));
    int32_t number = 0;
    QString description;
    try {
        Write(r, "RecordDirectory", REG_SZ_, longText);
    } catch (const RaisedError& e) {
        number = e.number;
        description = e.description;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(number, 26001);
    EXPECT_EQ(description, QString("Failed to set registry value Key: '2147483649',Section: '") + kSection +
                               "',Key: 'RecordDirectory' to value: '" + longText + "'");
    EXPECT_EQ(ReadFile(files.currentUser), before);
    r.ValueKey = "COMPort";
    EXPECT_EQ(r.Value(), QVariant(1));
}

TEST_F(RegistryTest, UncreatableDirectoryRaises) {
    files.currentUser = dir.filePath("plainfile/registry.json");
    WriteFile(dir.filePath("plainfile"), "not a directory");
    cRegistry r = Make();
    EXPECT_THROW(Write(r, "COMPort", REG_DWORD_, 1), RaisedError);
}

TEST_F(RegistryTest, CorruptFileReadsMissingIsLoggedOnceAndKeptAside) {
    const QByteArray garbage = "{\"SOFTWARE\": {broken";
    WriteFile(files.currentUser, garbage);
    WriteFile(files.currentUser + ".corrupt", "older corrupt copy");
    cRegistry r = Make();
    for (const char* name : {"COMPort", "RecordDirectory", "COMPort"}) {
        r.ValueKey = name;
        EXPECT_FALSE(r.ValueExists());
        EXPECT_FALSE(r.Value().isValid());
    }
    EXPECT_EQ(logged, std::vector<std::string>{": cRegistry.Error: 26002"});
    EXPECT_EQ(ReadFile(files.currentUser), garbage);  // reading never touches it

    Write(r, "COMPort", REG_DWORD_, 2);
    EXPECT_EQ(ReadFile(files.currentUser + ".corrupt"), garbage);
    EXPECT_EQ(Stored("COMPort").value("value").toInt(), 2);
    EXPECT_EQ(Document().size(), 4);  // the section and its three parent levels
    EXPECT_EQ(logged.size(), 1u);
}

TEST_F(RegistryTest, WrongShapesReadAsMissing) {
    WriteFile(files.currentUser, QByteArray(R"({"K": {
        "NoType": {"value": 1},
        "NumberAsText": {"type": 4, "value": "3"},
        "TextAsNumber": {"type": 1, "value": 3},
        "NotAnObject": 5,
        "BigEndian": {"type": 5, "value": 16777216}
    }, "NotAKey": 3})"));
    cRegistry r = Make();
    r.SectionKey = "K";
    for (const char* name : {"NoType", "NumberAsText", "TextAsNumber", "NotAnObject"}) {
        SCOPED_TRACE(name);
        r.ValueKey = name;
        EXPECT_FALSE(r.ValueExists());
        EXPECT_FALSE(r.Value().isValid());
    }
    r.ValueKey = "BigEndian";
    EXPECT_EQ(r.Value(), QVariant(1));
    EXPECT_EQ(r.ValueType, REG_DWORD_BIG_ENDIAN_);
    r.SectionKey = "NotAKey";
    r.ValueKey = "x";
    EXPECT_FALSE(r.ValueExists());
    EXPECT_TRUE(logged.empty());
}

TEST_F(RegistryTest, UnreadableFileIsNeverReplaced) {
    QDir().mkpath(files.currentUser);  // a directory where the file should be
    cRegistry r = Make();
    r.ValueKey = "COMPort";
    EXPECT_FALSE(r.ValueExists());
    EXPECT_EQ(logged, std::vector<std::string>{": cRegistry.Error: 26003"});
    EXPECT_THROW(Write(r, "COMPort", REG_DWORD_, 1), RaisedError);
    EXPECT_TRUE(QFileInfo(files.currentUser).isDir());
}

TEST_F(RegistryTest, MachineRootIsReadOnlyAndClassesRootUnbacked) {
    const QByteArray machine = R"({"SOFTWARE\\Vendor": {"Version": {"type": 1, "value": "4.2"}}})";
    WriteFile(files.localMachine, machine);
    cRegistry r = Make();
    r.ClassKey = HKEY_LOCAL_MACHINE_;
    r.SectionKey = "software\\vendor";
    r.ValueKey = "VERSION";
    EXPECT_TRUE(r.ValueExists());
    EXPECT_EQ(r.Value(), QVariant(QString("4.2")));
    r.ValueType = REG_SZ_;
    try {
        r.SetValue(QString("5"));
        ADD_FAILURE() << "no error raised";
    } catch (const RaisedError& e) {
        EXPECT_EQ(e.number, 26001);
        EXPECT_EQ(e.description,
                  "Failed to set registry value Key: '2147483650',Section: 'software\\vendor',Key: 'VERSION' to value: '5'");
    }
    EXPECT_EQ(ReadFile(files.localMachine), machine);
    EXPECT_FALSE(QFileInfo::exists(files.currentUser));

    for (uint32_t root : {HKEY_CLASSES_ROOT_, 0u}) {
        SCOPED_TRACE(root);
        r.ClassKey = root;
        r.Default = 9;
        EXPECT_FALSE(r.ValueExists());
        EXPECT_EQ(r.Value(), QVariant(9));
        r.ValueType = REG_DWORD_;
        EXPECT_THROW(r.SetValue(1), RaisedError);
    }
}

TEST(RegistryFilesTest, DefaultFollowsConfigHome) {
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const RegistryFiles f = RegistryFiles::Default();
    if (old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", old);
    EXPECT_EQ(f.currentUser, dir.path() + "/KestroRecorder/registry.json");
    EXPECT_EQ(f.localMachine, "/etc/xdg/KestroRecorder/registry.json");
}

}  // namespace
