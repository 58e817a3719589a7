#include "cli/station/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "payload/release_identity.h"
#include "tests/support/files.h"

namespace ostrel::cli {
namespace {

// A spreadsheet reads a field with a comma, a quote or a line end only when it is quoted, its
// quotes doubled; the reason, free text, is the field that has them.
TEST(Journal, LinesAreRfc4180WithTheReleaseAndTheResult) {
    EXPECT_EQ(CsvField("no answer to the address frame"), "no answer to the address frame");
    EXPECT_EQ(CsvField("a, b"), "\"a, b\"");
    EXPECT_EQ(CsvField("the \"data\" frame"), "\"the \"\"data\"\" frame\"");
    EXPECT_EQ(CsvField("one\ntwo"), "\"one\ntwo\"");

    RunResult failed = Failed(kExitUpdateFailed, UpdateStage::Verify,
                              "the data frame answered with 0x1F (NACK), \"twice\"", 0x8E80);
    failed.port = "/dev/ttyUSB2";
    failed.bay = "1-3";
    failed.seconds = 41.25;
    const std::string start = "2026-12-08T00:30:05Z,1-3,/dev/ttyUSB2,0001,update," +
                              ReleaseLabel() + "," + kReleaseIdentity.flashSha256 +
                              ",failed,verify,0x8E80,41.2,\"the data frame answered with 0x1F "
                              "(NACK), \"\"twice\"\"\"";
    // Failed before the data memory: the owner's settings are as they were.
    const JournalRun bench{FlashMode::Update, false, true, "bench-3"};
    EXPECT_EQ(JournalLine("2026-12-08T00:30:05Z", failed, bench, "0001"),
              start + ",,complete,kept,bench-3\r\n");
    // A journal begun with twelve columns gets rows of twelve.
    EXPECT_EQ(JournalLine("2026-12-08T00:30:05Z", failed, bench, "0001", 12), start + "\r\n");
    RunResult ok;
    ok.port = "COM7";
    ok.traceIncomplete = true;
    EXPECT_EQ(JournalLine("t", ok, bench, ""), "t,,COM7,,update," + ReleaseLabel() + "," +
                                                   kReleaseIdentity.flashSha256 +
                                                   ",ok,,,0.0,,,incomplete,replaced,bench-3\r\n");
    RunResult differs;
    differs.outcome = RunOutcome::Differs;
    differs.address = 0x8C85;
    EXPECT_EQ(JournalLine("t", differs, {FlashMode::VerifyOnly}, ""),
              "t,,,,verify," + ReleaseLabel() + "," + kReleaseIdentity.flashSha256 +
                  ",differs,,,0.0,,0x8C85,,,\r\n");
    const std::string header = JournalHeader();
    EXPECT_TRUE(header.ends_with(",reason,address,trace,settings,host\r\n")) << header;
    const std::string now = UtcTimeNow();
    EXPECT_EQ(now.size(), 20u) << now;
    EXPECT_EQ(now[10], 'T');
    EXPECT_EQ(now.back(), 'Z');
}

// Two stations on one journal, each with its own opening, recording at once: one header, and
// every line whole; a journal that is there already is appended to, never emptied.
TEST(Journal, TwoWritersAtOnceNeverInterleaveAndNothingIsTruncated) {
    const test::ScratchFolder folder;
    const std::string path = folder.Path("journal.csv");
    constexpr int kLines = 300;
    std::vector<std::thread> stations;
    for (int s = 0; s < 2; ++s) {
        stations.emplace_back([&, s] {
            std::string error;
            std::unique_ptr<Journal> journal = Journal::Open(path, {}, error);
            ASSERT_NE(journal, nullptr) << error;
            for (int i = 0; i < kLines; ++i) {
                RunResult result;
                result.bay = "station" + std::to_string(s);
                result.reason = std::string(200 + i, 'x');  // long lines, to be cut if they could
                result.port = std::to_string(i);
                ASSERT_TRUE(journal->Record(result, "").written);
            }
        });
    }
    for (std::thread& station : stations) station.join();
    {
        std::string error;
        ASSERT_NE(Journal::Open(path, {}, error), nullptr) << error;
    }
    const std::string all = test::FileText(path);
    ASSERT_TRUE(all.starts_with(JournalHeader())) << all.substr(0, 200);
    std::set<std::string> seen;
    std::size_t lines = 0;
    for (std::size_t at = JournalHeader().size(); at < all.size(); ++lines) {
        const std::size_t end = all.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = all.substr(at, end - at);
        const std::size_t bay = line.find(",station");
        ASSERT_NE(bay, std::string::npos) << line;
        const std::size_t portAt = line.find(',', bay + 1) + 1;
        const int port = std::stoi(line.substr(portAt));
        EXPECT_NE(line.find("," + std::string(200 + port, 'x') + ","), std::string::npos)
            << line.substr(0, 80);
        seen.insert(line.substr(bay, portAt - bay) + std::to_string(port));
        at = end + 2;
    }
    EXPECT_EQ(lines, 2u * kLines);
    EXPECT_EQ(seen.size(), 2u * kLines);
}

// An editor's save renames a copy over the journal: the next row goes to the file now at its
// name, and the run is told so.
TEST(Journal, ARowGoesToTheFileNowAtItsName) {
    const test::ScratchFolder folder;
    const std::string path = folder.Path("journal.csv");
    std::string error;
    const std::unique_ptr<Journal> journal = Journal::Open(path, {}, error);
    ASSERT_NE(journal, nullptr) << error;
    std::filesystem::rename(path, folder.Path("aside.csv"));
    std::filesystem::copy_file(folder.Path("aside.csv"), path);
    RunResult result;
    result.port = "COM7";
    const Journal::Row row = journal->Record(result, "");
    EXPECT_TRUE(row.written) << row.error;
    EXPECT_EQ(row.notice, "the journal " + path +
                              " was replaced while this run went on: the row of COM7 and those "
                              "after it go to the file now at that name");
    EXPECT_EQ(test::FileText(folder.Path("aside.csv")), JournalHeader());
    EXPECT_NE(test::FileText(path).find(",COM7,"), std::string::npos);
}

TEST(Journal, OneThatCannotBeOpenedSaysWhy) {
    std::string error;
    EXPECT_EQ(Journal::Open("/nonexistent-dir/journal.csv", {}, error), nullptr);
    EXPECT_TRUE(error.starts_with("cannot write the journal /nonexistent-dir/journal.csv: "))
        << error;
}

}  // namespace
}  // namespace ostrel::cli
