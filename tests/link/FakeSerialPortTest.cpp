// The owner's sequencing over the in-memory port: modem lines, failures of the
// stop sequence, loss of the port, command encoding; and the fake itself.

#include "LinkFixture.h"

#include <QCoreApplication>
#include <QSignalSpy>

namespace kestro::test {
namespace {

class FakeOwner : public LinkFixture {
protected:
    void SetUp() override {
        MakeOwner(true);
        ASSERT_NE(port, nullptr);
        qputenv("KESTRO_COM1", "/fake/a");
        qputenv("KESTRO_COM2", "/fake/b");
    }
    void Settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
};

TEST_F(FakeOwner, SwitchDropsLinesBeforeCloseAndRaisesThemAfterOpen) {
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    ASSERT_EQ(com->SetCOMPort(2), kTrue);
    EXPECT_EQ(port->history(), (QStringList{"open /fake/a", "dtr 1", "rts 1", "dtr 0", "rts 0", "close /fake/a",
                                            "open /fake/b", "dtr 1", "rts 1"}));
    EXPECT_TRUE(port->dtr() && port->rts());
    EXPECT_EQ(com->GetCOMPort(), 2);

    // InitForm reopens without touching the lines of the old port first.
    port->ClearHistory();
    StorePort(1);
    ASSERT_EQ(com->InitForm(), kTrue);
    EXPECT_EQ(port->history(), (QStringList{"close /fake/b", "open /fake/a", "dtr 1", "rts 1"}));
}

TEST_F(FakeOwner, OpenFailureDetailNamesDeviceReasonAndHint) {
    struct Row {
        int16_t errNo;
        QString reason;
        bool hint;
    };
    const Row rows[] = {
        {kErrPortUnavailable, "Permission denied", true},
        {kErrPortUnavailable, "Device or resource busy", false},
        {kErrPortNotFound, "No such file or directory", false},
    };
    StorePort(2);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.reason.toStdString());
        messages.messages.clear();
        port->SetOpenFailure("/fake/b", r.errNo, r.reason);
        EXPECT_EQ(com->InitForm(), r.errNo);
        ASSERT_EQ(messages.messages.size(), 1);
        const auto& m = messages.messages[0];
        EXPECT_EQ(m.text, "COM2 is not availiable!");
        EXPECT_TRUE(m.detail.contains("/fake/b"));
        EXPECT_TRUE(m.detail.contains(r.reason));
        EXPECT_EQ(m.detail.contains("sudo usermod -aG dialout $USER"), r.hint);
        // The setup dialog's probe of the same port stays silent.
        EXPECT_EQ(com->SetCOMPort(2), r.errNo);
        EXPECT_EQ(messages.messages.size(), 1);
    }
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(FakeOwner, StoredValueThatIsNoNumberCountsAsMissing) {
    Store("COMPort", "abc", REG_SZ_);
    EXPECT_EQ(com->InitForm(), 1);
    EXPECT_EQ(LogLines(), QStringList{DateTime() + ": frmCOMx.InitForm.Error: 1"});
    Store("COMPort", "2", REG_SZ_);  // a number in text form is still the port
    EXPECT_EQ(com->InitForm(), kTrue);
    EXPECT_EQ(com->GetCOMPort(), 2);
}

TEST_F(FakeOwner, StopSequenceFailuresAreLoggedAndTheStopStillHappens) {
    struct Row {
        const char* what;
        bool writeFails;
        bool flushOk;
        int errorLines;
    };
    const Row rows[] = {
        {"clean", false, true, 0},
        {"writes refused", true, true, 2},
        {"output stuck", false, false, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QFile::remove(log.MainLogPath());
        ASSERT_EQ(com->SetCOMPort(1), kTrue);
        port->ClearWritten();
        port->ClearHistory();
        port->SetWriteFails(r.writeFails);
        port->SetFlushResult(r.flushOk);
        com->FormUnload();
        EXPECT_FALSE(port->isOpen());
        EXPECT_EQ(com->GetCOMPort(), 0);
        if (!r.writeFails) {
            EXPECT_EQ(port->commands(), (QStringList{"SMM 0", "LDK 0"}));
            // Flushed before the lines drop and the port closes.
            EXPECT_EQ(port->history(), (QStringList{"flush", "dtr 0", "rts 0", "close /fake/a"}));
        }
        const QStringList lines = LogLines();
        ASSERT_EQ(lines.size(), r.errorLines + 1);
        for (int i = 0; i < r.errorLines; ++i)
            EXPECT_EQ(lines[i], DateTime() + ": frmCOMx.FormUnload.Error: 8020");
        EXPECT_EQ(lines.last(), DateTime() + ": Application stopped");
        port->SetWriteFails(false);
        port->SetFlushResult(true);
    }
}

TEST_F(FakeOwner, LostPortIsClosedFromAQueuedCallAndReportedOnce) {
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    QSignalSpy gone(com.get(), &frmCOMx::portGone);
    port->SimulateGone("Input/output error");
    // Not inside the port's own signal: still open, but no longer written to.
    EXPECT_TRUE(port->isOpen());
    EXPECT_EQ(com->SendCommand("gds\r"), 0);
    port->SimulateGone("again");
    Settle();
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(com->GetCOMPort(), 0);
    ASSERT_EQ(gone.count(), 1);
    EXPECT_EQ(gone[0][0].value<int16_t>(), 1);
    EXPECT_EQ(gone[0][1].toString(), "/fake/a");
    EXPECT_EQ(gone[0][2].toString(), "Input/output error");
    EXPECT_EQ(LogLines(), QStringList{DateTime() + ": frmCOMx.PortGone: /fake/a Input/output error"});
    // A dead device has no modem lines to drop.
    EXPECT_FALSE(port->history().contains("dtr 0"));
}

TEST_F(FakeOwner, ReopenBeforeTheQueuedCloseKeepsTheNewPort) {
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    QSignalSpy gone(com.get(), &frmCOMx::portGone);
    port->SimulateGone();
    ASSERT_EQ(com->SetCOMPort(2), kTrue);
    Settle();
    EXPECT_TRUE(port->isOpen());
    EXPECT_EQ(com->GetCOMPort(), 2);
    EXPECT_EQ(gone.count(), 0);
    EXPECT_EQ(com->SendCommand("gds\r"), 4);
}

TEST_F(FakeOwner, StopSequenceWhileTheLossIsPendingSendsNothing) {
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    port->SimulateGone();
    com->FormUnload();
    EXPECT_TRUE(port->written().isEmpty());
    EXPECT_FALSE(port->isOpen());
    Settle();
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.last().endsWith(": Application stopped"));
}

TEST_F(FakeOwner, SendCommandWritesLatin1UpToTheGivenLength) {
    struct Row {
        QString text;
        int len;
        int result;
        QByteArray wire;
    };
    const Row rows[] = {
        {"swm 2\r", 6, 6, "swm 2\r"},
        {"smr 1\r", 3, 3, "smr"},
        {"gds\r", 99, 4, "gds\r"},
        {"gds\r", 0, 0, ""},
        {"gds\r", -1, 0, ""},
        {QString::fromUtf8("\xC3\xA9\r"), 2, 2, "\xE9\r"},
    };
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.toStdString());
        port->ClearWritten();
        EXPECT_EQ(com->SendCommand(r.text, r.len), r.result);
        EXPECT_EQ(port->written(), r.wire);
    }
    port->SetWriteFails(true);
    EXPECT_EQ(com->SendCommand("gds\r"), 0);  // a refused write is not reported as sent
}

TEST_F(FakeOwner, ReceivedBytesReachTheInterpreter) {
    ASSERT_EQ(com->SetCOMPort(1), kTrue);
    port->feed("lp 7");
    EXPECT_EQ(ps.RxCharCount, 4);
    EXPECT_TRUE(port->pending().isEmpty());  // read everything on each event
    port->feed("34 0\r");
    EXPECT_EQ(ps.KestroState.DevLevel, 734);
    EXPECT_EQ(ps.RxCharCount, 0);
    com->CloseCOMPort();
    port->feed("lp 1 0\r");  // a closed port delivers nothing
    EXPECT_EQ(ps.KestroState.DevLevel, 734);
}

TEST(FakeSerialPortTest, CommandsAreSplitAtCarriageReturnsOnly) {
    FakeSerialPort p;
    int16_t errNo = 0;
    QString reason;
    EXPECT_EQ(p.write("x"), -1);  // closed
    ASSERT_TRUE(p.open("/x", &errNo, &reason));
    p.write("gsn\r\rawm 1\n\rpart");
    EXPECT_EQ(p.commands(), (QStringList{"gsn", "", "awm 1\n"}));
    p.SetOpenFailure("/y", kErrPortUnavailable, "busy");
    EXPECT_FALSE(p.open("/y", &errNo, &reason));
    EXPECT_EQ(errNo, kErrPortUnavailable);
    EXPECT_EQ(reason, "busy");
    EXPECT_FALSE(p.isOpen());
    EXPECT_EQ(p.openCount(), 1);
}

}  // namespace
}  // namespace kestro::test
