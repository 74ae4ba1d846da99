#include "shell/SignalBridge.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace kestro;

namespace {

template <typename Cond>
bool processUntil(Cond cond) {
    QDeadlineTimer deadline(5000);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return cond();
}

void (*currentHandler(int signo))(int) {
    struct sigaction sa {};
    sigaction(signo, nullptr, &sa);
    return sa.sa_handler;
}

TEST(SignalBridgeTest, SignalsArriveAsQtSignalAndHandlersAreRestored) {
    const auto termBefore = currentHandler(SIGTERM);
    const auto hupBefore = currentHandler(SIGHUP);
    {
        SignalBridge bridge;
        {
            SignalBridge second;  // only one at a time; the inactive one leaves the handler alone
            EXPECT_FALSE(second.isActive());
        }
        ASSERT_TRUE(bridge.isActive());
        QList<int> received;
        QObject::connect(&bridge, &SignalBridge::terminationRequested, [&](int s) { received << s; });
        raise(SIGTERM);
        ASSERT_TRUE(processUntil([&] { return !received.isEmpty(); }));
        raise(SIGTERM);  // signals before the loop runs: all are delivered
        raise(SIGINT);
        raise(SIGHUP);  // the terminal went away: an orderly end as well, not death
        ASSERT_TRUE(processUntil([&] { return received.size() >= 4; }));
        EXPECT_EQ(received, (QList<int>{SIGTERM, SIGTERM, SIGINT, SIGHUP}));
    }
    EXPECT_EQ(currentHandler(SIGTERM), termBefore);
    EXPECT_EQ(currentHandler(SIGHUP), hupBefore);
}

}  // namespace
