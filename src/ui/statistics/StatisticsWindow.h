#pragma once
// The statistics window: live results of the series being recorded (one page
// per stream) and the statistics of a record file opened from disk, with its
// time history (zoom, pan, a selected span), intervals, summary, day levels
// and the PDF report. Files are read on a worker thread, so a large one never
// stalls the window or the poll cycle.

#include "settings/RecorderSettings.h"
#include "statistics/RecordAnalysis.h"
#include "statistics/StatisticsFile.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace kestro {

class EventRecorder;
class IntervalBarChart;
class StatisticsRecorder;
class TimeHistoryView;

class StatisticsWindow final : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsWindow(QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    // The recorders of the slow and the fast stream (either may be null);
    // refreshLive() shows what they hold.
    void setLiveSource(const StatisticsRecorder* slow, const StatisticsRecorder* fast);
    // The noise events of the recording, shown above the live pages.
    void setEventSource(const EventRecorder* events) { events_ = events; }
    // Interval and limit for record files opened from now on.
    void setFileConfig(const StatisticsConfig& c) { fileConfig_ = c; }
    // Where "Open record file" starts while no file is shown.
    void setRecordDirectory(const QString& dir) { recordDirectory_ = dir; }
    // The meter's serial number for reports; empty while not known.
    void setSerialNumber(const QString& s) { serial_ = s; }
    // The reports' language ("en", "de"; empty: the program's own words), asked at each report.
    void setReportLanguage(std::function<QString()> language) { reportLanguage_ = std::move(language); }

    void showLivePage();
    void showFilePage();

    // Lists the record files only: their side files would be refused.
    // The dialog (named "OpenRecordFileDialog") is window-modal and opens the chosen file.
    void openRecordFileDialog();
    // Reads the file in the background; fileLoaded tells when it is done.
    void openRecordFile(const QString& path);
    bool isLoading() const;
    void cancelLoading();
    // The file shown, or null.
    const RecordAnalysis* analysis() const { return analysis_.get(); }
    // Statistics of a span of the file shown, computed in the background (spanComputed).
    void selectSpan(int64_t fromMs, int64_t toMs);
    const IntervalResult& spanResult() const { return span_; }
    bool writeReport(const QString& pdfPath, QString* error) const;

    // Controls (named for tests and screenshots).
    QTabWidget* tabs = nullptr;
    QTabWidget* liveTabs = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdReport = nullptr;
    QPushButton* cmdCancel = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* fileLabel = nullptr;
    QLabel* noticeLabel = nullptr;
    QLabel* summaryLabel = nullptr;
    QLabel* spanLabel = nullptr;
    TimeHistoryView* history = nullptr;
    IntervalBarChart* fileBars = nullptr;
    QTableWidget* fileIntervals = nullptr;
    QTableWidget* dayTable = nullptr;
    QLabel* liveEvents = nullptr;        // what is watched, what runs, the last exceedance
    QTableWidget* fileEvents = nullptr;  // the events file of the record file shown
    struct LiveView {
        QLabel* title = nullptr;
        QLabel* running = nullptr;
        QLabel* current = nullptr;
        QPushButton* analyse = nullptr;
        IntervalBarChart* bars = nullptr;
        QTableWidget* table = nullptr;
        const StatisticsRecorder* rec = nullptr;
        uint64_t revision = ~uint64_t{0};
        QString path;
    };
    std::array<LiveView, 2> live;  // slow, fast

public slots:
    // Call on every poll tick while recording (cheap when nothing changed).
    void refreshLive();
    void reportDialog();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

signals:
    void fileLoaded(bool ok);
    void spanComputed();

private:
    struct Job;
    QWidget* buildLivePage();
    QWidget* buildFilePage();
    void refreshStream(LiveView& v);
    void showAnalysis();
    void clearFilePage();
    void fillDayTable(const RecordAnalysis& a);
    void showSpan();
    void describeHistory();
    void applyPaletteColours();
    void stopJob(std::shared_ptr<Job>& job);
    void updateProgress();

    void showLiveEvents();
    void fillEventsTable(const RecordAnalysis& a);

    const EventRecorder* events_ = nullptr;
    StatisticsConfig fileConfig_;
    QString serial_;
    std::function<QString()> reportLanguage_;
    QString recordDirectory_;
    std::shared_ptr<RecordAnalysis> analysis_;
    std::shared_ptr<Job> load_;
    std::shared_ptr<Job> spanJob_;
    IntervalResult span_;
    QTimer progressTimer_;
    QTimer liveTimer_;  // while shown: the live pages follow every poll tick
};

// Fills a table with interval rows (Start, End, Samples, levels, counts, over
// limit), recorded in zone: the repeated hour's rows carry their UTC offset.
void fillIntervalTable(QTableWidget* t, const std::vector<IntervalResult>& rows, QChar decimal, bool append,
                       const QTimeZone& zone = QTimeZone::systemTimeZone());

}  // namespace kestro
