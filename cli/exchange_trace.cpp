#include "cli/exchange_trace.h"

#include <cstdio>

namespace ostrel::cli {
namespace {

constexpr std::uint8_t kAckByte = 0x79;
constexpr std::uint8_t kNackByte = 0x1F;
constexpr std::uint8_t kReadCommand = 0x11;

std::string FrameName(int frame, std::uint8_t command) {
    switch (frame) {
        case 1:
            return "command frame";
        case 2:
            return "address frame";
        case 3:
            return command == kReadCommand ? "length frame" : "data frame";
        default:
            return "frame";
    }
}

}  // namespace

bool ExchangeTrace::OpenPort(const std::string& name) {
    lastPort_ = name;
    lastOpenOk_ = port_.OpenPort(name);
    return lastOpenOk_;
}

void ExchangeTrace::FlushInput() {
    framesSent_ = 0;
    command_ = 0;
    waitFailed_ = false;
    firstAnswerByte_.reset();
    port_.FlushInput();
}

bool ExchangeTrace::WaitForInput(std::uint32_t tries, std::uint16_t count) {
    const bool arrived = port_.WaitForInput(tries, count);
    waitFailed_ = !arrived;
    awaited_ = count;
    arrivedAtTimeout_ = arrived ? 0 : port_.PendingInputCount();
    return arrived;
}

bool ExchangeTrace::ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) {
    const bool complete = port_.ReadExact(buffer, count, bytesRead);
    firstAnswerByte_.reset();
    if (bytesRead > 0) firstAnswerByte_ = buffer[0];
    return complete;
}

bool ExchangeTrace::WriteAll(const std::uint8_t* buffer, std::uint16_t count) {
    if (++framesSent_ == 1 && count > 0) command_ = buffer[0];
    return port_.WriteAll(buffer, count);
}

std::string ExchangeTrace::DescribeLastExchange() const {
    const std::string frame = FrameName(framesSent_, command_);
    if (waitFailed_ && arrivedAtTimeout_ > 0) {
        return "only " + std::to_string(arrivedAtTimeout_) + " of the " + std::to_string(awaited_) +
               " answer bytes to the " + frame + " arrived";
    }
    if (waitFailed_ || !firstAnswerByte_) return "no answer to the " + frame;
    if (*firstAnswerByte_ == kAckByte) return "the " + frame + " was acknowledged";
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", *firstAnswerByte_);
    return "the " + frame + " answered with " + byte +
           (*firstAnswerByte_ == kNackByte ? " (NACK)" : "");
}

}  // namespace ostrel::cli
