// Page 4 as the window draws it, and the keep-settings box reaching the run.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/wizard/qt/wizard_fixture.h"

namespace ostrel::test {
namespace {

// A refused data block ends on the write line's error label, which covers that line's "ОК": the
// "ОК" is hidden beneath it, so a screen reader hears only the error, and the screen is the same.
TEST(WizardWindowUpdate, ErrorLabelReplacesTheOkLabelOnTheWriteLine) {
    Wizard w;
    w.form->show();
    w.ToConnectedPage3();
    w.model.AddFault(
        {sim::FaultKind::Nack, sim::Command::WriteMemory, sim::Step::Payload, 0x1080u});
    w.Next();
    QWidget* ok = w.form->Control(ControlId::lbWriteOK);
    QWidget* error = w.form->Control(ControlId::lbWriteErr);
    EXPECT_TRUE(ok->isHidden());
    ASSERT_FALSE(error->isHidden());
    const QRect line = error->geometry();
    const QImage errorAlone = w.form->Page(4)->grab(line).toImage();
    ok->show();
    const QImage both = w.form->Page(4)->grab(line).toImage();
    EXPECT_EQ(errorAlone, both);
}

TEST(WizardWindowUpdate, TheTickedBoxKeepsTheOwnersSettings) {
    Wizard w;
    w.ToConnectedPage3();
    w.form->ControlAs<QCheckBox>(ControlId::cbKeepUser)->click();
    w.Next();
    ASSERT_EQ(w.State().UpdatePhase, Phase::Succeeded);
    for (std::uint32_t a = kDataStart; a < kUserSettings.end; ++a) {
        ASSERT_EQ(w.model.Memory()[a], sim::BootloaderModel::OwnerSettingsByte(a)) << a;
    }
}

}  // namespace
}  // namespace ostrel::test
