#include "sim/bootloader_model.h"

#include <algorithm>

namespace ostrel::sim {
namespace {
constexpr std::uint8_t kStrayPattern[] = {0x00, 0x55, 0xAA, 0x1F, 0xFF};
}

BootloaderModel::BootloaderModel() {
    for (std::uint32_t a = kFlashFirst; a <= kFlashLast; ++a) memory_[a] = OldFirmwareByte(a);
    for (std::uint32_t a = kEepromFirst; a <= kEepromLast; ++a) {
        memory_[a] = a < 0x1100 ? OwnerSettingsByte(a) : OldFirmwareByte(a);
    }
}

std::uint8_t BootloaderModel::OldFirmwareByte(std::uint32_t address) {
    return static_cast<std::uint8_t>((address * 7u + 0x35u) ^ (address >> 8));
}

std::uint8_t BootloaderModel::OwnerSettingsByte(std::uint32_t address) {
    static constexpr char kText[] = "OWNER+79161234567 PIN 0000 MODE 2 ";
    return static_cast<std::uint8_t>(kText[address % (sizeof(kText) - 1)]);
}

void BootloaderModel::Restart() {
    state_ = State::Idle;
    synced_ = false;
    frame_.clear();
    pendingFlood_ = 0;
}

void BootloaderModel::SetGetAnswer(std::uint8_t version, std::vector<std::uint8_t> codes) {
    version_ = version;
    codes_ = std::move(codes);
}

bool BootloaderModel::InMemory(std::uint32_t first, std::uint32_t count) const {
    const std::uint32_t last = first + count - 1;
    return (first >= kFlashFirst && last <= kFlashLast) ||
           (first >= kEepromFirst && last <= kEepromLast);
}

std::vector<Reply> BootloaderModel::Receive(std::span<const std::uint8_t> bytes) {
    std::vector<Reply> out;
    if (pendingFlood_ > 0) {
        Reply flood;
        for (std::uint32_t i = 0; i < pendingFlood_; ++i) {
            flood.bytes.push_back(kStrayPattern[i % std::size(kStrayPattern)]);
        }
        pendingFlood_ = 0;
        out.push_back(std::move(flood));
    }
    for (std::uint8_t byte : bytes) OnByte(byte, out);
    return out;
}

void BootloaderModel::StartExchange(Command command) {
    exchanges_.push_back({command, 0, false});
}

BootloaderModel::ArmedFault* BootloaderModel::MatchFault(Step step) {
    const ExchangeRecord& current = exchanges_.back();
    for (ArmedFault& armed : faults_) {
        const Fault& f = armed.fault;
        if (armed.fired || f.command != current.command || f.step != step) continue;
        if (step != Step::Command && f.address && *f.address != current.address) continue;
        if (++armed.seen == f.occurrence) {
            armed.fired = true;
            return &armed;
        }
    }
    return nullptr;
}

bool BootloaderModel::Answer(Step step, std::vector<std::uint8_t> bytes, bool ok, bool memoryWrite,
                             std::vector<Reply>& out) {
    Reply reply;
    reply.bytes = std::move(bytes);
    reply.afterMemoryWrite = memoryWrite && ok;
    bool keepGoing = ok;
    if (ArmedFault* armed = MatchFault(step)) {
        const Fault& f = armed->fault;
        switch (f.kind) {
            case FaultKind::Nack:
                reply.bytes = {kNack};
                keepGoing = false;
                break;
            case FaultKind::Silence:
                reply.bytes.clear();
                keepGoing = false;
                break;
            case FaultKind::Delay:
                reply.delayPolls = f.polls;
                break;
            case FaultKind::Truncate:
                reply.bytes.resize(std::min<std::size_t>(reply.bytes.size(), f.count));
                break;
            case FaultKind::WrongReadByte:
                if (reply.bytes.size() > 1 + f.count) reply.bytes[1 + f.count] ^= 0xFF;
                break;
            case FaultKind::StrayBefore:
            case FaultKind::StrayAfter: {
                std::vector<std::uint8_t> stray;
                for (std::uint32_t i = 0; i < f.count; ++i) {
                    stray.push_back(kStrayPattern[i % std::size(kStrayPattern)]);
                }
                const auto at =
                    f.kind == FaultKind::StrayBefore ? reply.bytes.begin() : reply.bytes.end();
                reply.bytes.insert(at, stray.begin(), stray.end());
                break;
            }
        }
    }
    if (!reply.bytes.empty() || reply.delayPolls > 0) out.push_back(std::move(reply));
    if (!keepGoing) state_ = State::Idle;
    return keepGoing;
}

void BootloaderModel::OnByte(std::uint8_t byte, std::vector<Reply>& out) {
    switch (state_) {
        case State::Idle:
            if (byte == 0x7F) {
                synced_ = true;
                StartExchange(Command::Sync);
                if (Answer(Step::Command, {kAck}, true, false, out)) {
                    exchanges_.back().completed = true;
                }
                return;
            }
            if (!synced_) return;  // a part that has not seen 0x7F ignores the line
            command_ = byte;
            state_ = State::Complement;
            return;

        case State::Complement: {
            const Command cmd = command_ == 0x00   ? Command::Get
                                : command_ == 0x11 ? Command::ReadMemory
                                : command_ == 0x31 ? Command::WriteMemory
                                                   : Command::Unknown;
            StartExchange(cmd);
            const bool ok = cmd != Command::Unknown && byte == (command_ ^ 0xFF);
            if (!ok) {
                Answer(Step::Command, {kNack}, false, false, out);
                return;
            }
            if (cmd == Command::Get) {
                std::vector<std::uint8_t> reply{kAck, static_cast<std::uint8_t>(codes_.size()),
                                                version_};
                reply.insert(reply.end(), codes_.begin(), codes_.end());
                reply.push_back(kAck);
                if (Answer(Step::Command, std::move(reply), true, false, out)) {
                    exchanges_.back().completed = true;
                    state_ = State::Idle;
                }
                return;
            }
            frame_.clear();
            if (Answer(Step::Command, {kAck}, true, false, out)) state_ = State::Address;
            return;
        }

        case State::Address: {
            frame_.push_back(byte);
            if (frame_.size() < 5) return;
            address_ = (std::uint32_t{frame_[0]} << 24) | (std::uint32_t{frame_[1]} << 16) |
                       (std::uint32_t{frame_[2]} << 8) | frame_[3];
            exchanges_.back().address = address_;
            const bool ok = (frame_[0] ^ frame_[1] ^ frame_[2] ^ frame_[3]) == frame_[4] &&
                            InMemory(address_, 1);
            frame_.clear();
            if (Answer(Step::Address, {ok ? kAck : kNack}, ok, false, out)) {
                state_ = command_ == 0x11 ? State::ReadLength : State::WriteData;
            }
            return;
        }

        case State::ReadLength: {
            frame_.push_back(byte);
            if (frame_.size() < 2) return;
            const std::uint32_t count = frame_[0] + 1u;
            const bool ok = frame_[1] == (frame_[0] ^ 0xFF) && count <= kMaxTransfer &&
                            InMemory(address_, count);
            std::vector<std::uint8_t> reply{ok ? kAck : kNack};
            if (ok)
                reply.insert(reply.end(), memory_.begin() + address_,
                             memory_.begin() + address_ + count);
            if (Answer(Step::Payload, std::move(reply), ok, false, out)) {
                exchanges_.back().completed = true;
            }
            state_ = State::Idle;
            return;
        }

        case State::WriteData: {
            frame_.push_back(byte);
            const std::uint32_t count = frame_[0] + 1u;
            if (frame_.size() < count + 2) return;
            std::uint8_t checksum = 0;
            for (std::uint8_t b : frame_) checksum ^= b;  // N ^ data ^ checksum is 0 when valid
            const bool ok = checksum == 0 && count <= kMaxTransfer && InMemory(address_, count);
            if (ok) {
                std::copy(frame_.begin() + 1, frame_.begin() + 1 + count,
                          memory_.begin() + address_);
                ++blocksWritten_;
            }
            if (Answer(Step::Payload, {ok ? kAck : kNack}, ok, true, out)) {
                exchanges_.back().completed = true;
            }
            state_ = State::Idle;
            return;
        }
    }
}

}  // namespace ostrel::sim
