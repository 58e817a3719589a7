// The window's life in the main loop: closing it (also in the middle of an update), and the
// adapter being plugged in or pulled out, noted at once and acted on only when the loop is idle.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "tests/wizard/qt/wizard_fixture.h"

namespace ostrel::test {
namespace {

// Cancel and the title bar both close the window through the controller's OnClose.
TEST(WizardShell, ClosingTheWindowClosesAnOpenPort) {
    for (bool titleBar : {false, true}) {
        SCOPED_TRACE(titleBar ? "title-bar close" : "Cancel");
        Wizard w;
        w.form->show();
        w.ToConnectedPage3();
        ASSERT_TRUE(w.link.IsOpen());
        if (titleBar) {
            w.form->close();
        } else {
            w.Button(ControlId::btnESC)->click();
        }
        EXPECT_FALSE(w.form->isVisible());
        EXPECT_TRUE(w.Controller().Closed());
        EXPECT_FALSE(w.link.IsOpen());
    }
}

// Cancel pressed while block 51 is being written: the click is dispatched by the update's own
// event pumping after block 50; the port closes at once, no later exchange reaches the tracker,
// the failure shows, and the program's loop ends with 0 only once the Next handler has returned.
TEST(WizardShell, ClosingDuringTheUpdateEndsTheRunAndThenTheProgram) {
    Wizard w;
    w.form->show();
    w.ToConnectedPage3();
    w.model.ClearExchanges();
    bool clickQueued = false;
    w.link.SetPollHook([&] {
        if (!clickQueued && w.model.Exchanges().size() == 50) {
            clickQueued = true;
            QMetaObject::invokeMethod(w.Button(ControlId::btnESC), &QPushButton::click,
                                      Qt::QueuedConnection);
        }
    });
    bool handlerReturned = false;
    bool visibleWhenHandlerReturned = true;
    QMetaObject::invokeMethod(
        w.form.get(),
        [&] {
            w.Next();
            handlerReturned = true;
            visibleWhenHandlerReturned = w.form->isVisible();
        },
        Qt::QueuedConnection);
    bool hung = false;
    QTimer guard;  // only ends a hang, never part of the outcome
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        hung = true;
        QCoreApplication::exit(1);
    });
    guard.start(60'000);

    const int exitCode = QApplication::exec();

    EXPECT_FALSE(hung);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(handlerReturned);
    EXPECT_FALSE(visibleWhenHandlerReturned);
    EXPECT_FALSE(w.link.IsOpen());
    EXPECT_EQ(w.model.Exchanges().size(), 50u);
    EXPECT_EQ(w.State().UpdatePhase, Phase::Idle);
    EXPECT_EQ(w.form->ControlAs<QProgressBar>(ControlId::BarWrite)->value(),
              (50 * 128 + 1) * 100 / 29695);
    Names page4 = w.ShownIndicators();
    for (const char* name : kConnectionIndicators) page4.erase(name);
    EXPECT_EQ(page4, (Names{"lbWrite", "BarWrite", "lbWriteErr", "txtWriteFail", "ListWriteFail"}));
}

TEST(WizardShell, PlugInOnTheFirstPageBringsTheConnectionPageForward) {
    Wizard w;
    w.events->Post(kBridgeArrived);
    w.DeliverNotifications();
    // The notice alone is only recorded.
    EXPECT_EQ(w.events->PendingNotice(), kBridgeArrived);
    EXPECT_EQ(w.Page(), 1);
    EXPECT_FALSE(w.link.IsOpen());

    Wizard::RunUntilIdle();
    EXPECT_EQ(w.events->PendingNotice(), kNoDeviceEvent);
    EXPECT_EQ(w.Page(), 3);
    EXPECT_TRUE(w.State().DeviceReady);
    EXPECT_EQ(w.ShownIndicators(), (Names{"lbConnected", "txtConnOK"}));
    EXPECT_TRUE(w.Button(ControlId::btnNEXT)->isEnabled());
    EXPECT_FALSE(w.Button(ControlId::btnConnect)->isEnabled());
    EXPECT_FALSE(w.Button(ControlId::btnBACK)->isHidden());
}

// A removal noticed while the update pumps events must not close the port under it: the run
// completes, and the port closes at the first idle afterwards.
TEST(WizardShell, DeviceEventsDuringTheUpdateWaitForTheIdleLoop) {
    Wizard w;
    w.ToConnectedPage3();
    w.model.ClearExchanges();
    bool posted = false;
    w.link.SetPollHook([&] {
        if (!posted && w.model.Exchanges().size() == 100) {
            posted = true;
            w.events->Post(kBridgeRemoved);
        }
    });
    const int readsBefore = w.events->reads;
    Wizard::InMainLoop([&] { w.Next(); });

    EXPECT_GT(w.events->reads, readsBefore);  // noticed during the run
    EXPECT_EQ(w.State().UpdatePhase, Phase::Succeeded);
    EXPECT_EQ(w.model.Exchanges().size(), 472u);
    EXPECT_EQ(w.events->PendingNotice(), kBridgeRemoved);
    EXPECT_TRUE(w.link.IsOpen());

    Wizard::RunUntilIdle();
    EXPECT_FALSE(w.link.IsOpen());
    EXPECT_FALSE(w.State().PortOpen);
    EXPECT_FALSE(w.State().DeviceReady);
    EXPECT_EQ(w.Page(), 4);  // nothing on screen changes
    EXPECT_FALSE(w.form->Control(ControlId::ListWriteOK)->isHidden());
}

// A nested loop (a menu's or a dialog's) waits too, but that is not the application going idle:
// a plug-in is acted on only back in the main loop.
TEST(WizardShell, NoDeviceWorkInsideANestedLoop) {
    Wizard w;
    int pageInNestedLoop = 0;
    Wizard::InMainLoop([&] {
        w.events->Post(kBridgeArrived);
        QEventLoop nested;
        // Ends at the first wait after the notice was taken in, right after the window's own
        // handler of that wait.
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, &nested, [&] {
                             if (w.events->reads > 0) nested.quit();
                         });
        nested.exec();
        pageInNestedLoop = w.Page();
    });
    EXPECT_EQ(pageInNestedLoop, 1);
    EXPECT_EQ(w.events->PendingNotice(), kBridgeArrived);
    Wizard::RunUntilIdle();
    EXPECT_EQ(w.Page(), 3);
}

}  // namespace
}  // namespace ostrel::test
