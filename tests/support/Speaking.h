#pragma once
// While one lives, windows made speak a language ("de", "en") as under --lang;
// afterwards the program's own texts and the numbers of before return.

#include "shell/Translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace kestro::test {

class Speaking {
public:
    explicit Speaking(const QString& language)
        : locale_(),
          before_(QCoreApplication::instance()->findChildren<QTranslator*>()),
          loaded_(language.isEmpty() || installTranslations(*QCoreApplication::instance(), language) == language) {}
    ~Speaking() {
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>())
            if (!before_.contains(t)) {
                QCoreApplication::removeTranslator(t);
                delete t;
            }
        QLocale::setDefault(locale_);
    }
    Speaking(const Speaking&) = delete;
    Speaking& operator=(const Speaking&) = delete;
    bool loaded() const { return loaded_; }

private:
    const QLocale locale_;
    const QList<QTranslator*> before_;
    const bool loaded_;
};

}  // namespace kestro::test
