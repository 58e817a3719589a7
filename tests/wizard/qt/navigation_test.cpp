// Clicks and keys reach the controller, and what it decides reaches the widgets: the page
// container's page, the buttons, the indicators, the bars and the focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "tests/wizard/qt/wizard_fixture.h"

namespace ostrel::test {
namespace {

struct Buttons {
    int page;
    bool esc;   // shown
    bool back;  // shown
    const char* next;
    bool nextEnabled;
};

void ExpectButtons(const Wizard& w, const Buttons& b) {
    EXPECT_EQ(w.Page(), b.page);
    EXPECT_EQ(w.form->ControlAs<QStackedWidget>(ControlId::PageControl1)->currentWidget(),
              w.form->Page(b.page));
    EXPECT_EQ(!w.Button(ControlId::btnESC)->isHidden(), b.esc);
    EXPECT_EQ(!w.Button(ControlId::btnBACK)->isHidden(), b.back);
    EXPECT_EQ(w.Button(ControlId::btnNEXT)->text(), QString::fromUtf8(b.next));
    EXPECT_EQ(w.Button(ControlId::btnNEXT)->isEnabled(), b.nextEnabled);
}

TEST(WizardWindow, ClicksReachTheControllerAndItsDecisionsTheWidgets) {
    Wizard w;
    ExpectButtons(w, {1, true, false, "Далее", true});
    EXPECT_TRUE(w.ShownIndicators().empty());
    EXPECT_EQ(w.form->ControlAs<QListWidget>(ControlId::ListBoxVer)->item(5)->text(),
              QString::fromUtf8("версия: v2.2.5 R27"));

    w.Next();
    ExpectButtons(w, {2, true, true, "Далее", true});
    w.Back();
    ExpectButtons(w, {1, true, false, "Далее", true});
    w.Next();
    w.Next();
    ExpectButtons(w, {3, true, true, "Далее", false});
    w.directory.bridgePort.clear();
    w.Connect();
    EXPECT_EQ(w.ShownIndicators(), (Names{"lbNotConnected", "txtConnFail"}));
    w.directory.bridgePort = "SIM1";
    w.Connect();
    ExpectButtons(w, {3, true, true, "Далее", true});
    EXPECT_EQ(w.ShownIndicators(), (Names{"lbConnected", "txtConnOK"}));
    EXPECT_FALSE(w.Button(ControlId::btnConnect)->isEnabled());

    // A failed run: Next stays off; Back leads to connecting again.
    w.model.AddFault({sim::FaultKind::Nack, sim::Command::ReadMemory, sim::Step::Command});
    w.Next();
    ExpectButtons(w, {4, true, true, "Далее", false});
    EXPECT_TRUE(w.Button(ControlId::btnBACK)->isEnabled());
    EXPECT_EQ(w.form->ControlAs<QProgressBar>(ControlId::BarWrite)->value(), 100);
    EXPECT_EQ(w.form->ControlAs<QProgressBar>(ControlId::BarVerify)->value(), 0);
    w.Back();
    w.Connect();
    w.Next();
    ExpectButtons(w, {4, true, true, "Далее", true});
    EXPECT_EQ(w.form->ControlAs<QProgressBar>(ControlId::BarVerify)->value(), 100);
    EXPECT_TRUE(w.form->Control(ControlId::ListWriteOK)->isVisibleTo(w.form->Page(4)));
    EXPECT_EQ(w.form->focusWidget(), w.Button(ControlId::btnNEXT));
    w.Next();
    ExpectButtons(w, {5, false, true, "OK", true});
    w.Back();
    ExpectButtons(w, {2, true, true, "Далее", true});
}

TEST(WizardWindow, EnterPressesOnlyTheFocusedButtonAndEscapeNone) {
    Wizard w;
    w.form->show();
    w.Next();
    w.Next();
    ASSERT_EQ(w.Page(), 3);
    auto* box = w.form->ControlAs<QCheckBox>(ControlId::cbKeepUser);
    for (QWidget* focus : {static_cast<QWidget*>(box), w.form->Control(ControlId::ListBox2),
                           static_cast<QWidget*>(w.Button(ControlId::btnBACK))}) {
        SCOPED_TRACE(focus->objectName().toStdString());
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Escape);
        if (focus != w.Button(ControlId::btnBACK)) {
            QTest::keyClick(focus, Qt::Key_Return);
            QTest::keyClick(focus, Qt::Key_Enter);
        }
        EXPECT_EQ(w.Page(), 3);
        EXPECT_TRUE(w.form->isVisible());
        EXPECT_FALSE(box->isChecked());
    }
    QTest::keyClick(w.Button(ControlId::btnBACK), Qt::Key_Return);
    EXPECT_EQ(w.Page(), 2);
    QTest::keyClick(w.Button(ControlId::btnNEXT), Qt::Key_Enter);
    EXPECT_EQ(w.Page(), 3);
    QTest::keyClick(w.Button(ControlId::btnESC), Qt::Key_Escape);
    EXPECT_TRUE(w.form->isVisible());

    // After a successful run Enter does what the success note asks.
    w.Connect();
    w.Next();
    ASSERT_EQ(w.State().UpdatePhase, Phase::Succeeded);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(w.Page(), 5);
}

}  // namespace
}  // namespace ostrel::test
