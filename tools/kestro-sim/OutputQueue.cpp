#include "OutputQueue.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace kestrosim {

OutputQueue::OutputQueue(const Config& cfg, std::uint64_t seed) : cfg_(cfg), rng_(seed) {}

bool OutputQueue::push(const SimLine& line, const std::string& noise) {
    if (queue_.size() >= cfg_.maxLines) {
        ++dropped_;
        return false;
    }
    Item it;
    it.line = line;
    it.bytes = noise + line.text + '\r';
    queue_.push_back(std::move(it));
    return true;
}

void OutputQueue::dropAll() {
    dropped_ += queue_.size();
    queue_.clear();
}

void OutputQueue::refill(double nowMs) {
    if (lastRefillMs_ >= 0.0 && nowMs > lastRefillMs_)
        allowance_ = std::min(kBurstBytes, allowance_ + (nowMs - lastRefillMs_) * kBytesPerMs);
    lastRefillMs_ = nowMs;
}

std::size_t OutputQueue::neededBytes(const Item& it) const {
    const std::size_t end = it.pieceEnd > it.off ? it.pieceEnd : it.bytes.size();
    return std::min(end - it.off, kPacedChunk);
}

double OutputQueue::nextWakeMs(double nowMs) const {
    if (queue_.empty()) return -1.0;
    const Item& it = queue_.front();
    double t = std::max(nowMs, it.notBefore);
    if (cfg_.lineRate) {
        double have = allowance_;
        if (lastRefillMs_ >= 0.0 && t > lastRefillMs_)
            have = std::min(kBurstBytes, have + (t - lastRefillMs_) * kBytesPerMs);
        const double need = static_cast<double>(neededBytes(it));
        if (have < need) t += (need - have) / kBytesPerMs;
    }
    return t;
}

OutputQueue::Result OutputQueue::service(double nowMs, const WriteFn& write, const SentFn& sent) {
    if (cfg_.lineRate) refill(nowMs);
    while (!queue_.empty()) {
        Item& it = queue_.front();
        if (nowMs < it.notBefore) return Result::Waiting;
        if (it.pieceEnd <= it.off) {
            const std::size_t left = it.bytes.size() - it.off;
            it.pieceEnd = it.bytes.size();
            if (cfg_.split && left > 1)
                it.pieceEnd = it.off + std::uniform_int_distribution<std::size_t>(1, left)(rng_);
        }
        std::size_t n = it.pieceEnd - it.off;
        if (cfg_.lineRate) {
            if (allowance_ < static_cast<double>(neededBytes(it))) return Result::Waiting;
            n = std::min(n, static_cast<std::size_t>(allowance_));
        }
        const ssize_t w = write(it.bytes.data() + it.off, n);
        if (w < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Result::Blocked;
            return Result::HungUp;
        }
        const auto done = static_cast<std::size_t>(w);
        it.off += done;
        bytesOut_ += done;
        if (cfg_.lineRate) allowance_ -= static_cast<double>(done);
        if (it.off == it.bytes.size()) {
            const SimLine line = std::move(it.line);
            queue_.pop_front();
            sent(line, nowMs);
            continue;
        }
        if (done < n) return Result::Blocked;
        if (cfg_.split && it.off == it.pieceEnd) {
            it.notBefore = nowMs + std::uniform_int_distribution<int>(1, 20)(rng_);
            return Result::Waiting;
        }
    }
    return Result::Idle;
}

}  // namespace kestrosim
