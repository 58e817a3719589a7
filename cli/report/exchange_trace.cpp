#include "cli/report/exchange_trace.h"

#include <ctime>
#include <mutex>

#include "cli/report/run_messages.h"

namespace ostrel::cli {
namespace {

constexpr std::uint8_t kAckByte = 0x79;
constexpr std::uint8_t kNackByte = 0x1F;
constexpr std::uint8_t kSyncByte = 0x7F;
constexpr std::uint8_t kGetCommand = 0x00;
constexpr std::uint8_t kReadCommand = 0x11;
constexpr std::uint8_t kWriteCommand = 0x31;

ExchangeFrame FrameOf(int framesSent, std::uint8_t command) {
    switch (framesSent) {
        case 2:
            return ExchangeFrame::Address;
        case 3:
            return command == kReadCommand ? ExchangeFrame::Count : ExchangeFrame::Data;
        default:
            return command == kSyncByte ? ExchangeFrame::Sync : ExchangeFrame::Command;
    }
}

std::string HexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// Frames or reads in hex, "31 CE | 00 00 8C 00 8C", or "-" when there were none. Shortened,
// a piece longer than 8 bytes shows its first 4 and its size: "79 5B 12 08 ... (129 bytes)".
std::string HexPieces(const std::vector<std::vector<std::uint8_t>>& pieces, bool shortened) {
    constexpr std::size_t kShortPiece = 8;
    constexpr std::size_t kShownBytes = 4;
    if (pieces.empty()) return "-";
    std::string text;
    for (const std::vector<std::uint8_t>& piece : pieces) {
        if (!text.empty()) text += " |";
        const bool cut = shortened && piece.size() > kShortPiece;
        for (std::size_t i = 0; i < (cut ? kShownBytes : piece.size()); ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", piece[i]);
            text += hex;
        }
        if (cut) text += " ... (" + std::to_string(piece.size()) + " bytes)";
    }
    return text.substr(1);
}

double Milliseconds(std::chrono::steady_clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

}  // namespace

// std::localtime fills one buffer for the whole process, and the bays of a bench open their
// ports and traces from their own threads: each takes a copy under one lock.
std::tm LocalTime(std::time_t clock) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    return *std::localtime(&clock);
}

bool ExchangeTrace::OpenPort(const std::string& name) {
    EndExchange();
    lastPort_ = name;
    lastOpenOk_ = port_.OpenPort(name);
    // The clock time once a port, so a trace can be matched with what happened on the bench.
    char now[32] = "";
    const std::time_t clock = std::time(nullptr);
    const std::tm local = LocalTime(clock);
    std::strftime(now, sizeof now, " at %Y-%m-%d %H:%M:%S", &local);
    Note("open " + name + now + (lastOpenOk_ ? ": ok" : ": failed"));
    return lastOpenOk_;
}

void ExchangeTrace::ClosePort() {
    EndExchange();
    Note("close " + lastPort_);
    port_.ClosePort();
}

void ExchangeTrace::FlushInput() {
    EndExchange();
    framesSent_ = 0;
    command_ = 0;
    waitFailed_ = false;
    firstAnswerByte_.reset();
    lastAnswerByte_.reset();
    const auto now = std::chrono::steady_clock::now();
    current_ = Exchange{now, now, {}, {}};
    port_.FlushInput();
}

bool ExchangeTrace::WaitForInput(std::uint32_t tries, std::uint16_t count) {
    const bool arrived = port_.WaitForInput(tries, count);
    waitFailed_ = !arrived;
    awaited_ = count;
    arrivedAtTimeout_ = arrived ? 0 : port_.PendingInputCount();
    if (current_) current_->lastActivity = std::chrono::steady_clock::now();
    return arrived;
}

bool ExchangeTrace::ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) {
    const bool complete = port_.ReadExact(buffer, count, bytesRead);
    firstAnswerByte_.reset();
    lastAnswerByte_.reset();
    if (bytesRead > 0) {
        firstAnswerByte_ = buffer[0];
        lastAnswerByte_ = buffer[bytesRead - 1];
    }
    if (current_) {
        current_->received.emplace_back(buffer, buffer + bytesRead);
        current_->lastActivity = std::chrono::steady_clock::now();
    }
    return complete;
}

bool ExchangeTrace::WriteAll(const std::uint8_t* buffer, std::uint16_t count) {
    if (++framesSent_ == 1 && count > 0) command_ = buffer[0];
    if (current_) {
        current_->sent.emplace_back(buffer, buffer + count);
        current_->lastActivity = std::chrono::steady_clock::now();
    }
    return port_.WriteAll(buffer, count);
}

ExchangeRecord ExchangeTrace::LastExchange() const {
    ExchangeRecord record;
    record.command = command_;
    record.frame = FrameOf(framesSent_, command_);
    if (waitFailed_) {
        record.answer = arrivedAtTimeout_ > 0 ? ExchangeAnswer::Short : ExchangeAnswer::None;
        record.received = static_cast<std::uint16_t>(arrivedAtTimeout_);
        record.awaited = awaited_;
    } else if (!firstAnswerByte_) {
        record.answer = ExchangeAnswer::None;
    } else if (*firstAnswerByte_ != kAckByte) {
        record.answer =
            *firstAnswerByte_ == kNackByte ? ExchangeAnswer::Nack : ExchangeAnswer::WrongByte;
        record.byte = *firstAnswerByte_;
    }
    return record;
}

std::string ExchangeTrace::Describe(const Exchange& exchange, bool shortened) const {
    std::string name = "exchange";
    const bool hasAddress = exchange.sent.size() >= 2 && exchange.sent[1].size() == 5;
    if (!exchange.sent.empty() && !exchange.sent[0].empty()) {
        const std::uint8_t first = exchange.sent[0][0];
        if (first == kSyncByte && exchange.sent[0].size() == 1) name = "sync";
        if (first == kGetCommand) name = "get";
        if (first == kReadCommand) name = "read";
        if (first == kWriteCommand) name = "write";
        if ((first == kReadCommand || first == kWriteCommand) && hasAddress) {
            char address[12];
            std::snprintf(address, sizeof address, " 0x%04X",
                          exchange.sent[1][2] << 8 | exchange.sent[1][3]);
            name += address;
        }
    }
    // Get's answer comes in three reads and ends with its ACK, where the others begin with it.
    std::string outcome = DescribeExchange(LastExchange());
    if (command_ == kGetCommand && !waitFailed_ && exchange.received.size() == 3) {
        outcome = lastAnswerByte_ == kAckByte
                      ? "the answer ended with ACK"
                      : "the answer ended with " + HexByte(lastAnswerByte_.value_or(0));
    } else if (command_ == kGetCommand && !waitFailed_ && exchange.received.size() == 2) {
        outcome = "refused: too many command codes";
    }
    char timing[64];
    std::snprintf(timing, sizeof timing, "t=%.3fs %s (%.1f ms)",
                  Milliseconds(exchange.begun - start_) / 1000, name.c_str(),
                  Milliseconds(exchange.lastActivity - exchange.begun));
    return std::string(timing) + ": sent " + HexPieces(exchange.sent, shortened) + "; received " +
           HexPieces(exchange.received, shortened) + "; " + outcome;
}

void ExchangeTrace::EndExchange() {
    if (!current_) return;
    if (file_ != nullptr) std::fprintf(file_, "%s\n", Describe(*current_, false).c_str());
    recent_.push_back(Describe(*current_, true));
    current_.reset();
    if (recent_.size() > kRecentCount) recent_.pop_front();
}

void ExchangeTrace::Note(const std::string& line) {
    if (file_ == nullptr) return;
    std::fprintf(file_, "t=%.3fs %s\n",
                 Milliseconds(std::chrono::steady_clock::now() - start_) / 1000, line.c_str());
}

std::vector<std::string> ExchangeTrace::RecentExchanges() const {
    std::vector<std::string> lines(recent_.begin(), recent_.end());
    if (current_) lines.push_back(Describe(*current_, true));
    if (lines.size() > kRecentCount) lines.erase(lines.begin());
    return lines;
}

}  // namespace ostrel::cli
