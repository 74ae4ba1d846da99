#pragma once
// Every message box goes through this seam: a QMessageBox in the program,
// a recorder in tests, standard error when running headless.

#include <QString>
#include <QStringList>

class QWidget;

namespace kestro {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A modal message with one OK button and the application title as caption.
    // detail: optional detailed text (device path, system reason, hints).
    virtual void ShowMessage(const QString& text, const QString& detail = QString()) = 0;
};

class DialogMessageSink final : public MessageSink {
public:
    explicit DialogMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void ShowMessage(const QString& text, const QString& detail) override;
    void setParent(QWidget* parent) { parent_ = parent; }

private:
    QWidget* parent_;
};

class StderrMessageSink final : public MessageSink {
public:
    void ShowMessage(const QString& text, const QString& detail) override;
};

class RecordingMessageSink final : public MessageSink {
public:
    struct Message {
        QString text;
        QString detail;
    };
    void ShowMessage(const QString& text, const QString& detail) override { messages.push_back({text, detail}); }
    QList<Message> messages;
};

}  // namespace kestro
