// A session's messages about the owner's files: in a bay they go where the bay's messages go
// (the bench's display, which draws them above the bays), never straight to stderr, where a
// redraw would erase them; a single run prints the same words on stderr.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/flash_session.h"
#include "cli/modes/modes.h"
#include "tests/support/files.h"

namespace ostrel::cli {
namespace {

class SessionMessages : public testing::Test {
  protected:
    void SetUp() override {
        options_.port = "/dev/ttyUSB7";  // never opened: every case stops before connecting
    }
    std::string Path(const std::string& name) const { return dir_.Path(name); }

    // What `run` told a bay's session and what reached stderr meanwhile.
    template <typename Run>
    void InBay(std::FILE* trace, Run run) {
        FlashSession session(options_, trace);
        session.SendMessagesTo([this](const std::string& line) { told_.push_back(line); });
        testing::internal::CaptureStderr();
        run(session);
        stderr_ = testing::internal::GetCapturedStderr();
    }

    test::ScratchFolder dir_{"ostrel-messages"};
    FlashOptions options_;
    std::vector<std::string> told_;
    std::string stderr_;
};

TEST_F(SessionMessages, FileErrorsOfABayAreToldThroughTheBayNotStderr) {
    std::ofstream(Path("kept.bin")) << "an earlier backup";
    options_.backupFile = Path("kept.bin");
    RunResult refused;
    InBay(nullptr, [&](FlashSession& s) { refused = UpdateTracker(s); });
    EXPECT_EQ(refused.exitCode, kExitFileFailed);
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_EQ(told_[0].rfind("ostrel-flash: cannot save the data memory to " + Path("kept.bin"), 0),
              0u);
    EXPECT_NE(told_[0].find("--overwrite-backup"), std::string::npos);
    EXPECT_NE(told_[0].find("; nothing was written into the tracker"), std::string::npos);
    EXPECT_EQ(stderr_, "");

    told_.clear();
    options_.backupFile.clear();
    options_.restoreFile = Path("missing.bin");
    InBay(nullptr, [&](FlashSession& s) { refused = RestoreTracker(s); });
    EXPECT_EQ(refused.exitCode, kExitFileFailed);
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_EQ(told_[0], "ostrel-flash: cannot read " + Path("missing.bin") +
                            ": No such file or directory; nothing was written into the tracker");
    EXPECT_EQ(stderr_, "");
}

TEST_F(SessionMessages, ATraceCutShortIsToldByTheBayAndByASingleRunOnStderr) {
    options_.traceFile = "/dev/full";  // takes nothing: every write is refused for want of room
    const std::string expected =
        "ostrel-flash: the trace /dev/full is incomplete: No space left on device; the result "
        "line says what the tracker holds";
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    RunResult finished;
    InBay(full, [&](FlashSession& s) { finished = s.Finish(RunResult{}); });
    EXPECT_TRUE(finished.traceIncomplete);
    EXPECT_EQ(finished.exitCode, kExitRecordIncomplete);
    EXPECT_EQ(told_, std::vector<std::string>{expected});
    EXPECT_EQ(stderr_, "");

    {
        FlashSession single(options_, full);
        testing::internal::CaptureStderr();
        finished = single.Finish(RunResult{});
        EXPECT_EQ(testing::internal::GetCapturedStderr(), expected + "\n");
    }
    EXPECT_EQ(finished.exitCode, kExitRecordIncomplete);
    std::fclose(full);
}

}  // namespace
}  // namespace ostrel::cli
