#pragma once
// Several simulated trackers, each behind its own named port, as one serial port that opens
// whichever a name picks. Records the order in which names were opened.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_link.h"

namespace ostrel::test {

class PortBank : public SerialPort {
  public:
    // A port whose tracker answers, or ignores the first sync it gets.
    sim::BootloaderModel& Add(const std::string& name, bool answersSync = true) {
        Entry& e = ports_[name];
        e.model = std::make_unique<sim::BootloaderModel>();
        e.link = std::make_unique<sim::SimLink>(*e.model, name);
        if (!answersSync)
            e.model->AddFault({.kind = sim::FaultKind::Silence, .command = sim::Command::Sync});
        return *e.model;
    }
    sim::SimLink& Link(const std::string& name) { return *ports_.at(name).link; }
    bool AnyOpen() const {
        for (const auto& [name, e] : ports_) {
            if (e.link->IsOpen()) return true;
        }
        return false;
    }

    bool OpenPort(const std::string& name) override {
        opened.push_back(name);
        auto it = ports_.find(name);
        if (it == ports_.end() || !it->second.link->OpenPort(name)) return false;
        open_ = it->second.link.get();
        return true;
    }
    void ClosePort() override {
        if (open_) open_->ClosePort();
        open_ = nullptr;
    }
    void FlushInput() override { Current().FlushInput(); }
    std::int32_t PendingInputCount() override { return Current().PendingInputCount(); }
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& got) override {
        return Current().ReadExact(buffer, count, got);
    }
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override {
        return Current().WriteAll(buffer, count);
    }
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override {
        return Current().WaitForInput(tries, count);
    }

    std::vector<std::string> opened;

  protected:
    bool AwaitOneTry(std::uint16_t count) override { return Current().WaitForInput(1, count); }

  private:
    struct Entry {
        std::unique_ptr<sim::BootloaderModel> model;
        std::unique_ptr<sim::SimLink> link;
    };
    // With no port open, a closed link stands in: every operation fails or reports 0.
    sim::SimLink& Current() { return open_ ? *open_ : closed_; }

    std::map<std::string, Entry> ports_;
    sim::SimLink* open_ = nullptr;
    sim::BootloaderModel nobody_;
    sim::SimLink closed_{nobody_};
};

}  // namespace ostrel::test
