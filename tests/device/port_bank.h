#pragma once
// Several simulated trackers, each behind its own named port, as one serial port that opens
// whichever of them a name picks. Records the order in which names were opened.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/bootloader_model.h"
#include "sim/sim_link.h"

namespace ostrel::test {

class PortBank : public SerialPort {
  public:
    // A port whose tracker answers everything, or ignores the first sync it gets.
    sim::BootloaderModel& Add(const std::string& name, bool answersSync = true) {
        auto& entry = ports_[name];
        entry.model = std::make_unique<sim::BootloaderModel>();
        entry.link = std::make_unique<sim::SimLink>(*entry.model, name);
        if (!answersSync) {
            entry.model->AddFault({.kind = sim::FaultKind::Silence, .command = sim::Command::Sync});
        }
        return *entry.model;
    }
    sim::SimLink& Link(const std::string& name) { return *ports_.at(name).link; }
    bool AnyOpen() const {
        for (const auto& [name, entry] : ports_) {
            if (entry.link->IsOpen()) return true;
        }
        return false;
    }

    bool OpenPort(const std::string& name) override {
        opened.push_back(name);
        auto it = ports_.find(name);
        if (it == ports_.end() || !it->second.link->OpenPort(name)) return false;
        current_ = it->second.link.get();
        return true;
    }
    void ClosePort() override {
        ++closes;
        if (current_ != nullptr) current_->ClosePort();
        current_ = nullptr;
    }
    void FlushInput() override {
        if (current_ != nullptr) current_->FlushInput();
    }
    std::int32_t PendingInputCount() override {
        return current_ != nullptr ? current_->PendingInputCount() : 0;
    }
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& got) override {
        got = 0;
        return current_ != nullptr && current_->ReadExact(buffer, count, got);
    }
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override {
        return current_ != nullptr && current_->WriteAll(buffer, count);
    }
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override {
        return current_ != nullptr && current_->WaitForInput(tries, count);
    }

    std::vector<std::string> opened;
    int closes = 0;

  protected:
    void SleepOnePoll() override {}

  private:
    struct Entry {
        std::unique_ptr<sim::BootloaderModel> model;
        std::unique_ptr<sim::SimLink> link;
    };
    std::map<std::string, Entry> ports_;
    sim::SimLink* current_ = nullptr;
};

}  // namespace ostrel::test
