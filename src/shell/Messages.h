#pragma once
// Every message box goes through this seam: a message box in the program,
// standard error when running headless, a recorder in tests.

#include <QString>

namespace kestro {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A modal message with one OK button and the application title as caption.
    // detail: optional detailed text (device path, system reason, hints).
    virtual void showMessage(const QString& text, const QString& detail = QString()) = 0;
};

class StderrMessageSink final : public MessageSink {
public:
    void showMessage(const QString& text, const QString& detail) override;
};

}  // namespace kestro
