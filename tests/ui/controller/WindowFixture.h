#pragma once
// The main window over the session of the session tests; timers stay off and
// the tests run the ticks themselves.

#include "session/SessionFixture.h"
#include "ui/controller/frmKestroRecord.h"

#include <QRadioButton>

namespace kestro::test {

class WindowFixture : public SessionFixture {
protected:
    void SetUp() override {
        SessionFixture::SetUp();
        w = std::make_unique<frmKestroRecord>(*s, false);
        w->ShowMainWindow();
    }
    template <size_t N>
    static int checked(const std::array<QRadioButton*, N>& opts) {
        for (size_t i = 0; i < N; ++i)
            if (opts[i]->isChecked()) return int(i);
        return -1;
    }
    // A handler that counts its calls.
    static std::function<void()> counter(int& n) {
        return [&n] {
            ++n;
        };
    }
    int checkedMode() const { return checked(w->optMeasurementMode); }
    int checkedRange() const { return checked(w->optRange); }

    std::unique_ptr<frmKestroRecord> w;
};

}  // namespace kestro::test
