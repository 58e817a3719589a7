// The update as page 4 shows it: the final indicators and bars of a success and of each kind of
// fault, the owner's settings kept or replaced, and what the tracker ends up holding.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "core/update_sequence.h"
#include "tests/gui/wizard_fixture.h"

namespace ostrel::test {
namespace {

using sim::Command;
using sim::Fault;
using sim::FaultKind;
using sim::Step;

constexpr std::uint32_t Block(std::uint32_t index) {
    return kFlashStart + 128 * index;
}

Names PageFour(const Wizard& w) {
    Names shown = w.ShownIndicators();
    for (const char* name : kConnectionIndicators) shown.erase(name);
    return shown;
}

bool FlashEqualsImage(const Wizard& w) {
    return std::equal(w.form->Image().begin() + kFlashStart, w.form->Image().end(),
                      w.model.Memory().begin() + kFlashStart);
}

bool SettingsUntouched(const Wizard& w) {
    for (std::uint32_t a = kDataStart; a < kUserSettingsEnd; ++a) {
        if (w.model.Memory()[a] != sim::BootloaderModel::OwnerSettingsByte(a)) return false;
    }
    return true;
}

bool DataEqualsImage(const Wizard& w, std::uint32_t from) {
    return std::equal(w.form->Image().begin() + from, w.form->Image().begin() + kDataEnd + 1,
                      w.model.Memory().begin() + from);
}

TEST(WizardUpdate, EachOutcomeLeavesItsIndicatorsAndBars) {
    struct Case {
        const char* what;
        std::optional<Fault> fault;
        Names shown;
        int barWrite;
        int barVerify;  // -1: never shown, so not checked
        std::uint8_t phase;
    };
    const std::vector<Case> cases = {
        {"success",
         std::nullopt,
         {"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "lbVerifyOK", "BarVerify", "txtWriteOK",
          "ListWriteOK"},
         100,
         100,
         5},
        {"first program block refused",
         Fault{FaultKind::Nack, Command::WriteMemory, Step::Payload, Block(0)},
         {"lbWrite", "BarWrite", "lbWriteErr", "txtWriteFail", "ListWriteFail"},
         0,
         -1,
         0},
        {"block 117 refused after 116 good ones",
         Fault{FaultKind::Silence, Command::WriteMemory, Step::Address, Block(116)},
         {"lbWrite", "BarWrite", "lbWriteErr", "txtWriteFail", "ListWriteFail"},
         50,
         -1,
         0},
        {"last program block refused",
         Fault{FaultKind::Nack, Command::WriteMemory, Step::Payload, Block(231)},
         {"lbWrite", "BarWrite", "lbWriteErr", "txtWriteFail", "ListWriteFail"},
         99,
         -1,
         0},
        {"wrong byte in the first block read back",
         Fault{FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, Block(0), 1, 0, 5},
         {"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "BarVerify", "lbVerifyErr",
          "txtWriteFail", "ListWriteFail"},
         100,
         0,
         0},
        {"read of block 117 not acknowledged",
         Fault{FaultKind::Nack, Command::ReadMemory, Step::Address, Block(116)},
         {"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "BarVerify", "lbVerifyErr",
          "txtWriteFail", "ListWriteFail"},
         100,
         50,
         0},
        {"second data block refused",
         Fault{FaultKind::Nack, Command::WriteMemory, Step::Payload, 0x1080u},
         {"lbWrite", "lbWriteOK", "lbWriteErr", "BarWrite", "lbVerify", "lbVerifyOK", "BarVerify",
          "txtWriteFail", "ListWriteFail"},
         100,
         100,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wizard w;
        w.ToConnectedPage3();
        if (c.fault) w.model.AddFault(*c.fault);
        w.Next();
        EXPECT_EQ(w.Page(), 4);
        EXPECT_EQ(PageFour(w), c.shown);
        EXPECT_EQ(w.form->BarWrite->value(), c.barWrite);
        if (c.barVerify >= 0) {
            EXPECT_EQ(w.form->BarVerify->value(), c.barVerify);
        }
        EXPECT_EQ(w.State().UpdatePhase, c.phase);
        // Whatever the outcome, both buttons are usable again and the port stays open.
        EXPECT_TRUE(w.form->btnBACK->isEnabled());
        EXPECT_TRUE(w.form->btnNEXT->isEnabled());
        EXPECT_TRUE(w.State().PortOpen);
        EXPECT_TRUE(w.State().DeviceReady);
        if (!c.fault) {
            EXPECT_TRUE(FlashEqualsImage(w));
            EXPECT_TRUE(DataEqualsImage(w, kDataStart));
        }
        // Next after any outcome leads to the closing page.
        w.Next();
        EXPECT_EQ(w.Page(), 5);
    }
}

TEST(WizardUpdate, ErrorLabelCoversTheOkLabelOnTheWriteLine) {
    Wizard w;
    w.form->show();
    w.ToConnectedPage3();
    w.model.AddFault({FaultKind::Nack, Command::WriteMemory, Step::Payload, 0x1080u});
    w.Next();
    ASSERT_FALSE(w.form->lbWriteOK->isHidden());
    ASSERT_FALSE(w.form->lbWriteErr->isHidden());
    const QRect line = w.form->lbWriteErr->geometry();
    const QImage both = w.form->TabSheet4->grab(line).toImage();
    w.form->lbWriteOK->hide();
    const QImage errorAlone = w.form->TabSheet4->grab(line).toImage();
    EXPECT_EQ(both, errorAlone);
}

TEST(WizardUpdate, KeepUserSettingsHoldsAcrossPagesAndRuns) {
    Wizard w;
    w.ToConnectedPage3();
    w.form->cbKeepUser->setChecked(true);
    w.Back();
    w.Back();
    w.Next();
    w.Next();
    EXPECT_TRUE(w.form->cbKeepUser->isChecked());
    w.Connect();
    w.Next();
    EXPECT_EQ(w.State().UpdatePhase, 5);
    EXPECT_TRUE(SettingsUntouched(w));
    EXPECT_TRUE(DataEqualsImage(w, kUserSettingsEnd));

    // A second run, still ticked: 470 exchanges, the settings still untouched.
    w.Back();
    EXPECT_TRUE(w.form->cbKeepUser->isChecked());
    w.Connect();
    w.model.ClearExchanges();
    w.Next();
    EXPECT_EQ(w.model.Exchanges().size(), 470u);
    EXPECT_TRUE(SettingsUntouched(w));

    // Unticked, the next run replaces them with the release's.
    w.Back();
    w.form->cbKeepUser->setChecked(false);
    w.Connect();
    w.model.ClearExchanges();
    w.Next();
    EXPECT_EQ(w.model.Exchanges().size(), 472u);
    EXPECT_TRUE(DataEqualsImage(w, kDataStart));
}

// A second run after a failed one: while it runs only its own starting indicators show, and
// Back and Next are disabled while Cancel stays usable.
TEST(WizardUpdate, ASecondRunStartsCleanWithBackAndNextDisabled) {
    Wizard w;
    w.ToConnectedPage3();
    w.model.AddFault({FaultKind::Nack, Command::ReadMemory, Step::Command});
    w.Next();
    ASSERT_TRUE(PageFour(w).count("lbVerifyErr"));

    w.Back();
    w.Connect();
    Names shownAtFirstPoll{"unset"};
    bool backOrNextEnabled = false;
    bool escUsable = true;
    w.link.SetPollHook([&] {
        if (shownAtFirstPoll.count("unset")) shownAtFirstPoll = PageFour(w);
        backOrNextEnabled |= w.form->btnBACK->isEnabled() || w.form->btnNEXT->isEnabled();
        escUsable &= w.form->btnESC->isEnabled() && !w.form->btnESC->isHidden();
    });
    w.Next();
    EXPECT_EQ(shownAtFirstPoll, (Names{"lbWrite", "BarWrite", "lbWriteOn"}));
    EXPECT_FALSE(backOrNextEnabled);
    EXPECT_TRUE(escUsable);
    EXPECT_EQ(w.State().UpdatePhase, 5);
}

}  // namespace
}  // namespace ostrel::test
