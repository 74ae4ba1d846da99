#include "desktop/UiMap.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>

namespace kestro {

namespace {

QJsonArray centre(const QWidget* w, const QRect& local) {
    const QPoint c = w->mapToGlobal(local.center());
    return QJsonArray{c.x(), c.y()};
}

QString plain(QString text) { return text.remove(QLatin1Char('&')); }

}  // namespace

UiMap::UiMap(QString path, QObject* parent) : QObject(parent), path_(std::move(path)) {
    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, &UiMap::write);
    timer_.start();
}

void UiMap::write() {
    QJsonObject map;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        if (auto* main = qobject_cast<QMainWindow*>(top)) {
            const QRect g = main->frameGeometry();
            map.insert(QStringLiteral("window"), QJsonArray{g.width(), g.height(), g.x(), g.y()});
            for (const char* name : {"cmdPower", "cmdRecord", "cmdStopRecord"}) {
                if (auto* w = main->findChild<QWidget*>(QLatin1String(name))) {
                    map.insert(QLatin1String(name), centre(w, w->rect()));
                    map.insert(QLatin1String(name) + QStringLiteral(".enabled"), w->isEnabled());
                }
            }
            if (QMenuBar* bar = main->menuBar())
                for (QAction* a : bar->actions())
                    map.insert(QStringLiteral("menu:") + plain(a->text()), centre(bar, bar->actionGeometry(a)));
        } else if (auto* menu = qobject_cast<QMenu*>(top)) {
            for (QAction* a : menu->actions())
                map.insert(QStringLiteral("menu:") + plain(a->text()), centre(menu, menu->actionGeometry(a)));
        } else if (top->objectName() == QLatin1String("frmAbout")) {
            if (auto* ok = top->findChild<QAbstractButton*>(QStringLiteral("cmdOK")))
                map.insert(QStringLiteral("aboutOK"), centre(ok, ok->rect()));
        }
    }
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(QJsonDocument(map).toJson(QJsonDocument::Compact));
    f.commit();
}

}  // namespace kestro
