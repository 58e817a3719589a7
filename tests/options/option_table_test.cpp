#include "options/option_table.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ostrel::options {
namespace {

struct Given {
    std::string name, tags;
    bool quick = false;
    std::vector<Option> Table() {
        return {{"--name", "TEXT", "who it is", Stores(name)},
                {"--quick", nullptr, "at once", Sets(quick), false, "-q"},
                {"--tag", "WORD", "a word for it;\nmay be repeated",
                 [this](const std::string& word) {
                     tags += "," + word;
                     return word == "bad" ? std::string("no bad tags") : std::string();
                 },
                 kRepeatable}};
    }
};

TEST(OptionTable, SetsWhatItsOptionsSayOrSaysWhyNot) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--name", "a", "-q", "--tag=x", "--tag", "y=z"}, "a quick,x,y=z"},
        {{"--name=b=c", "--quick", "--quick"}, "b=c quick"},
        {{"--name"}, "--name needs TEXT"},
        {{"--name="}, "--name needs TEXT"},
        {{"--name", "a", "--name=b"}, "--name is given twice: give it once"},
        {{"--nam", "a"}, "unknown argument '--nam'"},
        {{"--quick=yes"}, "unknown argument '--quick=yes'"},
        {{"--tag", "bad"}, "no bad tags"},
    };
    for (const auto& [args, outcome] : cases) {
        Given g;
        std::string error;
        const bool taken = ParseOptions(g.Table(), args, error);
        EXPECT_EQ(taken ? g.name + (g.quick ? " quick" : "") + g.tags : error, outcome);
    }
}

TEST(OptionTable, HelpListsEachOptionWithItsValueAndItsLines) {
    EXPECT_EQ(OptionsHelp(Given().Table(), 16),
              "  --name TEXT   who it is\n"
              "  -q, --quick   at once\n"
              "  --tag WORD    a word for it;\n"
              "                may be repeated\n");
}

}  // namespace
}  // namespace ostrel::options
