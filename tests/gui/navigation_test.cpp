// Walking the pages, the buttons each page shows, connecting, and the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <functional>

#include "tests/gui/wizard_fixture.h"

namespace ostrel::test {
namespace {

const QString kNextText = QString::fromUtf8("Далее");

struct Buttons {
    int page;
    bool esc;   // shown
    bool back;  // shown
    const char* next;
    bool nextEnabled;
};

void ExpectButtons(const Wizard& w, const Buttons& b) {
    EXPECT_EQ(w.Page(), b.page);
    EXPECT_EQ(!w.form->btnESC->isHidden(), b.esc);
    EXPECT_EQ(!w.form->btnBACK->isHidden(), b.back);
    EXPECT_EQ(w.form->btnNEXT->text(), QString::fromUtf8(b.next));
    EXPECT_EQ(w.form->btnNEXT->isEnabled(), b.nextEnabled);
}

TEST(WizardNavigation, StartsOnTheWelcomePageWithNothingShown) {
    // The device watch is registered last, once the window shows its start state.
    int registrations = 0;
    Wizard w;
    w.form.reset();
    w.form = std::make_unique<TForm1>(w.link, w.directory, [&](UpdaterState& state) {
        ++registrations;
        EXPECT_EQ(state.PendingDeviceEvent, kNoDeviceEvent);
        TForm1* created = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* form = qobject_cast<TForm1*>(top); form && &form->State() == &state) {
                created = form;
            }
        }
        EXPECT_NE(created, nullptr);
        if (!created) return std::unique_ptr<DeviceEventSource>();
        EXPECT_EQ(created->CurrentPage(), 1);
        EXPECT_TRUE(created->btnBACK->isHidden());
        EXPECT_TRUE(created->lbConnected->isHidden());
        EXPECT_TRUE(created->ListWriteFail->isHidden());
        EXPECT_EQ(created->Image()[kFlashStart], FlashBlock[0]);
        EXPECT_EQ(created->Image()[kDataStart], DataBlock[0]);
        return std::unique_ptr<DeviceEventSource>();
    });
    EXPECT_EQ(registrations, 1);

    ExpectButtons(w, {1, true, false, "Далее", true});
    EXPECT_TRUE(w.ShownIndicators().empty());
    EXPECT_EQ(w.form->ListBoxVer->item(5)->text(), QString::fromUtf8("версия: v2.2.5 R27"));
    EXPECT_EQ(w.form->ListBoxVer->item(6)->text(), QString::fromUtf8("дата: 11.11.2012"));
    EXPECT_FALSE(w.State().PortOpen);
    EXPECT_FALSE(w.State().DeviceReady);
    EXPECT_EQ(w.State().UpdatePhase, 0);
    EXPECT_EQ(w.State().BlockSize, 128);
    EXPECT_FALSE(w.link.IsOpen());
}

// One walk through every row of the navigation: each step, then the page and buttons it leaves.
TEST(WizardNavigation, NextAndBackFollowThePageRules) {
    Wizard w;
    struct Step {
        const char* what;
        std::function<void(Wizard&)> act;
        Buttons after;
        Names shown;  // indicators shown afterwards (page 4 ones only where asked)
        bool ready;
    };
    const auto next = [](Wizard& x) { x.Next(); };
    const auto back = [](Wizard& x) { x.Back(); };
    const auto connect = [](Wizard& x) { x.Connect(); };
    const Names green{"lbConnected", "txtConnOK"};
    const Names done{"lbWrite",    "lbWriteOK", "BarWrite",   "lbVerify",
                     "lbVerifyOK", "BarVerify", "txtWriteOK", "ListWriteOK"};
    Names greenAndDone = done;
    greenAndDone.insert(green.begin(), green.end());
    const std::vector<Step> walk = {
        {"Next on 1", next, {2, true, true, "Далее", true}, {}, false},
        {"Back on 2", back, {1, true, false, "Далее", true}, {}, false},
        {"Next on 1", next, {2, true, true, "Далее", true}, {}, false},
        {"Next on 2", next, {3, true, true, "Далее", false}, {}, false},
        {"Next on 3 without device", next, {3, true, true, "Далее", false}, {}, false},
        {"Connect", connect, {3, true, true, "Далее", true}, green, true},
        {"Back on 3", back, {2, true, true, "Далее", true}, green, false},
        {"Next on 2", next, {3, true, true, "Далее", false}, {}, false},
        {"Connect", connect, {3, true, true, "Далее", true}, green, true},
        {"Next on 3 runs the update", next, {4, true, true, "Далее", true}, greenAndDone, true},
        {"Back on 4", back, {3, true, true, "Далее", false}, done, false},
        {"Connect", connect, {3, true, true, "Далее", true}, greenAndDone, true},
        {"Next on 3 runs it again", next, {4, true, true, "Далее", true}, greenAndDone, true},
        {"Next on 4", next, {5, false, true, "OK", true}, greenAndDone, true},
        {"Back on 5", back, {2, true, true, "Далее", true}, greenAndDone, false},
        {"Next on 2", next, {3, true, true, "Далее", false}, done, false},
    };
    for (const Step& step : walk) {
        SCOPED_TRACE(step.what);
        step.act(w);
        ExpectButtons(w, step.after);
        EXPECT_EQ(w.State().DeviceReady, step.ready);
        EXPECT_EQ(w.ShownIndicators(), step.shown);
        if (w.Page() == 3) {
            EXPECT_EQ(w.form->btnConnect->isEnabled(), !step.ready);
        }
    }
    // Back cleared DeviceReady but left the port open; each Connect closed it before reopening.
    EXPECT_TRUE(w.State().PortOpen);
    EXPECT_EQ(w.link.OpenCount(), 3u);
}

TEST(WizardNavigation, ConnectShowsExactlyOnePairOfIndicators) {
    struct Case {
        const char* what;
        std::function<void(Wizard&)> arrange;
        bool ready;
        bool portOpen;
    };
    const std::vector<Case> cases = {
        {"bootloader answers", [](Wizard&) {}, true, true},
        {"no port by name and none by scan", [](Wizard& w) { w.directory.bridgePort.clear(); },
         false, false},
        {"found by scan",
         [](Wizard& w) {
             w.directory.bridgePort.clear();
             w.directory.ports = {"SIM0", "SIM1"};
         },
         true, true},
        {"no answer to the sync", [](Wizard& w) { w.link.SetWritesFail(true); }, false, false},
        {"no answer to Get",
         [](Wizard& w) {
             w.model.AddFault({sim::FaultKind::Silence, sim::Command::Get, sim::Step::Command});
         },
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wizard w;
        w.Next();
        w.Next();
        c.arrange(w);
        w.Connect();
        EXPECT_EQ(w.State().DeviceReady, c.ready);
        EXPECT_EQ(w.State().PortOpen, c.portOpen);
        EXPECT_EQ(w.link.IsOpen(), c.portOpen);
        const Names green{"lbConnected", "txtConnOK"};
        const Names red{"lbNotConnected", "txtConnFail"};
        EXPECT_EQ(w.ShownIndicators(), c.ready ? green : red);
        EXPECT_EQ(w.form->btnNEXT->isEnabled(), c.ready);
        EXPECT_EQ(w.form->btnConnect->isEnabled(), !c.ready);
    }
}

TEST(WizardNavigation, RemovalKeepsTheGreenPairUntilTheUserActs) {
    Wizard w;
    w.ToConnectedPage3();
    w.events->Post(kBridgeRemoved);
    w.DeliverNotifications();
    Wizard::RunUntilIdle();
    EXPECT_FALSE(w.State().PortOpen);
    EXPECT_FALSE(w.State().DeviceReady);
    EXPECT_FALSE(w.link.IsOpen());
    // Nothing on screen changed.
    EXPECT_EQ(w.ShownIndicators(), (Names{"lbConnected", "txtConnOK"}));
    EXPECT_TRUE(w.form->btnNEXT->isEnabled());

    const auto exchanges = w.model.Exchanges().size();
    w.Next();
    EXPECT_EQ(w.Page(), 3);
    EXPECT_EQ(w.model.Exchanges().size(), exchanges);  // no update ran
    EXPECT_FALSE(w.form->btnNEXT->isEnabled());
    EXPECT_TRUE(w.form->btnConnect->isEnabled());
    EXPECT_EQ(w.ShownIndicators(), (Names{"lbConnected", "txtConnOK"}));
}

TEST(WizardNavigation, EnterPressesOnlyTheFocusedButtonAndEscapeNone) {
    Wizard w;
    w.form->show();
    w.Next();
    w.Next();
    ASSERT_EQ(w.Page(), 3);
    for (QWidget* focus :
         {static_cast<QWidget*>(w.form->cbKeepUser), static_cast<QWidget*>(w.form->ListBox2),
          static_cast<QWidget*>(w.form->btnBACK)}) {
        SCOPED_TRACE(focus->objectName().toStdString());
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Escape);
        if (focus != w.form->btnBACK) {
            QTest::keyClick(focus, Qt::Key_Return);
            QTest::keyClick(focus, Qt::Key_Enter);
        }
        EXPECT_EQ(w.Page(), 3);
        EXPECT_TRUE(w.form->isVisible());
        EXPECT_FALSE(w.form->cbKeepUser->isChecked());
    }
    QTest::keyClick(w.form->btnBACK, Qt::Key_Return);
    EXPECT_EQ(w.Page(), 2);
    QTest::keyClick(w.form->btnNEXT, Qt::Key_Enter);
    EXPECT_EQ(w.Page(), 3);
    QTest::keyClick(w.form->btnESC, Qt::Key_Escape);
    EXPECT_TRUE(w.form->isVisible());
}

}  // namespace
}  // namespace ostrel::test
