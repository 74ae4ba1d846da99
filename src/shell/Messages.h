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
    // A modal question with OK and Cancel; true for OK.
    virtual bool ask(const QString& text) = 0;
};

class StderrMessageSink final : public MessageSink {
public:
    void showMessage(const QString& text, const QString& detail) override;
    // Nobody can answer: the question is told and taken as OK.
    bool ask(const QString& text) override;
};

}  // namespace kestro
