#pragma once
// A byte link whose device answers come from the fuzzer's input: for every frame the host
// writes, the input says how many polls later and which bytes come back.
#include <cstdint>
#include <deque>

#include "core/byte_link.h"

namespace ostrel::fuzz {

class ScriptedLink : public ByteLink {
  public:
    ScriptedLink(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    void FlushInput() override {
        const std::int32_t n = PendingInputCount();
        incoming_.erase(incoming_.begin(), incoming_.begin() + n);
    }
    std::int32_t PendingInputCount() override {
        std::int32_t n = 0;
        for (const Timed& t : incoming_) {
            if (t.at > now_) break;
            ++n;
        }
        return n;
    }
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        while (bytesRead < count && !incoming_.empty() && incoming_.front().at <= now_ + 150) {
            buffer[bytesRead++] = incoming_.front().byte;
            incoming_.pop_front();
        }
        return bytesRead == count;
    }
    bool WriteAll(const std::uint8_t*, std::uint16_t count) override {
        if (count == 0) return true;
        // Header: delay in steps of 37 polls (0 to 555), then the answer's length and bytes.
        const std::uint64_t at = now_ + 37u * (Next() & 0x0F);
        std::uint32_t length = Next();
        if (length == 0xFF) length = 4096 + Next() * 16u;  // now and then, a flood
        for (std::uint32_t i = 0; i < length && pos_ < size_; ++i)
            incoming_.push_back({at, Next()});
        return true;
    }
    std::uint64_t Now() const { return now_; }

  protected:
    bool AwaitOneTry(std::uint16_t count) override {
        if (PendingInputCount() >= count) return true;
        ++now_;
        return PendingInputCount() >= count;
    }

  private:
    struct Timed {
        std::uint64_t at;
        std::uint8_t byte;
    };
    std::uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint64_t now_ = 0;
    std::deque<Timed> incoming_;
};

}  // namespace ostrel::fuzz
