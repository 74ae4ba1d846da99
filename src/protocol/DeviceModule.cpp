#include "protocol/DeviceModule.h"

#include "core/Errors.h"
#include "protocol/Interpreter.h"

#include <algorithm>
#include <cstring>

namespace kestro {

namespace {

int16_t countCr(std::string_view s) { return static_cast<int16_t>(std::count(s.begin(), s.end(), '\r')); }

}  // namespace

DeviceModule::DeviceModule(const Clock& clock, ErrorLogFn log) : clock_(clock), log_(std::move(log)) {}

void DeviceModule::noteCalibrationReading(const CalibrationReading& r) {
    if (PendingCalibration.size() >= kMaxPendingCalibration) PendingCalibration.erase(PendingCalibration.begin());
    PendingCalibration.push_back(r);
}

std::string_view DeviceModule::rxPending() const { return std::string_view(rx_).substr(rxHead_); }

int DeviceModule::ReadRxChars(std::string& out, int n) {
    const size_t pending = rx_.size() - rxHead_;
    const size_t take = n <= 0 ? 0 : std::min(pending, static_cast<size_t>(n));
    out.assign(rx_, rxHead_, take);
    rxHead_ += take;
    RxCharCount = static_cast<int16_t>(RxCharCount - static_cast<int16_t>(take));
    if (rxHead_ == rx_.size()) {
        rx_.clear();
        rxHead_ = 0;
    }
    return static_cast<int>(take);
}

int16_t DeviceModule::ResetReceiveBuffer() {
    RxCharCount = 0;
    rx_.clear();
    rxHead_ = 0;
    AnswerWatchdog = 0;
    RxLineCount = 0;
    rxFlooding_ = false;
    return kTrue;
}

void DeviceModule::appendReceived(std::string_view data) {
    if (data.empty()) return;
    size_t pending = rx_.size() - rxHead_;
    const size_t total = pending + data.size();
    if (total > static_cast<size_t>(kRxCapacity)) {
        // Keep the newest characters: the oldest belong to a line that is too
        // long to be an answer anyway.
        size_t drop = total - kRxCapacity;
        const size_t dropOld = std::min(drop, pending);
        RxLineCount = static_cast<int16_t>(RxLineCount - countCr(std::string_view(rx_).substr(rxHead_, dropOld)));
        rxHead_ += dropOld;
        pending -= dropOld;
        data.remove_prefix(drop - dropOld);  // never counted, so no line bookkeeping
        if (!rxFlooding_) {
            rxFlooding_ = true;
            logError(label::kReceiveBuffer, kErrReceiveOverflow);
        }
    }
    // Compact once the consumed part outweighs the rest: amortised O(1) per character.
    if (rxHead_ > 0 && rxHead_ >= pending) {
        rx_.erase(0, rxHead_);
        rxHead_ = 0;
    }
    const int16_t crs = countCr(data);
    if (crs > 0) rxFlooding_ = false;  // the long line has ended
    rx_.append(data.data(), data.size());
    RxLineCount = static_cast<int16_t>(RxLineCount + crs);
    RxCharCount = static_cast<int16_t>(pending + data.size());
}

void DeviceModule::receiveEvent(std::string_view data) {
    do {
        const size_t pending = rx_.size() - rxHead_;
        const size_t room = pending < static_cast<size_t>(kRxCapacity) ? kRxCapacity - pending : 0;
        size_t n = data.size();
        if (n > room) {
            if (room > 0) {
                n = room;
            } else {
                // Full of one unfinished line: let it overflow up to its end.
                const size_t cr = data.find('\r');
                n = cr == std::string_view::npos ? data.size() : cr + 1;
            }
        }
        appendReceived(data.substr(0, n));
        data.remove_prefix(n);
        unappended_ = data.size();
        while (RxLineCount != 0)
            Interpreter(*this);
    } while (!data.empty());
}

}  // namespace kestro
