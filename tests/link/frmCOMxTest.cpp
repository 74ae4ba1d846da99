// The port owner over real pseudo-terminals: opening, switching, the stop
// sequence on the wire, receive framing and a hung-up line.

#include "LinkFixture.h"

#include <QSignalSpy>

namespace kestro::test {
namespace {

class PtyOwner : public LinkFixture {
protected:
    void SetUp() override { MakeOwner(false); }
    // The line as the device sees it: everything the owner wrote so far.
    void OpenOnPty(PtyPair& pty, int n = 1) {
        ASSERT_TRUE(pty.ok());
        qputenv(qPrintable(QStringLiteral("KESTRO_COM%1").arg(n)), pty.slavePath().toLocal8Bit());
        StorePort(n);
        ASSERT_EQ(com->InitForm(), kTrue);
        ASSERT_EQ(com->GetCOMPort(), n);
    }
    // Sends chunks from the device side, one arrival at a time.
    void DeviceSends(PtyPair& pty, const QByteArray& chunk) {
        const int before = ps.RxCharCount + ps.RxLineCount;
        const auto seen = ps.KestroState.DevLevel;
        ASSERT_TRUE(pty.Write(chunk));
        // Every chunk changes the buffer or the state once it has been read.
        WaitUntil([&] { return ps.RxCharCount + ps.RxLineCount != before || ps.KestroState.DevLevel != seen; },
                  300);
        WaitUntil([] { return false; }, 30);
    }
};

TEST_F(PtyOwner, NoStoredPortLogsErrorOneWithoutMessage) {
    EXPECT_EQ(com->InitForm(), 1);
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], DateTime() + ": frmCOMx.InitForm.Error: 1");
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_EQ(com->GetCOMPort(), 0);
}

TEST_F(PtyOwner, StoredPortThatCannotBeOpenedShowsTheMessage) {
    QFile plain(tmp.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct Row {
        int stored;
        QString device;  // given through the store; empty: the default mapping
        int16_t result;
        QString text;
        QString detailHas;
    };
    const Row rows[] = {
        {3, QString(), kErrPortNotFound, "COM3 is not availiable!", devDir() + "/ttyS2"},
        {2, tmp.filePath("plain"), kErrPortUnavailable, "COM2 is not availiable!", tmp.filePath("plain")},
        {7, QString(), kErrPortNotFound, "COM7 is not availiable!", "COM1 to COM4"},
        {0, QString(), kErrPortNotFound, "COM0 is not availiable!", "COM1 to COM4"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.stored);
        messages.messages.clear();
        StorePort(r.stored);
        if (!r.device.isEmpty())
            StoreDevice(r.stored, r.device);
        EXPECT_EQ(com->InitForm(), r.result);
        ASSERT_EQ(messages.messages.size(), 1);
        EXPECT_EQ(messages.messages[0].text, r.text);
        EXPECT_TRUE(messages.messages[0].detail.contains(r.detailHas)) << messages.messages[0].detail.toStdString();
        EXPECT_EQ(com->GetCOMPort(), 0);
    }
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(PtyOwner, InitFormOpensTheStoredPortAndEmptiesTheBuffer) {
    PtyPair pty;
    ps.AppendReceived("lp 7");
    ps.AnswerWatchdog = 3;
    OpenOnPty(pty);
    EXPECT_EQ(com->Tag(), "1");
    EXPECT_EQ(ps.RxCharCount, 0);
    EXPECT_EQ(ps.AnswerWatchdog, 0);
    EXPECT_TRUE(LogLines().isEmpty());
    EXPECT_EQ(com->SendCommand("gsn\r"), 4);
    EXPECT_EQ(pty.ReadFor(150), QByteArray("gsn\r"));
}

TEST_F(PtyOwner, SetCOMPortSwitchesBetweenTwoLines) {
    PtyPair one, two;
    ASSERT_TRUE(one.ok() && two.ok());
    qputenv("KESTRO_COM1", one.slavePath().toLocal8Bit());
    qputenv("KESTRO_COM2", two.slavePath().toLocal8Bit());
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    ps.AppendReceived("ls");  // switching keeps what was waiting
    ASSERT_EQ(com->SetCOMPort(2), kTrue);
    EXPECT_EQ(com->GetCOMPort(), 2);
    EXPECT_EQ(ps.RxCharCount, 2);
    EXPECT_EQ(com->SendCommand("gds\r"), 4);
    EXPECT_EQ(two.ReadFor(150), QByteArray("gds\r"));
    EXPECT_TRUE(one.ReadFor(50).isEmpty());
    // Port 1 was really released: it opens again.
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    EXPECT_EQ(com->GetCOMPort(), 1);

    // Probing an absent port: its number, no message, no log, port closed.
    EXPECT_EQ(com->SetCOMPort(3), kErrPortNotFound);
    EXPECT_EQ(com->SetCOMPort(5), kErrPortNotFound);
    EXPECT_EQ(com->GetCOMPort(), 0);
    EXPECT_EQ(com->SendCommand("gds\r"), 0);
    EXPECT_TRUE(messages.messages.isEmpty());
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(PtyOwner, CloseOnAClosedPortChangesNothing) {
    EXPECT_EQ(com->CloseCOMPort(), kTrue);
    EXPECT_EQ(com->Tag(), "0");
    PtyPair pty;
    OpenOnPty(pty);
    EXPECT_EQ(com->CloseCOMPort(), kTrue);
    EXPECT_EQ(com->CloseCOMPort(), kTrue);
    EXPECT_EQ(com->GetCOMPort(), 0);
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(PtyOwner, StopSequenceReachesTheWireBeforeTheClose) {
    PtyPair pty;
    OpenOnPty(pty);
    com->FormUnload();
    EXPECT_EQ(com->GetCOMPort(), 0);
    EXPECT_EQ(pty.ReadFor(300), QByteArray("SMM 0\rLDK 0\r"));
    EXPECT_EQ(com->SendCommand("gds\r"), 0);
    EXPECT_TRUE(pty.ReadFor(100).isEmpty());
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.last(), DateTime() + ": Application stopped");
}

TEST_F(PtyOwner, StopSequenceWithThePortClosedOnlyLogs) {
    PtyPair pty;
    OpenOnPty(pty);
    com->CloseCOMPort();
    com->FormUnload();
    EXPECT_TRUE(pty.ReadFor(200).isEmpty());
    EXPECT_EQ(LogLines(), QStringList{DateTime() + ": Application stopped"});
}

TEST_F(PtyOwner, ReceiveFramingThroughTheLine) {
    struct Step {
        QByteArray chunk;  // empty: ResetReceiveBuffer instead
        int16_t level;
        int16_t chars;
        int16_t lines;
    };
    struct Row {
        const char* what;
        std::vector<Step> steps;
        int slowCount;
    };
    const Row rows[] = {
        {"split line", {{"l", 0, 1, 0}, {"p 734 0\r", 734, 0, 0}}, 1},
        {"two lines in one read", {{"lp 100 0\rlp 200 0\r", 200, 0, 0}}, 2},
        {"lone line feed", {{"\n", 0, 1, 0}}, 0},
        {"reset drops the waiting part", {{"lp 7", 0, 4, 0}, {"", 0, 0, 0}, {"34 0\r", 0, 0, 0}}, 0},
        {"flood without CR stays bounded",
         {{QByteArray(40000, 'x'), 0, ProtocolState::kRxCapacity, 0}, {"\rlp 500 0\r", 500, 0, 0}},
         1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        PtyPair pty;
        ps.KestroState = KestroStateRecord{};
        ps.ClearSlowBuffer();
        ps.KestroState.DevFunction = 1;  // Lp: value lines become slow samples
        ps.KestroState.DevVariant = 1;
        ps.RecordState = 1;
        OpenOnPty(pty);
        for (const Step& s : r.steps) {
            if (s.chunk.isEmpty())
                EXPECT_EQ(ps.ResetReceiveBuffer(), kTrue);
            else
                DeviceSends(pty, s.chunk);
            if (s.chars == ProtocolState::kRxCapacity)
                WaitUntil([&] { return ps.RxCharCount == s.chars; }, 3000);
            EXPECT_EQ(ps.KestroState.DevLevel, s.level);
            EXPECT_EQ(ps.RxCharCount, s.chars);
            EXPECT_EQ(ps.RxLineCount, s.lines);
        }
        EXPECT_EQ(ps.SlowCount, r.slowCount);
        if (r.slowCount == 2) {
            EXPECT_EQ(ps.GetSlowRecord(1).Level, 100);
            EXPECT_EQ(ps.GetSlowRecord(2).Level, 200);
        }
        com->CloseCOMPort();
        EXPECT_EQ(com->SendCommand("gsn\r"), 0);
        EXPECT_TRUE(pty.ReadFor(50).isEmpty());
    }
}

TEST_F(PtyOwner, HangupClosesThePortOnceWithoutFlood) {
    PtyPair pty;
    OpenOnPty(pty);
    const QString device = pty.slavePath();
    QSignalSpy gone(com.get(), &frmCOMx::portGone);
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return com->GetCOMPort() == 0; }, 2000));
    ASSERT_EQ(gone.count(), 1);
    EXPECT_EQ(gone[0][0].value<int16_t>(), 1);
    EXPECT_EQ(gone[0][1].toString(), device);
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(gone.count(), 1);
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(DateTime() + ": frmCOMx.PortGone: " + device + " ")) << lines[0].toStdString();
    // The line is still usable afterwards: the stop sequence just logs.
    com->FormUnload();
    EXPECT_EQ(LogLines().size(), 2);
}

TEST_F(PtyOwner, DevicePathPrecedence) {
    struct Row {
        const char* what;
        int port;
        const char* env;     // nullptr: unset
        const char* stored;  // nullptr: not stored
        QStringList nodes;   // files present in the device directory
        QString expected;    // relative to the device directory unless absolute
    };
    const Row rows[] = {
        {"env wins over all", 1, "/nonexistent/pts9", "/nonexistent/ttyX", {"ttyUSB0"}, "/nonexistent/pts9"},
        {"stored wins over default", 1, nullptr, "/nonexistent/ttyX", {"ttyUSB0"}, "/nonexistent/ttyX"},
        {"empty env falls through", 2, "", "/nonexistent/ttyY", {}, "/nonexistent/ttyY"},
        {"usb adapter is COM1", 1, nullptr, nullptr, {"ttyUSB0", "ttyACM0"}, "ttyUSB0"},
        {"acm when no usb", 1, nullptr, nullptr, {"ttyACM0"}, "ttyACM0"},
        {"index follows the port", 3, nullptr, nullptr, {"ttyUSB0", "ttyUSB2"}, "ttyUSB2"},
        {"onboard otherwise", 4, nullptr, nullptr, {"ttyUSB0"}, "ttyS3"},
        {"blank stored falls through", 2, nullptr, "  ", {"ttyACM1"}, "ttyACM1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QDir(devDir()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(devDir()));
        for (const QString& node : r.nodes) {
            QFile f(devDir() + "/" + node);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        QFile::remove(files.currentUser);
        const QByteArray envName = QStringLiteral("KESTRO_COM%1").arg(r.port).toLatin1();
        qunsetenv(envName);
        if (r.env)
            qputenv(envName, r.env);
        if (r.stored)
            StoreDevice(r.port, r.stored);
        const QString expected = r.expected.startsWith('/') ? r.expected : devDir() + "/" + r.expected;
        EXPECT_EQ(com->DevicePathForPort(static_cast<int16_t>(r.port)), expected);
        EXPECT_EQ(com->DeviceExists(static_cast<int16_t>(r.port)), r.nodes.contains(r.expected));
        qunsetenv(envName);
    }
    EXPECT_TRUE(com->DevicePathForPort(0).isEmpty());
    EXPECT_TRUE(com->DevicePathForPort(5).isEmpty());
    EXPECT_FALSE(com->DeviceExists(5));
}

}  // namespace
}  // namespace kestro::test
