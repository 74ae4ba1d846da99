#include "shell/SignalBridge.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace kestro;

namespace {

// Pumps events until the condition holds or a generous deadline passes.
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

TEST(SignalBridgeTest, SignalsArriveAsQtSignal) {
    const auto termBefore = CurrentHandler(SIGTERM);
    const auto intBefore = CurrentHandler(SIGINT);
    {
        SignalBridge bridge;
        ASSERT_TRUE(bridge.IsActive());
        QList<int> received;
        QObject::connect(&bridge, &SignalBridge::terminationRequested, [&](int s) { received << s; });
        for (int signo : {SIGTERM, SIGINT, SIGTERM}) {
            SCOPED_TRACE(signo);
            const qsizetype before = received.size();
            ASSERT_EQ(raise(signo), 0);
            ASSERT_TRUE(ProcessUntil([&] { return received.size() > before; }));
            EXPECT_EQ(received.last(), signo);
        }
        // Two signals before the loop runs: both are delivered.
        raise(SIGTERM);
        raise(SIGINT);
        ASSERT_TRUE(ProcessUntil([&] { return received.size() >= 5; }));
        EXPECT_EQ(received.mid(3), (QList<int>{SIGTERM, SIGINT}));
    }
    EXPECT_EQ(CurrentHandler(SIGTERM), termBefore);
    EXPECT_EQ(CurrentHandler(SIGINT), intBefore);
}

TEST(SignalBridgeTest, OnlyOneBridgeAtATime) {
    SignalBridge first;
    {
        SignalBridge second;
        EXPECT_TRUE(first.IsActive());
        EXPECT_FALSE(second.IsActive());
    }
    // The inactive one must not have torn down the first one's handler.
    bool got = false;
    QObject::connect(&first, &SignalBridge::terminationRequested, [&](int) { got = true; });
    raise(SIGTERM);
    EXPECT_TRUE(ProcessUntil([&] { return got; }));
}

}  // namespace
