#pragma once
// The windowed program: the application object with the main window, the
// setup dialog, the about box, the statistics window and message boxes.

#include "app/KestroApplication.h"

#include <QPointer>
#include <memory>

namespace kestro {

class DisplayLossGuard;
class EventNotifier;
class StatisticsWindow;
class frmAbout;
class frmKestroRecord;
class frmSetup;

// The reports' language ("en", "de"; empty: none): --report-lang, else the
// stored choice; auto writes as the windows speak (--lang, else the stored choice).
QString reportLanguageFor(const AppOptions& o, cRegistry& RegObj);

class DesktopApplication : public KestroApplication {
    Q_OBJECT
public:
    explicit DesktopApplication(const AppOptions& options, QObject* parent = nullptr);
    ~DesktopApplication() override;

    void ShowSetup();
    frmKestroRecord* window() const { return window_.get(); }

protected:
    std::unique_ptr<MessageSink> makeMessageSink() override;
    void attachViews() override;
    void showViews() override;
    bool offerSetup() override;

private:
    void showAbout();
    void showStatistics(bool openFile);

    std::unique_ptr<DisplayLossGuard> displayGuard_;
    std::unique_ptr<frmKestroRecord> window_;
    std::unique_ptr<EventNotifier> notifier_;
    QPointer<frmSetup> setup_;  // both delete themselves on close
    QPointer<frmAbout> about_;
    bool setupDeclined_ = false;             // the last Setup was cancelled
    QPointer<StatisticsWindow> statistics_;  // a child of the main window
};

}  // namespace kestro
