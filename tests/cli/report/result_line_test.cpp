// The result line: its words are what scripts parse, so the bench's guide that documents them for
// the users who write those scripts must name the same ones, in the same order.
#include "cli/report/result_line.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace ostrel::cli {
namespace {

TEST(ResultWords, TheStationGuideNamesEveryStageInOrderAndEveryOutcome) {
    const std::string guide = test::FileText(OSTREL_SOURCE_DIR "/docs/station.md");
    ASSERT_FALSE(guide.empty());

    // "`stage` is one of connect, backup, write (program memory), ... and trace."
    std::smatch list;
    ASSERT_TRUE(std::regex_search(guide, list, std::regex("`stage` is one of ([^.]*)\\.")));
    const std::string words = std::regex_replace(list[1].str(), std::regex("\\([^)]*\\)|,"), " ");
    std::vector<std::string> named;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        if (word != "and") named.push_back(word);
    }
    std::vector<std::string> stages;
    for (UpdateStage stage : kAllStages) stages.push_back(StageName(stage));
    EXPECT_EQ(named, stages);

    std::set<std::string> shown;
    const std::regex result("result=([a-z]+)");
    for (auto it = std::sregex_iterator(guide.begin(), guide.end(), result);
         it != std::sregex_iterator(); ++it) {
        shown.insert((*it)[1].str());
    }
    std::set<std::string> outcomes;
    for (RunOutcome outcome : kAllOutcomes) outcomes.insert(OutcomeName(outcome));
    EXPECT_EQ(shown, outcomes);
}

TEST(ResultLineText, CarriesAReasonOnlyWhenThereIsOne) {
    RunResult ok;
    ok.port = "/dev/ttyUSB0";
    EXPECT_EQ(FormatResultLine(ok).find("reason"), std::string::npos) << FormatResultLine(ok);
    const std::string failed =
        FormatResultLine(Failed(kExitFileFailed, UpdateStage::Trace, "disk full"));
    EXPECT_EQ(failed.find("result=failed stage=trace port=- "), 0u) << failed;
    EXPECT_EQ(failed.substr(failed.size() - 17), " reason=disk full");
    // An incomplete trace is said apart, before the reason, which runs to the end of the line.
    RunResult cut = Failed(kExitUpdateFailed, UpdateStage::Write, "no answer", 0x9000);
    cut.traceIncomplete = true;
    EXPECT_TRUE(FormatResultLine(cut).ends_with(" trace=incomplete reason=no answer"))
        << FormatResultLine(cut);
}

}  // namespace
}  // namespace ostrel::cli
