#pragma once
// A message sink for tests: keeps every message it is shown.

#include "shell/Messages.h"

#include <QList>

namespace kestro {

class RecordingMessageSink final : public MessageSink {
public:
    struct Message {
        QString text;
        QString detail;
    };
    void showMessage(const QString& text, const QString& detail) override { messages.push_back({text, detail}); }
    bool ask(const QString& text) override {
        messages.push_back({text, QString()});
        return answer;
    }
    QList<Message> messages;
    bool answer = true;  // to every question
};

}  // namespace kestro
