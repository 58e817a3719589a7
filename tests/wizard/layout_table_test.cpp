// The layout table: every control once, in its identifier's place, and the relations the design
// keeps between controls.
#include "wizard/layout_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ostrel::wizard {
namespace {

int Right(ControlId id) {
    return Layout(id).geometry.left + Layout(id).geometry.width;
}

TEST(WizardLayoutTable, EachControlOnceInItsIdentifiersPlace) {
    std::set<std::string> names;
    int index = 0;
    for (const ControlLayout& control : Controls()) {
        EXPECT_EQ(static_cast<int>(control.id), index++) << control.name;
        EXPECT_TRUE(names.insert(control.name).second) << control.name;
        EXPECT_GE(control.page, 0);
        EXPECT_LE(control.page, kPageCount);
        const bool oneLine = control.kind == ControlKind::Label ||
                             control.kind == ControlKind::Button ||
                             control.kind == ControlKind::CheckBox;
        if (oneLine) {
            EXPECT_EQ(control.lines.size(), 1u) << control.name;
        }
        if (control.kind == ControlKind::TextBlock) {
            EXPECT_GT(control.lineHeight, 0) << control.name;
        }
    }
    EXPECT_EQ(index, kControlCount);
    EXPECT_STREQ(PageName(1), "TabSheet1");
    EXPECT_STREQ(PageName(5), "TabSheet5");
}

TEST(WizardLayoutTable, StateLabelsShareTheirRightEdges) {
    EXPECT_EQ(Right(ControlId::lbConnected), 383);
    EXPECT_EQ(Right(ControlId::lbNotConnected), 383);
    for (ControlId id : {ControlId::lbWriteOn, ControlId::lbWriteOK, ControlId::lbWriteErr,
                         ControlId::lbVerifyOn, ControlId::lbVerifyOK, ControlId::lbVerifyErr}) {
        EXPECT_EQ(Right(id), 391) << Layout(id).name;
        EXPECT_EQ(Layout(id).align, Align::Right);
    }
    EXPECT_EQ(Layout(ControlId::lbWriteOn).geometry.top, Layout(ControlId::BarWrite).geometry.top);
    EXPECT_EQ(Layout(ControlId::lbVerifyOn).geometry.top,
              Layout(ControlId::BarVerify).geometry.top);
}

// The letters that look alike: Cyrillic "СОМ" and "ОК" in the texts, the Latin "OK" on Next.
TEST(WizardLayoutTable, LookAlikeLettersAreTheRightOnes) {
    EXPECT_STREQ(Layout(ControlId::RichEdit1).lines[8],
                 "\u0421\u041e\u041c порта фирмы Silicon Laboratories.");
    EXPECT_STREQ(Layout(ControlId::lbWriteOK).lines[0], "\u041e\u041a");
    EXPECT_STREQ(Layout(ControlId::lbVerifyOK).lines[0], "\u041e\u041a");
    EXPECT_STREQ(texts::kFinish, "OK");
    EXPECT_STREQ(Layout(ControlId::RichEdit1).lines[10],
                 "находится в архиве, и также доступен по ссылке  ");
}

TEST(WizardLayoutTable, PageContainerFollowsTheRightEdgeAndStretchesInHeight) {
    EXPECT_EQ(PageContainerGeometry(kClientWidth, kClientHeight),
              Layout(ControlId::PageControl1).geometry);
    EXPECT_EQ(PageContainerGeometry(800, 500), (Rect{800 - 13 - 417, 0, 417, 500 - 79}));
}

}  // namespace
}  // namespace ostrel::wizard
