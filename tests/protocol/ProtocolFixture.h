#pragma once
// A protocol state on a hand-driven clock, with every logged error kept.

#include "protocol/DeviceModule.h"
#include "protocol/Interpreter.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestro::test {

struct LoggedError {
    std::string label;
    int32_t errNo;
    bool operator==(const LoggedError& o) const { return label == o.label && errNo == o.errNo; }
};

class ProtocolTest : public ::testing::Test {
protected:
    ManualClock clock;
    std::vector<LoggedError> errors;
    DeviceModule ps{clock, [this](const std::string& l, int32_t n) {
                        errors.push_back({l, n});
                    }};

    void feed(std::string_view s) { ps.receiveEvent(s); }

    // The state the poll cycle leaves after a reset, so that every change is visible.
    void resetLikePollCycle(int16_t function = 0, int16_t variant = 0) {
        KestroStateRecord& k = ps.KestroState;
        k = notReceivedState();
        k.DevFunction = function;
        k.DevVariant = variant;
    }

    void expectDrained() {
        EXPECT_EQ(ps.RxCharCount, 0);
        EXPECT_EQ(ps.RxLineCount, 0);
        EXPECT_TRUE(ps.rxPending().empty());
    }
};

}  // namespace kestro::test
