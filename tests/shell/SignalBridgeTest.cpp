#include "shell/SignalBridge.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace kestro;

namespace {

template <typename Cond>
bool ProcessUntil(Cond cond) {
    QDeadlineTimer deadline(5000);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return cond();
}

void (*CurrentHandler(int signo))(int) {
    struct sigaction sa {};
    sigaction(signo, nullptr, &sa);
    return sa.sa_handler;
}

TEST(SignalBridgeTest, SignalsArriveAsQtSignalAndHandlersAreRestored) {
    const auto termBefore = CurrentHandler(SIGTERM);
    const auto hupBefore = CurrentHandler(SIGHUP);
    {
        SignalBridge bridge;
        {
            SignalBridge second;  // only one at a time; the inactive one leaves the handler alone
            EXPECT_FALSE(second.IsActive());
        }
        ASSERT_TRUE(bridge.IsActive());
        QList<int> received;
        QObject::connect(&bridge, &SignalBridge::terminationRequested, [&](int s) { received << s; });
        raise(SIGTERM);
        ASSERT_TRUE(ProcessUntil([&] { return !received.isEmpty(); }));
        raise(SIGTERM);  // signals before the loop runs: all are delivered
        raise(SIGINT);
        raise(SIGHUP);  // the terminal went away: an orderly end as well, not death
        ASSERT_TRUE(ProcessUntil([&] { return received.size() >= 4; }));
        EXPECT_EQ(received, (QList<int>{SIGTERM, SIGTERM, SIGINT, SIGHUP}));
    }
    EXPECT_EQ(CurrentHandler(SIGTERM), termBefore);
    EXPECT_EQ(CurrentHandler(SIGHUP), hupBefore);
}

}  // namespace
