#pragma once
// The program's message boxes: modal, one OK button, the application title.

#include "shell/Messages.h"

class QWidget;

namespace kestro {

class DialogMessageSink final : public MessageSink {
public:
    explicit DialogMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void showMessage(const QString& text, const QString& detail) override;
    bool ask(const QString& text) override;
    void setParent(QWidget* parent) { parent_ = parent; }

private:
    int showBox(const QString& text, const QString& detail, int buttons);  // the button pressed
    QWidget* parent_;
};

}  // namespace kestro
