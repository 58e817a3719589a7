#pragma once
// UpdateEvents that records what the update reported: one line per event ("begin write 232",
// "progress verify 3/232", "end data failed"), the progress counts per stage, and a hook
// called after each progress event (to pull the adapter out mid-run, say).
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/update_events.h"

namespace ostrel::test {

class RecordingEvents : public UpdateEvents {
  public:
    void StageBegun(UpdateStage stage, std::uint32_t total) override {
        lines.push_back(std::string("begin ") + StageName(stage) + " " + std::to_string(total));
    }
    void Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) override {
        progress[stage].push_back(done);
        if (done == total) lines.push_back(std::string("all ") + StageName(stage));
        if (onProgress) onProgress();
    }
    void StageEnded(UpdateStage stage, bool ok) override {
        lines.push_back(std::string("end ") + StageName(stage) + (ok ? " ok" : " failed"));
    }

    std::vector<std::string> lines;
    std::map<UpdateStage, std::vector<std::uint32_t>> progress;
    std::function<void()> onProgress;
};

}  // namespace ostrel::test
