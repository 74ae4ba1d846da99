#include "ui/statistics/StatisticsWindow.h"

#include "kestro/Version.h"
#include "recording/EventRecorder.h"
#include "recording/EvidenceFiles.h"
#include "report/ReportDocument.h"
#include "statistics/StatisticsRecorder.h"
#include "statistics/ZoneTimeline.h"
#include "ui/display/Accessibility.h"
#include "ui/statistics/StatisticsViews.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <cmath>

namespace kestro {

// A worker thread with a cancel flag and progress counters the window polls.
struct StatisticsWindow::Job {
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> done{0};
    std::atomic<int64_t> total{0};
    QPointer<QThread> thread;
    ProgressFn progress() {
        return [this](int64_t d, int64_t t) {
            done = d;
            total = t;
            return !cancel.load();
        };
    }
};

namespace {

constexpr int kDesignLineHeight = 15;  // of the default font, 9 pt

const char* const kIntervalColumns[] = {QT_TRANSLATE_NOOP("kestro::StatisticsWindow", "Start"),
                                        QT_TRANSLATE_NOOP("kestro::StatisticsWindow", "End"),
                                        QT_TRANSLATE_NOOP("kestro::StatisticsWindow", "Samples"),
                                        "LAeq",
                                        "LAmax",
                                        "LAmin",
                                        "LA5",
                                        "LA10",
                                        "LA50",
                                        "LA90",
                                        "LA95",
                                        QT_TRANSLATE_NOOP("kestro::StatisticsWindow", "Overflow"),
                                        QT_TRANSLATE_NOOP("kestro::StatisticsWindow", "Underflow"),
                                        QT_TRANSLATE_NOOP("kestro::StatisticsWindow", "Marks")};
QStringList intervalColumns() {
    QStringList columns;
    for (const char* c : kIntervalColumns)
        columns << StatisticsWindow::tr(c);
    return columns;
}

constexpr int kFirstLevelColumn = 3;

QTableWidget* makeTable(const QString& name, const QStringList& columns, QWidget* parent) {
    auto* t = new QTableWidget(0, int(columns.size()), parent);
    t->setAccessibleName(name);
    t->setHorizontalHeaderLabels(columns);
    t->verticalHeader()->setVisible(false);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setAlternatingRowColors(true);
    // Tab leaves the table; the arrow keys walk its cells.
    t->setTabKeyNavigation(false);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    return t;
}

// The statistics the result's quantity gives, by their names; the percentile
// levels only when asked for (all of them, or L10 and L90).
QString levels(const IntervalResult& r, QChar d, bool withLN, bool allLN = false) {
    QStringList parts;
    for (Statistic s : kStatistics) {
        const char* name = statisticName(r.quantity, s);
        if (!name) continue;
        const bool ln = s != Statistic::Leq && s != Statistic::Lmax && s != Statistic::Lmin;
        if (ln && !allLN && !(withLN && (s == Statistic::L10 || s == Statistic::L90))) continue;
        parts << QStringLiteral("%1 %2").arg(QLatin1String(name), levelText(r.value(s), d));
    }
    if (parts.isEmpty()) return QString();
    parts.first() += r.quantity == Quantity::Amplitude ? QStringLiteral(" dB") : QStringLiteral(" dBA");
    if (r.quantity == Quantity::RunningMax) parts.first() += StatisticsWindow::tr(" (since the series began)");
    if (r.leqUnresolved()) parts.first() += StatisticsWindow::tr(" (beyond the resolution of the readings)");
    return parts.join(QStringLiteral("   "));
}

const char* const kSpanHint = QT_TRANSLATE_NOOP(
    "kestro::StatisticsWindow", "Select a span with Shift+drag, the right mouse button or Shift+arrow keys.");

QString timeOfDay(int64_t ms) { return localDateTimeText(ms).mid(11); }

double luminance(const QColor& c) {
    auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// A marking colour, moved toward the text colour until it reads (contrast 4.5)
// on both backgrounds, whatever the desktop's theme.
QColor legible(const QColor& mark, const QColor& text, const QColor& back1, const QColor& back2) {
    auto contrast = [](const QColor& a, const QColor& b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    for (int step = 0; step <= 10; ++step) {
        const double t = step / 10.0;
        const QColor c = QColor::fromRgbF(float(mark.redF() + (text.redF() - mark.redF()) * t),
                                          float(mark.greenF() + (text.greenF() - mark.greenF()) * t),
                                          float(mark.blueF() + (text.blueF() - mark.blueF()) * t));
        if (contrast(c, back1) >= 4.5 && contrast(c, back2) >= 4.5) return c;
    }
    return text;
}

QString overLimitMark() { return StatisticsWindow::tr("over limit"); }

void colourOverLimitRows(QTableWidget* t) {
    const QPalette& p = t->palette();
    const QColor c =
        legible(kOverLimitColour, p.color(QPalette::Text), p.color(QPalette::Base), p.color(QPalette::AlternateBase));
    const int flag = int(std::size(kIntervalColumns)) - 1;
    for (int row = 0; row < t->rowCount(); ++row) {
        const QTableWidgetItem* marked = t->item(row, flag);
        if (!marked || !marked->text().contains(overLimitMark()) ||
            t->columnCount() != int(std::size(kIntervalColumns)))
            continue;
        for (int col = 0; col < t->columnCount(); ++col)
            if (QTableWidgetItem* item = t->item(row, col)) item->setForeground(c);
    }
}

// The end of a span: the time of day, with its date when that is not the start's.
QString endText(int64_t fromMs, int64_t toMs) {
    const QString end = localDateTimeText(toMs);
    return end.left(10) == localDateTimeText(fromMs).left(10) ? end.mid(11) : end;
}

QString marksText(const IntervalResult& r) {
    QStringList m;
    if (r.overLimit) m << overLimitMark();
    if (r.overflow > 0) m << StatisticsWindow::tr("overload");
    if (r.underflow > 0) m << StatisticsWindow::tr("under-range");
    if (r.estimated > 0) m << StatisticsWindow::tr("estimated");
    if (r.restarts > 0) m << StatisticsWindow::tr("meter restarted");
    if (r.leqUnresolved()) m << StatisticsWindow::tr("beyond resolution");
    return m.join(QStringLiteral(", "));
}

// Hides the side files (statistics, events, information) beside the record files.
class RecordFileFilter final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files) return true;
        const QModelIndex index = files->index(row, 0, parent);
        return files->isDir(index) || isRecordFileName(files->fileName(index));
    }
};

}  // namespace

void fillIntervalTable(QTableWidget* t, const std::vector<IntervalResult>& rows, QChar d, bool append,
                       const QTimeZone& zone) {
    ZoneTimeline timeline(zone);
    if (!append) t->setRowCount(0);
    // Only the statistics the stream's values give have a column.
    if (!rows.empty()) {
        const Quantity q = rows.front().quantity;
        for (Statistic s : kStatistics)
            t->setColumnHidden(kFirstLevelColumn + int(s), !gives(q, s));
    }
    t->setUpdatesEnabled(false);
    const int first = t->rowCount();
    t->setRowCount(first + int(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const IntervalResult& r = rows[i];
        const auto [start, end] = intervalClockTexts(timeline, r);
        const QString cells[] = {start,
                                 end.mid(11),
                                 QString::number(r.samples),
                                 levelText(r.leq, d),
                                 levelText(r.lmax, d),
                                 levelText(r.lmin, d),
                                 levelText(r.l5, d),
                                 levelText(r.l10, d),
                                 levelText(r.l50, d),
                                 levelText(r.l90, d),
                                 levelText(r.l95, d),
                                 QString::number(r.overflow),
                                 QString::number(r.underflow),
                                 marksText(r)};
        for (int c = 0; c < int(std::size(cells)); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(c >= 2 ? (Qt::AlignRight | Qt::AlignVCenter) : (Qt::AlignLeft | Qt::AlignVCenter));
            t->setItem(first + int(i), c, item);
        }
    }
    colourOverLimitRows(t);
    t->setUpdatesEnabled(true);
}

StatisticsWindow::StatisticsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmStatistics"));
    setWindowTitle(tr("Statistics"));
    setAccessibleRole(this, QAccessible::Window);
    auto* closeWindow = new QAction(tr("Close"), this);
    closeWindow->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)});
    addAction(closeWindow);
    connect(closeWindow, &QAction::triggered, this, &QWidget::close);
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabsStatistics"));
    tabs->addTab(buildLivePage(), tr("Current recording"));
    tabs->addTab(buildFilePage(), tr("Record file"));
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(6, 6, 6, 6);
    top->addWidget(tabs);
    // As designed at the default font; larger with a larger font, as far as the screen allows.
    const double scale = std::max(1.0, fontMetrics().height() / double(kDesignLineHeight));
    QSize size = (QSizeF(900, 640) * scale).toSize();
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableSize());
    resize(size.expandedTo(QSize(900, 640)));
    applyPaletteColours();
    for (QTableWidget* t : findChildren<QTableWidget*>())
        t->installEventFilter(this);
    progressTimer_.setInterval(100);
    connect(&progressTimer_, &QTimer::timeout, this, &StatisticsWindow::updateProgress);
    liveTimer_.setInterval(100);
    connect(&liveTimer_, &QTimer::timeout, this, &StatisticsWindow::refreshLive);
    refreshLive();
}

void StatisticsWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refreshLive();
    liveTimer_.start();
}

void StatisticsWindow::hideEvent(QHideEvent* e) {
    liveTimer_.stop();
    QWidget::hideEvent(e);
}

void StatisticsWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::PaletteChange && noticeLabel) applyPaletteColours();
}

bool StatisticsWindow::eventFilter(QObject* watched, QEvent* e) {
    // A table has its new palette by the time it hears of it.
    if (e->type() == QEvent::PaletteChange)
        if (auto* t = qobject_cast<QTableWidget*>(watched)) colourOverLimitRows(t);
    return QWidget::eventFilter(watched, e);
}

void StatisticsWindow::applyPaletteColours() {
    const QPalette& p = palette();
    const QColor notice = legible(QColor(0x96, 0x5a, 0x00), p.color(QPalette::WindowText), p.color(QPalette::Window),
                                  p.color(QPalette::Window));
    noticeLabel->setStyleSheet(QStringLiteral("color: %1").arg(notice.name()));
}

void StatisticsWindow::describeHistory() {
    // A screen reader hears what the chart shows and the statistics of the span chosen in it.
    const PlotRange& r = history->range();
    if (analysis_)
        history->setAccessibleName(
            tr("Time history, %1 to %2").arg(localDateTimeText(r.fromMs), localDateTimeText(r.toMs)));
    history->setAccessibleDescription(spanLabel->text());
}

StatisticsWindow::~StatisticsWindow() {
    stopJob(load_);
    stopJob(spanJob_);
}

QWidget* StatisticsWindow::buildLivePage() {
    auto* page = new QWidget;
    liveTabs = new QTabWidget(page);
    const char* names[] = {QT_TR_NOOP("Slow values"), QT_TR_NOOP("Fast values")};
    for (size_t i = 0; i < live.size(); ++i) {
        LiveView& v = live[i];
        auto* w = new QWidget;
        v.title = new QLabel(w);
        QFont bold = v.title->font();
        bold.setBold(true);
        v.title->setFont(bold);
        v.running = new QLabel(w);
        v.current = new QLabel(w);
        v.running->setWordWrap(true);
        v.current->setWordWrap(true);
        v.analyse = new QPushButton(tr("Analyse this record file"), w);
        v.analyse->setEnabled(false);
        connect(v.analyse, &QPushButton::clicked, this, [this, i] {
            if (live[i].path.isEmpty()) return;
            openRecordFile(live[i].path);
            showFilePage();
        });
        v.bars = new IntervalBarChart(w);
        v.table = makeTable(tr("Intervals, %1").arg(tr(names[i]).toLower()), intervalColumns(), w);
        auto* head = new QGridLayout;
        head->addWidget(v.title, 0, 0);
        head->addWidget(v.analyse, 0, 1, Qt::AlignRight);
        head->addWidget(v.running, 1, 0, 1, 2);
        head->addWidget(v.current, 2, 0, 1, 2);
        auto* split = new QSplitter(Qt::Vertical, w);
        split->addWidget(v.bars);
        split->addWidget(v.table);
        split->setStretchFactor(0, 1);
        split->setStretchFactor(1, 1);
        auto* l = new QVBoxLayout(w);
        l->addLayout(head);
        l->addWidget(split, 1);
        liveTabs->addTab(w, QString::fromLatin1(names[i]));
    }
    liveEvents = new QLabel(page);
    liveEvents->setObjectName(QStringLiteral("liveEvents"));
    liveEvents->setWordWrap(true);
    liveEvents->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 4, 0, 0);
    l->addWidget(liveEvents);
    l->addWidget(liveTabs);
    return page;
}

QWidget* StatisticsWindow::buildFilePage() {
    auto* page = new QWidget;
    cmdOpen = new QPushButton(tr("Open record file\u2026"), page);
    cmdOpen->setObjectName(QStringLiteral("cmdOpenRecordFile"));
    cmdReport = new QPushButton(tr("PDF report\u2026"), page);
    cmdReport->setObjectName(QStringLiteral("cmdReport"));
    cmdReport->setEnabled(false);
    progress = new QProgressBar(page);
    progress->setRange(0, 1000);
    progress->setTextVisible(true);
    progress->setFormat(tr("Reading %p%"));
    progress->hide();
    cmdCancel = new QPushButton(tr("Cancel"), page);
    cmdCancel->setObjectName(QStringLiteral("cmdCancelLoading"));
    cmdCancel->hide();
    connect(cmdOpen, &QPushButton::clicked, this, &StatisticsWindow::openRecordFileDialog);
    connect(cmdReport, &QPushButton::clicked, this, &StatisticsWindow::reportDialog);
    connect(cmdCancel, &QPushButton::clicked, this, &StatisticsWindow::cancelLoading);
    auto* bar = new QHBoxLayout;
    bar->addWidget(cmdOpen);
    bar->addWidget(cmdReport);
    bar->addWidget(progress, 1);
    bar->addWidget(cmdCancel);
    bar->addStretch();

    fileLabel = new QLabel(tr("No record file opened."), page);
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    noticeLabel = new QLabel(page);
    noticeLabel->setWordWrap(true);
    noticeLabel->hide();
    summaryLabel = new QLabel(page);
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    spanLabel = new QLabel(kSpanHint, page);
    spanLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Long lines wrap, so that the window fits a laptop's screen at any font.
    for (QLabel* l : {fileLabel, summaryLabel, spanLabel})
        l->setWordWrap(true);
    history = new TimeHistoryView(page);
    connect(history, &TimeHistoryView::selectionChanged, this,
            [this](qint64 from, qint64 to) { selectSpan(from, to); });
    connect(history, &TimeHistoryView::rangeChanged, this, &StatisticsWindow::describeHistory);

    auto* lower = new QTabWidget(page);
    fileIntervals = makeTable(tr("Intervals of the record file"), intervalColumns(), page);
    fileBars = new IntervalBarChart(page);
    dayTable = makeTable(tr("Day levels"),
                         {tr("Assessment day"), QStringLiteral("Ld"), QStringLiteral("Le"), QStringLiteral("Ln"),
                          QStringLiteral("Lden"), QStringLiteral("LAeq,24h")},
                         page);
    lower->addTab(fileIntervals, tr("Intervals"));
    lower->addTab(fileBars, tr("Interval levels"));
    lower->addTab(dayTable, tr("Day levels"));
    fileEvents = makeTable(tr("Events and markers"),
                           {tr("Kind"), tr("Start"), tr("End"), tr("Duration"), QStringLiteral("LAmax"),
                            QStringLiteral("LAeq"), QStringLiteral("SEL"), tr("State"), tr("Note")},
                           page);
    // A row shows its stretch of time, with ten seconds around it.
    connect(fileEvents, &QTableWidget::cellActivated, this, [this](int row) {
        if (!analysis_ || row < 0 || size_t(row) >= analysis_->events.events.size()) return;
        const NoiseEvent& e = analysis_->events.events[size_t(row)];
        history->setTimeRange(e.startLocalMs - EventTracker::kContextMs, e.endLocalMs + EventTracker::kContextMs);
    });
    lower->addTab(fileEvents, tr("Events and markers"));

    auto* split = new QSplitter(Qt::Vertical, page);
    split->addWidget(history);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 4, 0, 0);
    l->addLayout(bar);
    l->addWidget(fileLabel);
    l->addWidget(noticeLabel);
    l->addWidget(summaryLabel);
    l->addWidget(spanLabel);
    l->addWidget(split, 1);
    return page;
}

void StatisticsWindow::showLivePage() { tabs->setCurrentIndex(0); }
void StatisticsWindow::showFilePage() { tabs->setCurrentIndex(1); }

// ---------------------------------------------------------------- live

void StatisticsWindow::setLiveSource(const StatisticsRecorder* slow, const StatisticsRecorder* fast) {
    live[0].rec = slow;
    live[1].rec = fast;
    for (LiveView& v : live) {
        v.revision = ~uint64_t{0};
        v.path.clear();
    }
    refreshLive();
}

void StatisticsWindow::refreshLive() {
    for (LiveView& v : live)
        refreshStream(v);
    showLiveEvents();
}

void StatisticsWindow::showLiveEvents() {
    QString text = tr("Noise events: not recording.");
    if (events_ && events_->recording()) {
        text = events_->detecting() ? tr("Noise events: %1; %2 counted in this run.")
                                          .arg(events_->detectionText(true))
                                          .arg(events_->count())
                                    : tr("Noise events: none watched (%1).").arg(events_->detectionText(true));
        if (const std::optional<NoiseEvent> e = events_->running())
            text += tr(" Exceedance since %1, LAmax so far %2 dB.")
                        .arg(timeOfDay(e->startLocalMs), levelText(e->lmax, shownDecimalPoint()));
        else if (const std::optional<NoiseEvent>& last = events_->lastEnded())
            text += tr(" Last: %1 \u2013 %2, LAmax %3 dB, SEL %4 dB.")
                        .arg(timeOfDay(last->startLocalMs), timeOfDay(last->endLocalMs),
                             levelText(last->lmax, shownDecimalPoint()), levelText(last->sel, shownDecimalPoint()));
        if (events_->spanOpen())
            text += tr(" Marked since %1: %2.").arg(timeOfDay(events_->spanStartLocalMs()), events_->spanNote());
    }
    if (liveEvents->text() != text) liveEvents->setText(text);
}

void StatisticsWindow::refreshStream(LiveView& v) {
    const StatisticsRecorder* r = v.rec;
    if (!r || r->recordPath().isEmpty()) {
        if (v.revision == 0) return;
        v.revision = 0;
        v.title->setText(tr("No series recorded yet."));
        v.running->clear();
        v.current->clear();
        v.analyse->setEnabled(false);
        v.table->setRowCount(0);
        v.bars->setIntervals({}, 0);
        return;
    }
    if (r->revision() == v.revision) return;
    v.revision = r->revision();
    const QChar d = shownDecimalPoint();
    const int32_t limit = r->seriesConfig().limitTenths;
    if (r->recordPath() != v.path) {  // a new series: a new table
        v.path = r->recordPath();
        v.table->setRowCount(0);
    }
    const IntervalEngine& e = r->engine();
    v.title->setText(QStringLiteral("%1 \u2014 %2%3")
                         .arg(QString::fromStdString(e.typeWord()), QFileInfo(v.path).fileName(),
                              r->active() ? QString() : tr(" (ended)")));
    v.analyse->setEnabled(true);
    const IntervalResult s = r->active() ? e.series() : r->lastSeries();
    if (s.samples > 0)
        v.running->setText(tr("Since %1:  %2").arg(localDateTimeText(s.startMs), levels(s, d, false)) +
                           tr("   (%1 samples)").arg(s.samples));
    else
        v.running->setText(tr("Waiting for the first sample."));
    const IntervalResult c = e.currentInterval();
    if (r->active() && e.intervalOpen() && c.samples > 0)
        v.current->setText(
            tr("Interval %1 \u2013 %2:  %3").arg(timeOfDay(c.startMs), timeOfDay(c.endMs), levels(c, d, true)));
    else
        v.current->setText(r->active() ? tr("Interval: no sample yet") : QString());
    const std::vector<IntervalResult>& done = r->intervals();
    if (size_t(v.table->rowCount()) < done.size()) {
        const std::vector<IntervalResult> added(done.begin() + v.table->rowCount(), done.end());
        fillIntervalTable(v.table, added, d, true, ZoneTimeline::zoneNamed(r->seriesConfig().timeZone));
        v.table->scrollToBottom();
    }
    v.bars->setIntervals(done, limit, d);
}

// ---------------------------------------------------------------- files

void StatisticsWindow::openRecordFileDialog() {
    auto* dialog =
        new QFileDialog(this, tr("Open record file"), analysis_ ? QFileInfo(analysis_->path).path() : recordDirectory_);
    dialog->setObjectName(QStringLiteral("OpenRecordFileDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // A proxy model filters only Qt's own dialog.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setProxyModel(new RecordFileFilter(dialog));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        showFilePage();
        openRecordFile(path);
    });
    dialog->open();
}

bool StatisticsWindow::isLoading() const { return load_ && load_->thread; }

void StatisticsWindow::stopJob(std::shared_ptr<Job>& job) {
    if (!job) return;
    job->cancel = true;
    if (job->thread) job->thread->wait();
    job.reset();
}

void StatisticsWindow::cancelLoading() {
    if (!load_) return;
    load_->cancel = true;  // the worker stops at its next block; finished() tidies up
}

void StatisticsWindow::updateProgress() {
    const std::shared_ptr<Job>& j = load_ ? load_ : spanJob_;
    if (!j) return;
    const int64_t total = j->total.load();
    progress->setValue(total > 0 ? int(j->done.load() * 1000 / total) : 0);
}

void StatisticsWindow::openRecordFile(const QString& path) {
    stopJob(load_);
    stopJob(spanJob_);
    auto job = std::make_shared<Job>();
    auto result = std::make_shared<RecordAnalysis>();
    const StatisticsConfig cfg = fileConfig_;
    ProgressFn progressFn = job->progress();
    // Days and interval boundaries in the zone the file was recorded in, not this computer's; marked
    // spans leave samples out only where a closed side file vouches for them.
    job->thread = QThread::create([result, path, cfg, progressFn] {
        StatisticsConfig c = cfg;
        QString zone, offset;
        seriesZone(path, &zone, &offset);
        c.timeZone = zone.toUtf8();
        c.startOffsetMs = ZoneTimeline::offsetMsOf(offset);
        *result = analyzeRecordFile(path, c, progressFn, reportEvidenceFor(path).eventsVouchedBytes);
    });
    load_ = job;
    fileLabel->setText(tr("Reading %1 \u2026").arg(QDir::toNativeSeparators(path)));
    // Nothing of the file shown before stays on screen as if it were this one's.
    clearFilePage();
    progress->setFormat(tr("Reading %p%"));
    progress->setValue(0);
    progress->show();
    cmdCancel->show();
    progressTimer_.start();
    connect(job->thread, &QThread::finished, this, [this, job, result] {
        job->thread->deleteLater();
        if (load_ != job) return;  // replaced meanwhile
        load_.reset();
        progressTimer_.stop();
        progress->hide();
        cmdCancel->hide();
        if (analysis_) showAnalysis();  // the file shown before, again
        if (result->read.status == RecordReadResult::Status::Cancelled) {
            fileLabel->setText(tr("Reading %1 was cancelled.").arg(QFileInfo(result->path).fileName()));
            emit fileLoaded(false);
            return;
        }
        if (!result->ok()) {
            // Said in the window rather than in a box: the file shown before stays usable.
            fileLabel->setText(tr("Cannot read the record file: ") + result->read.error);
            emit fileLoaded(false);
            return;
        }
        analysis_ = result;
        showAnalysis();
        emit fileLoaded(true);
    });
    job->thread->start(QThread::LowPriority);
}

void StatisticsWindow::clearFilePage() {
    noticeLabel->hide();
    summaryLabel->clear();
    spanLabel->clear();
    history->setHistory(nullptr, 0);
    fileIntervals->setRowCount(0);
    fileBars->setIntervals({}, 0);
    dayTable->setRowCount(0);
    fileEvents->setRowCount(0);
    history->setSpans({});
    cmdReport->setEnabled(false);
}

void StatisticsWindow::showAnalysis() {
    const RecordAnalysis& a = *analysis_;
    const QChar d = shownDecimalPoint();
    const IntervalResult& s = a.summary;
    const bool any = s.samples + s.skipped > 0;
    fileLabel->setText(tr("%1 \u2014 %2\n%3 to %4 (%5), intervals of %6")
                           .arg(QDir::toNativeSeparators(a.path), quantityText(a.typeWord),
                                any ? localDateTimeText(s.startMs) : QStringLiteral("-"),
                                any ? localDateTimeText(s.startMs + a.coveredMs()) : QStringLiteral("-"),
                                durationText(a.coveredMs()),
                                a.config.intervalSeconds < 60 ? tr("%1 s").arg(a.config.intervalSeconds)
                                                              : tr("%1 min").arg(a.config.intervalSeconds / 60)));
    QStringList notices = a.read.notices;
    if (!a.events.error.isEmpty()) notices << a.events.error;
    noticeLabel->setText(notices.join(QLatin1Char('\n')));
    noticeLabel->setVisible(!notices.isEmpty());
    summaryLabel->setText(tr("Whole file:  %1   (%2 samples, %3 without a level, %4 at estimated instants, "
                             "%5 overflow, %6 underflow)")
                              .arg(levels(s, d, false, true))
                              .arg(s.samples)
                              .arg(s.skipped)
                              .arg(s.estimated)
                              .arg(s.overflow)
                              .arg(s.underflow) +
                          (a.withoutMarked.samples > 0 || a.markedSamples > 0
                               ? tr("\nWithout the marked spans:  %1   (%2 samples left out)")
                                     .arg(levels(a.withoutMarked, d, false))
                                     .arg(a.markedSamples)
                               : QString()));
    spanLabel->setText(tr(kSpanHint));
    history->setHistory(&a.history, a.config.limitTenths);
    fillIntervalTable(fileIntervals, a.intervals, d, false, a.zone);
    fileBars->setIntervals(a.intervals, a.config.limitTenths, d);
    fillDayTable(a);
    fillEventsTable(a);
    cmdReport->setEnabled(true);
}

void StatisticsWindow::fillEventsTable(const RecordAnalysis& a) {
    const QChar d = shownDecimalPoint();
    const std::vector<NoiseEvent>& events = a.events.events;
    history->setSpans(shadedSpansOf(events));
    fileEvents->setRowCount(int(events.size()));
    for (size_t i = 0; i < events.size(); ++i) {
        const NoiseEvent& e = events[i];
        const QString cells[] = {e.kind == EventKind::Marker ? tr("Marker") : tr("Exceedance"),
                                 localDateTimeText(e.startLocalMs),
                                 timeOfDay(e.endLocalMs),
                                 QString::number(e.durationMs / 1000.0, 'f', 1).replace(QLatin1Char('.'), d),
                                 levelText(e.lmax, d),
                                 levelText(e.leq, d),
                                 levelText(e.sel, d),
                                 e.open ? tr("open") : tr("closed"),
                                 QString::fromStdString(e.note)};
        for (int c = 0; c < 9; ++c)
            fileEvents->setItem(int(i), c, new QTableWidgetItem(cells[c]));
    }
}

void StatisticsWindow::fillDayTable(const RecordAnalysis& a) {
    const QChar d = shownDecimalPoint();
    const DayPeriods p = a.config.periods.valid() ? a.config.periods : DayPeriods();
    auto hour = [](int h) {
        return QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0'));
    };
    dayTable->setHorizontalHeaderLabels(
        {tr("Assessment day"), QStringLiteral("Ld %1\u2013%2").arg(hour(p.dayStartHour), hour(p.eveningStartHour)),
         QStringLiteral("Le %1\u2013%2").arg(hour(p.eveningStartHour), hour(p.nightStartHour)),
         QStringLiteral("Ln %1\u2013%2").arg(hour(p.nightStartHour), hour(p.dayStartHour)), QStringLiteral("Lden"),
         QStringLiteral("LAeq,24h")});
    auto period = [&](const PeriodLevel& pl) {
        return periodLevelText(pl, d);
    };
    auto whole = [&](const DayLevels& day, double level) {
        return wholeDayText(day, level, d);
    };
    const bool given = gives(a.quantity, Statistic::Leq);
    dayTable->setRowCount(given ? int(a.days.size()) : 0);
    if (!given) return;
    for (size_t i = 0; i < a.days.size(); ++i) {
        const DayLevels& day = a.days[i];
        QString date = localDateTimeText(int64_t{day.dayNumber} * 86400000).left(10);
        if (day.lengthMs() != 24 * 3600000) date += QStringLiteral(" (%1 h)").arg(day.lengthMs() / 3600000);
        if (day.estimated > 0) date += tr(", estimated");
        const QString cells[] = {date,
                                 period(day.day),
                                 period(day.evening),
                                 period(day.night),
                                 whole(day, day.lden()),
                                 whole(day, day.laeq24())};
        for (int c = 0; c < 6; ++c)
            dayTable->setItem(int(i), c, new QTableWidgetItem(cells[c]));
    }
}

void StatisticsWindow::selectSpan(int64_t fromMs, int64_t toMs) {
    if (!analysis_) return;
    stopJob(spanJob_);
    if (history->selectionFrom() != fromMs || history->selectionTo() != toMs) {
        QSignalBlocker block(history);
        history->setSelection(fromMs, toMs);
    }
    auto job = std::make_shared<Job>();
    auto result = std::make_shared<IntervalResult>();
    const std::shared_ptr<RecordAnalysis> a = analysis_;
    ProgressFn progressFn = job->progress();
    job->thread = QThread::create([a, result, fromMs, toMs, progressFn] {
        bool ok = false;
        *result = analyzeSpan(*a, fromMs, toMs, progressFn, &ok);
        if (!ok) result->samples = -1;
    });
    spanJob_ = job;
    spanLabel->setText(tr("Span %1 \u2013 %2: reading \u2026").arg(localDateTimeText(fromMs), endText(fromMs, toMs)));
    describeHistory();
    connect(job->thread, &QThread::finished, this, [this, job, result] {
        job->thread->deleteLater();
        if (spanJob_ != job) return;
        spanJob_.reset();
        span_ = *result;
        showSpan();
        emit spanComputed();
    });
    job->thread->start(QThread::LowPriority);
}

void StatisticsWindow::showSpan() {
    const QChar d = shownDecimalPoint();
    if (span_.samples < 0) {
        spanLabel->setText(tr("The span could not be read again from the file."));
        describeHistory();
        return;
    }
    spanLabel->setText(tr("Span %1 \u2013 %2 (%3):  %4   (%5 samples)")
                           .arg(localDateTimeText(span_.startMs), endText(span_.startMs, span_.endMs),
                                durationText(span_.endMs - span_.startMs), levels(span_, d, false, true))
                           .arg(span_.samples));
    describeHistory();
}

bool StatisticsWindow::writeReport(const QString& pdfPath, QString* error) const {
    if (!analysis_) {
        if (error) *error = tr("No record file is open.");
        return false;
    }
    ReportOptions o;
    o.serialNumber = serial_;
    o.programVersion = QStringLiteral(KESTRO_APP_TITLE " " KESTRO_VERSION_STRING);
    o.decimalSeparator = QLatin1Char(analysis_->read.decimalSeparator);
    o.evidence = reportEvidenceFor(analysis_->path);
    if (reportLanguage_) o.language = ReportLanguage(reportLanguage_());
    return writeReportPdf(*analysis_, o, pdfPath, error);
}

void StatisticsWindow::reportDialog() {
    if (!analysis_) return;
    const QFileInfo fi(analysis_->path);
    const QString out = QFileDialog::getSaveFileName(this, tr("PDF report"),
                                                     fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".pdf")),
                                                     QStringLiteral("PDF (*.pdf)"));
    if (out.isEmpty()) return;
    QString error;
    if (!writeReport(out, &error)) QMessageBox::warning(this, windowTitle(), error);
}

}  // namespace kestro
