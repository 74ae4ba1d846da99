// The QSerialPort adapter against missing devices, non-terminals and a real pty.

#include "PtyPair.h"
#include "link/QtSerialPort.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestro::test {
namespace {

TEST(QtSerialPortTest, OpenFailuresCarryTheirNumberAndTheSystemsWords) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString file = tmp.filePath("not-a-tty");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    struct Row {
        const char* what;
        QString path;
        int16_t errNo;
    };
    const Row rows[] = {
        {"missing node", tmp.filePath("ttyUSB9"), kErrPortNotFound},
        {"dangling link", tmp.filePath("by-id"), kErrPortNotFound},
        {"empty path", QString(), kErrPortNotFound},
        {"regular file", file, kErrPortUnavailable},
        {"directory", tmp.path(), kErrPortUnavailable},
    };
    ASSERT_TRUE(QFile::link(tmp.filePath("gone-target"), tmp.filePath("by-id")));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QtSerialPort port;
        int16_t errNo = 0;
        QString reason;
        EXPECT_FALSE(port.open(r.path, &errNo, &reason));
        EXPECT_EQ(errNo, r.errNo);
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_FALSE(port.isOpen());
    }
}

TEST(QtSerialPortTest, PtyCarriesBothDirectionsAndModemLinesAreNoFailure) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    QSignalSpy gone(&port, &SerialPort::portGone);
    int16_t errNo = 0;
    QString reason;
    ASSERT_TRUE(port.open(pty.slavePath(), &errNo, &reason)) << reason.toStdString();
    port.setDataTerminalReady(true);  // a pty refuses; that must not count as a loss
    port.setRequestToSend(true);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.device(), pty.slavePath());

    EXPECT_EQ(port.write("gsn\r"), 4);
    EXPECT_TRUE(port.flush(500));
    EXPECT_EQ(pty.ReadFor(100), QByteArray("gsn\r"));

    QSignalSpy rx(&port, &SerialPort::dataReceived);
    ASSERT_TRUE(pty.Write("lp 734 0\r\n"));
    QByteArray got;
    EXPECT_TRUE(WaitUntil([&] {
        got += port.readAll();
        return got.size() >= 10;
    }));
    EXPECT_EQ(got, QByteArray("lp 734 0\r\n"));  // raw: CR and LF arrive untranslated
    EXPECT_GE(rx.count(), 1);
    EXPECT_EQ(gone.count(), 0);

    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.write("x"), -1);
}

TEST(QtSerialPortTest, HangupIsReportedOnceAndReopenRearms) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QtSerialPort port;
    QSignalSpy gone(&port, &SerialPort::portGone);
    int16_t errNo = 0;
    QString reason;
    ASSERT_TRUE(port.open(pty.slavePath(), &errNo, &reason));
    port.setDataTerminalReady(true);  // leaves an error text behind on a pty
    // Drain what the adapter hands over, as the owner does.
    QObject::connect(&port, &SerialPort::dataReceived, &port, [&] { port.readAll(); });
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return gone.count() > 0; }));
    EXPECT_TRUE(port.isGone());
    // Not the stale text of the refused modem-line call.
    EXPECT_FALSE(gone[0][0].toString().isEmpty());
    EXPECT_FALSE(gone[0][0].toString().contains("ioctl")) << gone[0][0].toString().toStdString();
    // Nobody closes it yet: the error flood must still not produce more reports.
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(gone.count(), 1);
    EXPECT_EQ(port.write("x"), -1);
    port.close();

    PtyPair again;
    ASSERT_TRUE(again.ok());
    ASSERT_TRUE(port.open(again.slavePath(), &errNo, &reason));
    EXPECT_FALSE(port.isGone());
    again.CloseMaster();
    EXPECT_TRUE(WaitUntil([&] { return gone.count() == 2; }));
    port.close();
}

}  // namespace
}  // namespace kestro::test
