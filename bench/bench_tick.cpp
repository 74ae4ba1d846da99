// One poll tick, called directly, of the session with the main window and of
// the session alone (headless): with every displayed item changed since the
// last tick (function, variant, level, status, range, battery), and idle
// (nothing changed). Targets: changed < 1 ms, idle < 50 us.

#include "link/frmCOMx.h"
#include "protocol/ProtocolState.h"
#include "session/Session.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"
#include "support/FakeSerialPort.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"
#include "ui/controller/frmKestroRecord.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

using namespace kestro;

namespace {

struct Bench {
    explicit Bench(bool withWindow) {
        qputenv("KESTRO_COM1", QFile::encodeName(tmp.filePath(QStringLiteral("meter"))));
        cRegistry w(files);
        writeSetting(w, setting(SettingId::COMPort), 1);
        com = std::make_unique<frmCOMx>(reg, log, messages, FakeSerialPort::factoryInto(port));
        com->InitForm();
        session = std::make_unique<Session>(ps, *com, reg, log, clock);
        session->Reset_KestroStateOld();
        session->Reset_KestroState();
        if (withWindow) {
            window = std::make_unique<frmKestroRecord>(*session, false);
            window->ShowMainWindow();
        }
        // Through the start-up sequence.
        session->Timer1_Timer();
        port->feed("gsn 12345678\r");
        for (int i = 0; i < 6; ++i) {
            port->feed("gds 11203\r");
            session->Timer1_Timer();
        }
        port->clearWritten();
    }
    QTemporaryDir tmp;
    ManualClock clock;
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath(QStringLiteral("user.json")), tmp.filePath(QStringLiteral("machine.json"))};
    cRegistry reg{files};
    ProtocolState ps{clock};
    RecordingMessageSink messages;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<frmCOMx> com;
    std::unique_ptr<Session> session;
    std::unique_ptr<frmKestroRecord> window;
};

Bench& fixture(bool withWindow = true) {
    // They live until the process ends, with the application.
    static Bench* windowed = new Bench(true);
    static Bench* headless = new Bench(false);
    return withWindow ? *windowed : *headless;
}

// Two device states that differ in every displayed item.
void setState(KestroStateRecord& s, bool odd) {
    s.DevFunction = odd ? 2 : 1;
    s.DevVariant = odd ? 2 : 1;
    s.DevRange = odd ? 6 : 3;
    s.DevLevel = odd ? 734 : 1005;
    s.DevLevelStatus = odd ? 5 : 0;
    s.DevBattery = odd ? 2 : 3;
    s.DataValid |= kValidFunction | kValidVariant | kValidRange | kValidLevel | kValidLevelStatus | kValidBattery;
}

// Every displayed item changes on every tick; with repaint, the regions the
// tick invalidated are also painted (offscreen).
void tickEveryItemChanged(benchmark::State& state, bool repaint, bool withWindow = true) {
    Bench& b = fixture(withWindow);
    bool odd = false;
    int n = 0;
    for (auto _ : state) {
        setState(moduleOf(b.ps).KestroState, odd = !odd);
        b.ps.setAnswerWatchdog(5);
        b.session->Timer1_Timer();
        if (repaint) QCoreApplication::processEvents();
        if (++n % 4096 == 0) b.port->clearWritten();
    }
}
void BM_TickEveryItemChanged(benchmark::State& state) { tickEveryItemChanged(state, false); }
void BM_TickEveryItemChangedAndRepaint(benchmark::State& state) { tickEveryItemChanged(state, true); }
void BM_HeadlessTickEveryItemChanged(benchmark::State& state) { tickEveryItemChanged(state, false, false); }
BENCHMARK(BM_TickEveryItemChanged);
BENCHMARK(BM_TickEveryItemChangedAndRepaint);
BENCHMARK(BM_HeadlessTickEveryItemChanged);

void tickIdle(benchmark::State& state, bool withWindow) {
    Bench& b = fixture(withWindow);
    setState(moduleOf(b.ps).KestroState, false);
    b.ps.setAnswerWatchdog(5);
    b.session->Timer1_Timer();
    int n = 0;
    for (auto _ : state) {
        b.ps.setAnswerWatchdog(5);
        b.session->Timer1_Timer();
        if (++n % 4096 == 0) b.port->clearWritten();
    }
}
void BM_TickIdle(benchmark::State& state) { tickIdle(state, true); }
void BM_HeadlessTickIdle(benchmark::State& state) { tickIdle(state, false); }
BENCHMARK(BM_TickIdle);
BENCHMARK(BM_HeadlessTickIdle);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
