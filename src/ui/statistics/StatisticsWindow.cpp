#include "ui/statistics/StatisticsWindow.h"

#include "kestro/Version.h"
#include "recording/EvidenceFiles.h"
#include "report/ReportDocument.h"
#include "statistics/StatisticsRecorder.h"
#include "ui/statistics/StatisticsViews.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>

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

const QStringList kIntervalColumns = {
    QStringLiteral("Start"),     QStringLiteral("End"),       QStringLiteral("Samples"), QStringLiteral("Leq"),
    QStringLiteral("Lmax"),      QStringLiteral("Lmin"),      QStringLiteral("L5"),      QStringLiteral("L10"),
    QStringLiteral("L50"),       QStringLiteral("L90"),       QStringLiteral("L95"),     QStringLiteral("Overflow"),
    QStringLiteral("Underflow"), QStringLiteral("Over limit")};

QTableWidget* MakeTable(const QStringList& columns, QWidget* parent) {
    auto* t = new QTableWidget(0, int(columns.size()), parent);
    t->setHorizontalHeaderLabels(columns);
    t->verticalHeader()->setVisible(false);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setAlternatingRowColors(true);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    return t;
}

QString Levels(const IntervalResult& r, QChar d, bool withLN) {
    QString s = QStringLiteral("Leq %1 dB   Lmax %2   Lmin %3")
                    .arg(LevelText(r.leq, d), LevelText(r.lmax, d), LevelText(r.lmin, d));
    if (withLN) s += QStringLiteral("   L10 %1   L90 %2").arg(LevelText(r.l10, d), LevelText(r.l90, d));
    return s;
}

QString TimeOfDay(int64_t ms) { return LocalDateTimeText(ms).mid(11); }

}  // namespace

void FillIntervalTable(QTableWidget* t, const std::vector<IntervalResult>& rows, QChar d, bool append) {
    if (!append) t->setRowCount(0);
    t->setUpdatesEnabled(false);
    const int first = t->rowCount();
    t->setRowCount(first + int(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const IntervalResult& r = rows[i];
        const QString cells[] = {LocalDateTimeText(r.startMs), TimeOfDay(r.endMs),
                                 QString::number(r.samples),   LevelText(r.leq, d),
                                 LevelText(r.lmax, d),         LevelText(r.lmin, d),
                                 LevelText(r.l5, d),           LevelText(r.l10, d),
                                 LevelText(r.l50, d),          LevelText(r.l90, d),
                                 LevelText(r.l95, d),          QString::number(r.overflow),
                                 QString::number(r.underflow), r.overLimit ? QStringLiteral("yes") : QString()};
        for (int c = 0; c < int(std::size(cells)); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(c >= 2 ? (Qt::AlignRight | Qt::AlignVCenter) : (Qt::AlignLeft | Qt::AlignVCenter));
            if (r.overLimit) item->setForeground(kOverLimitColour);
            t->setItem(first + int(i), c, item);
        }
    }
    t->setUpdatesEnabled(true);
}

StatisticsWindow::StatisticsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmStatistics"));
    setWindowTitle(QStringLiteral("Statistics"));
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabsStatistics"));
    tabs->addTab(BuildLivePage(), QStringLiteral("Current recording"));
    tabs->addTab(BuildFilePage(), QStringLiteral("Record file"));
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(6, 6, 6, 6);
    top->addWidget(tabs);
    resize(900, 640);
    progressTimer_.setInterval(100);
    connect(&progressTimer_, &QTimer::timeout, this, &StatisticsWindow::UpdateProgress);
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

StatisticsWindow::~StatisticsWindow() {
    StopJob(load_);
    StopJob(spanJob_);
}

QWidget* StatisticsWindow::BuildLivePage() {
    auto* page = new QWidget;
    liveTabs = new QTabWidget(page);
    const char* names[] = {"Slow values", "Fast values"};
    for (size_t i = 0; i < live.size(); ++i) {
        LiveView& v = live[i];
        auto* w = new QWidget;
        v.title = new QLabel(w);
        QFont bold = v.title->font();
        bold.setBold(true);
        v.title->setFont(bold);
        v.running = new QLabel(w);
        v.current = new QLabel(w);
        v.analyse = new QPushButton(QStringLiteral("Analyse this record file"), w);
        v.analyse->setEnabled(false);
        connect(v.analyse, &QPushButton::clicked, this, [this, i] {
            if (live[i].path.isEmpty()) return;
            openRecordFile(live[i].path);
            showFilePage();
        });
        v.bars = new IntervalBarChart(w);
        v.table = MakeTable(kIntervalColumns, w);
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
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 4, 0, 0);
    l->addWidget(liveTabs);
    return page;
}

QWidget* StatisticsWindow::BuildFilePage() {
    auto* page = new QWidget;
    cmdOpen = new QPushButton(QStringLiteral("Open record file\u2026"), page);
    cmdOpen->setObjectName(QStringLiteral("cmdOpenRecordFile"));
    cmdReport = new QPushButton(QStringLiteral("PDF report\u2026"), page);
    cmdReport->setObjectName(QStringLiteral("cmdReport"));
    cmdReport->setEnabled(false);
    progress = new QProgressBar(page);
    progress->setRange(0, 1000);
    progress->setTextVisible(true);
    progress->setFormat(QStringLiteral("Reading %p%"));
    progress->hide();
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), page);
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

    fileLabel = new QLabel(QStringLiteral("No record file opened."), page);
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    noticeLabel = new QLabel(page);
    noticeLabel->setStyleSheet(QStringLiteral("color: #965a00"));
    noticeLabel->setWordWrap(true);
    noticeLabel->hide();
    summaryLabel = new QLabel(page);
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    spanLabel = new QLabel(QStringLiteral("Select a span with Shift+drag or the right mouse button."), page);
    spanLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    history = new TimeHistoryView(page);
    connect(history, &TimeHistoryView::selectionChanged, this,
            [this](qint64 from, qint64 to) { selectSpan(from, to); });

    auto* lower = new QTabWidget(page);
    fileIntervals = MakeTable(kIntervalColumns, page);
    fileBars = new IntervalBarChart(page);
    dayTable = MakeTable({QStringLiteral("Date"), QStringLiteral("Ld 07-19"), QStringLiteral("Le 19-23"),
                          QStringLiteral("Ln 23-07"), QStringLiteral("Lden")},
                         page);
    lower->addTab(fileIntervals, QStringLiteral("Intervals"));
    lower->addTab(fileBars, QStringLiteral("Interval Leq"));
    lower->addTab(dayTable, QStringLiteral("Day levels"));

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
        RefreshStream(v);
}

void StatisticsWindow::RefreshStream(LiveView& v) {
    const StatisticsRecorder* r = v.rec;
    if (!r || r->recordPath().isEmpty()) {
        if (v.revision == 0) return;
        v.revision = 0;
        v.title->setText(QStringLiteral("No series recorded yet."));
        v.running->clear();
        v.current->clear();
        v.analyse->setEnabled(false);
        v.table->setRowCount(0);
        v.bars->setIntervals({}, 0);
        return;
    }
    if (r->revision() == v.revision) return;
    v.revision = r->revision();
    const QChar d = r->seriesConfig().decimalSeparator;
    const int32_t limit = r->seriesConfig().limitTenths;
    if (r->recordPath() != v.path) {  // a new series: a new table
        v.path = r->recordPath();
        v.table->setRowCount(0);
    }
    const IntervalEngine& e = r->engine();
    v.title->setText(QStringLiteral("%1 \u2014 %2%3")
                         .arg(QString::fromStdString(e.typeWord()), QFileInfo(v.path).fileName(),
                              r->active() ? QString() : QStringLiteral(" (ended)")));
    v.analyse->setEnabled(true);
    const IntervalResult s = r->active() ? e.series() : r->lastSeries();
    if (s.samples > 0)
        v.running->setText(QStringLiteral("Since %1:  %2").arg(LocalDateTimeText(s.startMs), Levels(s, d, false)) +
                           QStringLiteral("   (%1 samples)").arg(s.samples));
    else
        v.running->setText(QStringLiteral("Waiting for the first sample."));
    const IntervalResult c = e.currentInterval();
    if (r->active() && e.intervalOpen() && c.samples > 0)
        v.current->setText(QStringLiteral("Interval %1 \u2013 %2:  %3")
                               .arg(TimeOfDay(c.startMs), TimeOfDay(c.endMs), Levels(c, d, true)));
    else
        v.current->setText(r->active() ? QStringLiteral("Interval: no sample yet") : QString());
    const std::vector<IntervalResult>& done = r->intervals();
    if (size_t(v.table->rowCount()) < done.size()) {
        const std::vector<IntervalResult> added(done.begin() + v.table->rowCount(), done.end());
        FillIntervalTable(v.table, added, d, true);
        v.table->scrollToBottom();
    }
    v.bars->setIntervals(done, limit);
}

// ---------------------------------------------------------------- files

void StatisticsWindow::openRecordFileDialog() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open record file"),
                                                      analysis_ ? QFileInfo(analysis_->path).path() : QString(),
                                                      QStringLiteral("Record files (*_*_*_*);;All files (*)"));
    if (path.isEmpty()) return;
    showFilePage();
    openRecordFile(path);
}

bool StatisticsWindow::isLoading() const { return load_ && load_->thread; }

void StatisticsWindow::StopJob(std::shared_ptr<Job>& job) {
    if (!job) return;
    job->cancel = true;
    if (job->thread) job->thread->wait();
    job.reset();
}

void StatisticsWindow::cancelLoading() {
    if (!load_) return;
    load_->cancel = true;  // the worker stops at its next block; finished() tidies up
}

void StatisticsWindow::UpdateProgress() {
    const std::shared_ptr<Job>& j = load_ ? load_ : spanJob_;
    if (!j) return;
    const int64_t total = j->total.load();
    progress->setValue(total > 0 ? int(j->done.load() * 1000 / total) : 0);
}

void StatisticsWindow::openRecordFile(const QString& path) {
    StopJob(load_);
    StopJob(spanJob_);
    auto job = std::make_shared<Job>();
    auto result = std::make_shared<RecordAnalysis>();
    const StatisticsConfig cfg = fileConfig_;
    ProgressFn progressFn = job->progress();
    job->thread =
        QThread::create([result, path, cfg, progressFn] { *result = AnalyzeRecordFile(path, cfg, progressFn); });
    load_ = job;
    fileLabel->setText(QStringLiteral("Reading %1 \u2026").arg(QDir::toNativeSeparators(path)));
    progress->setFormat(QStringLiteral("Reading %p%"));
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
        if (result->read.status == RecordReadResult::Status::Cancelled) {
            fileLabel->setText(QStringLiteral("Reading %1 was cancelled.").arg(QFileInfo(result->path).fileName()));
            emit fileLoaded(false);
            return;
        }
        if (!result->ok()) {
            // Said in the window rather than in a box: the file shown before stays usable.
            fileLabel->setText(QStringLiteral("Cannot read the record file: ") + result->read.error);
            emit fileLoaded(false);
            return;
        }
        analysis_ = result;
        ShowAnalysis();
        emit fileLoaded(true);
    });
    job->thread->start(QThread::LowPriority);
}

void StatisticsWindow::ShowAnalysis() {
    const RecordAnalysis& a = *analysis_;
    const QChar d = QLatin1Char(a.read.decimalSeparator);
    const IntervalResult& s = a.summary;
    fileLabel->setText(QStringLiteral("%1 \u2014 %2, %3 to %4 (%5), intervals of %6 min")
                           .arg(QDir::toNativeSeparators(a.path), a.typeWord,
                                s.samples > 0 ? LocalDateTimeText(s.startMs) : QStringLiteral("-"),
                                s.samples > 0 ? LocalDateTimeText(s.endMs) : QStringLiteral("-"),
                                DurationText(s.endMs - s.startMs))
                           .arg(a.config.intervalSeconds / 60));
    noticeLabel->setText(a.read.notices.join(QLatin1Char('\n')));
    noticeLabel->setVisible(!a.read.notices.isEmpty());
    summaryLabel->setText(QStringLiteral("Whole file:  %1   L5 %2   L10 %3   L50 %4   L90 %5   L95 %6   "
                                         "(%7 samples, %8 without a level, %9 overflow, %10 underflow)")
                              .arg(Levels(s, d, false), LevelText(s.l5, d), LevelText(s.l10, d), LevelText(s.l50, d),
                                   LevelText(s.l90, d), LevelText(s.l95, d))
                              .arg(s.samples)
                              .arg(s.skipped)
                              .arg(s.overflow)
                              .arg(s.underflow));
    spanLabel->setText(QStringLiteral("Select a span with Shift+drag or the right mouse button."));
    history->setHistory(&a.history, a.config.limitTenths);
    FillIntervalTable(fileIntervals, a.intervals, d, false);
    fileBars->setIntervals(a.intervals, a.config.limitTenths);
    dayTable->setRowCount(int(a.days.size()));
    auto period = [&](const PeriodLevel& p) {
        return p.samples == 0
                   ? QStringLiteral("-")
                   : LevelText(p.level(), d) + QStringLiteral(" (%1 h)").arg(p.coveredMs / 3600000.0, 0, 'f', 1);
    };
    for (size_t i = 0; i < a.days.size(); ++i) {
        const DayLevels& day = a.days[i];
        const QString cells[] = {LocalDateTimeText(int64_t{day.dayNumber} * 86400000).left(10), period(day.day),
                                 period(day.evening), period(day.night), LevelText(day.lden(), d)};
        for (int c = 0; c < 5; ++c)
            dayTable->setItem(int(i), c, new QTableWidgetItem(cells[c]));
    }
    cmdReport->setEnabled(true);
}

void StatisticsWindow::selectSpan(int64_t fromMs, int64_t toMs) {
    if (!analysis_) return;
    StopJob(spanJob_);
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
        *result = AnalyzeSpan(*a, fromMs, toMs, progressFn, &ok);
        if (!ok) result->samples = -1;
    });
    spanJob_ = job;
    spanLabel->setText(
        QStringLiteral("Span %1 \u2013 %2: reading \u2026").arg(LocalDateTimeText(fromMs), TimeOfDay(toMs)));
    connect(job->thread, &QThread::finished, this, [this, job, result] {
        job->thread->deleteLater();
        if (spanJob_ != job) return;
        spanJob_.reset();
        span_ = *result;
        ShowSpan();
        emit spanComputed();
    });
    job->thread->start(QThread::LowPriority);
}

void StatisticsWindow::ShowSpan() {
    const QChar d = analysis_ ? QLatin1Char(analysis_->read.decimalSeparator) : QLatin1Char('.');
    if (span_.samples < 0) {
        spanLabel->setText(QStringLiteral("The span could not be read again from the file."));
        return;
    }
    spanLabel->setText(QStringLiteral("Span %1 \u2013 %2 (%3):  %4   L5 %5   L10 %6   L50 %7   L90 %8   L95 %9")
                           .arg(LocalDateTimeText(span_.startMs), TimeOfDay(span_.endMs),
                                DurationText(span_.endMs - span_.startMs), Levels(span_, d, false),
                                LevelText(span_.l5, d), LevelText(span_.l10, d), LevelText(span_.l50, d),
                                LevelText(span_.l90, d), LevelText(span_.l95, d)) +
                       QStringLiteral("   (%1 samples)").arg(span_.samples));
}

bool StatisticsWindow::writeReport(const QString& pdfPath, QString* error) const {
    if (!analysis_) {
        if (error) *error = QStringLiteral("No record file is open.");
        return false;
    }
    ReportOptions o;
    o.serialNumber = serial_;
    o.programVersion = QStringLiteral(KESTRO_APP_TITLE " " KESTRO_VERSION_STRING);
    o.decimalSeparator = QLatin1Char(analysis_->read.decimalSeparator);
    o.evidence = reportEvidenceFor(analysis_->path);
    return WriteReportPdf(*analysis_, o, pdfPath, error);
}

void StatisticsWindow::reportDialog() {
    if (!analysis_) return;
    const QFileInfo fi(analysis_->path);
    const QString out = QFileDialog::getSaveFileName(this, QStringLiteral("PDF report"),
                                                     fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".pdf")),
                                                     QStringLiteral("PDF (*.pdf)"));
    if (out.isEmpty()) return;
    QString error;
    if (!writeReport(out, &error)) QMessageBox::warning(this, windowTitle(), error);
}

}  // namespace kestro
