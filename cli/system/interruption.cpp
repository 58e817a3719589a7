#include "cli/system/interruption.h"

#include <atomic>

namespace ostrel::cli {
namespace {

// Written from a signal handler (or Windows' console handler thread), so lock-free.
std::atomic<int> requests{0};
std::atomic<bool> finishInHand{false};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

int CountInterruptionRequest() {
    return requests.fetch_add(1) + 1;
}

void LetTrackersInHandFinish(bool finish) {
    finishInHand.store(finish);
}

StopAsked RequestedStop() {
    const int count = requests.load();
    if (count == 0) return StopAsked::Nothing;
    if (finishInHand.load() && count == 1) return StopAsked::NoNewTracker;
    return StopAsked::AtNextExchange;
}

bool InterruptionRequested() {
    return RequestedStop() == StopAsked::AtNextExchange;
}

bool RequestEndsAtOnce(int count) {
    return count > (finishInHand.load() ? 2 : 1);
}

bool EndAtOnceRequested() {
    return RequestEndsAtOnce(requests.load());
}

bool InterruptibleLink::OpenPort(const std::string& name) {
    if (InterruptionRequested()) stopped_ = true;
    return !stopped_ && port_.OpenPort(name);
}

void InterruptibleLink::FlushInput() {
    if (InterruptionRequested()) stopped_ = true;
    if (!stopped_) port_.FlushInput();
}

std::int32_t InterruptibleLink::PendingInputCount() {
    return stopped_ ? 0 : port_.PendingInputCount();
}

bool InterruptibleLink::WaitForInput(std::uint32_t tries, std::uint16_t count) {
    return !stopped_ && port_.WaitForInput(tries, count);
}

bool InterruptibleLink::ReadExact(std::uint8_t* buffer, std::uint16_t count,
                                  std::uint32_t& bytesRead) {
    bytesRead = 0;
    return !stopped_ && port_.ReadExact(buffer, count, bytesRead);
}

bool InterruptibleLink::WriteAll(const std::uint8_t* buffer, std::uint16_t count) {
    return !stopped_ && port_.WriteAll(buffer, count);
}

}  // namespace ostrel::cli
