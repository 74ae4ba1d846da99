#include "shell/Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

TEST(StderrMessageSinkTest, WritesProgramNameTextAndDetail) {
    const std::tuple<const char*, const char*, std::string> cases[] = {
        {"COM3 is not availiable!", "/dev/ttyS2: no such device", "KestroRecorder: COM3 is not availiable!\n/dev/ttyS2: no such device\n"},
        {"Plain", "", "KestroRecorder: Plain\n"},
    };
    for (const auto& [text, detail, expected] : cases) {
        StderrMessageSink sink;
        testing::internal::CaptureStderr();
        sink.ShowMessage(text, detail);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    }
}

struct SeenBox {
    QString title, text, detail;
    QMessageBox::StandardButtons standardButtons;
};

// Shows the message and inspects the modal box from inside its own event loop.
SeenBox ShowAndInspect(DialogMessageSink& sink, const QString& text, const QString& detail) {
    SeenBox seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.detail = box->detailedText();
        seen.standardButtons = box->standardButtons();
        poll.stop();
        box->accept();
    });
    poll.start();
    sink.ShowMessage(text, detail);
    return seen;
}

TEST(DialogMessageSinkTest, OneOkButtonApplicationTitleAndDetail) {
    QGuiApplication::setApplicationDisplayName("Kestro Test Title");
    DialogMessageSink sink;
    const SeenBox withDetail = ShowAndInspect(sink, "COM2 is not availiable!", "/dev/ttyUSB1: busy");
    EXPECT_EQ(withDetail.title, "Kestro Test Title");
    EXPECT_EQ(withDetail.text, "COM2 is not availiable!");
    EXPECT_EQ(withDetail.detail, "/dev/ttyUSB1: busy");
    EXPECT_EQ(withDetail.standardButtons, QMessageBox::Ok);

    const SeenBox plain = ShowAndInspect(sink, "You can start the Measurement viewer only one time!", QString());
    EXPECT_EQ(plain.text, "You can start the Measurement viewer only one time!");
    EXPECT_TRUE(plain.detail.isEmpty());
    EXPECT_EQ(plain.standardButtons, QMessageBox::Ok);
}

}  // namespace
