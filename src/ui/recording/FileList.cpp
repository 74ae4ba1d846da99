#include "ui/recording/FileList.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QTreeWidget>

#include <cmath>

namespace kestro {

namespace {

QString hms(int64_t s) {
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString timeOfDayText(double dateTime) {
    const double frac = dateTime - std::floor(dateTime);
    int64_t s = std::llround(frac * 86400.0) % 86400;
    return hms(s);
}

QString durationText(double days) {
    if (!std::isfinite(days)) return QStringLiteral("--:--:--");
    const int64_t s = std::llround(days * 86400.0);
    return s < 0 ? QLatin1Char('-') + hms(-s) : hms(s);
}

std::unique_ptr<QTreeWidget> createFileListView() {
    auto v = std::make_unique<QTreeWidget>();
    v->setObjectName(QStringLiteral("MessFileListe"));
    v->setAccessibleName(QCoreApplication::translate("kestro::FileList", "Record files"));
    v->setRootIsDecorated(false);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setUniformRowHeights(true);
    v->setSortingEnabled(false);
    v->setColumnCount(3);
    v->resize(401, 100);
    return v;
}

void initFileListView(QTreeWidget* view) {
    view->clear();
    view->setColumnCount(3);
    view->setHeaderLabels({QCoreApplication::translate("kestro::FileList", "Start"),
                           QCoreApplication::translate("kestro::FileList", "Duration"),
                           QCoreApplication::translate("kestro::FileList", "File name")});
    // Design widths in twips (list width x 0.2 - 20 and x 0.6 - 20), in pixels.
    const double w = view->width();
    const double margin = 20.0 / 15.0;
    view->setColumnWidth(0, std::max(10, int(w * 0.2 - margin)));
    view->setColumnWidth(1, std::max(10, int(w * 0.2 - margin)));
    view->setColumnWidth(2, std::max(10, int(w * 0.6 - margin)));
    view->header()->setStretchLastSection(true);
    fitFileListColumns(view);
}

void fitFileListColumns(QTreeWidget* view) {
    // Never narrower than a time or a header needs, whatever the font.
    const int time = view->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 12;
    for (int column = 0; column < 2; ++column)
        view->setColumnWidth(column,
                             std::max({view->columnWidth(column), time, view->header()->sectionSizeHint(column)}));
}

}  // namespace kestro
