#include "cli/report/exchange_trace.h"

#include <ctime>
#include <mutex>

#include "cli/report/run_messages.h"
#include "core/bootloader_protocol.h"

namespace ostrel::cli {
namespace {

const char* ExchangeName(std::uint8_t command) {
    switch (command) {
        case kSyncByte:
            return "sync";
        case kCmdGet:
            return "get";
        case kCmdReadMemory:
            return "read";
        case kCmdWriteMemory:
            return "write";
        default:
            return "exchange";
    }
}

// Get's answer ends with its ACK, where the others begin with it; its outcome is told so.
std::string DescribeOutcome(const ExchangeRecord& record) {
    if (record.command != kCmdGet) return DescribeExchange(record);
    if (record.frame == ExchangeFrame::Count && record.answer == ExchangeAnswer::WrongByte) {
        return "refused: too many command codes";
    }
    if (record.frame != ExchangeFrame::Data) return DescribeExchange(record);
    if (record.answer == ExchangeAnswer::Ack) return "the answer ended with ACK";
    if (record.answer != ExchangeAnswer::Nack && record.answer != ExchangeAnswer::WrongByte) {
        return DescribeExchange(record);
    }
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", record.byte);
    return std::string("the answer ended with ") + byte;
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
    const auto now = std::chrono::steady_clock::now();
    current_ = Exchange{now, now, {}, {}};
    port_.FlushInput();
}

bool ExchangeTrace::WaitForInput(std::uint32_t tries, std::uint16_t count) {
    const bool arrived = port_.WaitForInput(tries, count);
    if (current_) current_->lastActivity = std::chrono::steady_clock::now();
    return arrived;
}

bool ExchangeTrace::ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) {
    const bool complete = port_.ReadExact(buffer, count, bytesRead);
    if (current_) {
        current_->received.emplace_back(buffer, buffer + bytesRead);
        current_->lastActivity = std::chrono::steady_clock::now();
    }
    return complete;
}

bool ExchangeTrace::WriteAll(const std::uint8_t* buffer, std::uint16_t count) {
    if (current_) {
        current_->sent.emplace_back(buffer, buffer + count);
        current_->lastActivity = std::chrono::steady_clock::now();
    }
    return port_.WriteAll(buffer, count);
}

std::string ExchangeTrace::Describe(const Exchange& exchange, bool shortened) const {
    std::string name = exchange.sent.empty() ? "exchange" : ExchangeName(outcome_->command);
    const bool block = outcome_->command == kCmdReadMemory || outcome_->command == kCmdWriteMemory;
    if (block && exchange.sent.size() >= 2 && exchange.sent[1].size() == 5) {
        char address[12];
        std::snprintf(address, sizeof address, " 0x%04X",
                      exchange.sent[1][2] << 8 | exchange.sent[1][3]);
        name += address;
    }
    char timing[64];
    std::snprintf(timing, sizeof timing, "t=%.3fs %s (%.1f ms)",
                  Milliseconds(exchange.begun - start_) / 1000, name.c_str(),
                  Milliseconds(exchange.lastActivity - exchange.begun));
    return std::string(timing) + ": sent " + HexPieces(exchange.sent, shortened) + "; received " +
           HexPieces(exchange.received, shortened) + "; " + DescribeOutcome(*outcome_);
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
