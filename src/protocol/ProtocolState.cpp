#include "protocol/ProtocolState.h"

namespace kestro {

DeviceModule& moduleOf(ProtocolState& ps) { return ps.m_; }

void ProtocolState::handOff(SampleSink& sink) {
    m_.SlowBuffer.takePending(slowTaken_);
    m_.FastBuffer.takePending(fastTaken_);
    sink.takeSamples(slowTaken_, fastTaken_);
}

void ProtocolState::handOffFast(SampleSink& sink) {
    m_.FastBuffer.takePending(fastTaken_);
    sink.takeFastSamples(fastTaken_);
}

void ProtocolState::handOffCalibration(SampleSink& sink) {
    if (m_.PendingCalibration.empty()) return;  // every tick: nothing to hand on, almost always
    readingsTaken_.clear();
    readingsTaken_.swap(m_.PendingCalibration);
    sink.takeCalibration(readingsTaken_);
}

size_t ProtocolState::retainedBytes() const {
    return m_.SlowBuffer.retainedBytes() + m_.FastBuffer.retainedBytes() +
           (slowTaken_.capacity() + fastTaken_.capacity()) * sizeof(SampleSink::Batch::value_type);
}

}  // namespace kestro
