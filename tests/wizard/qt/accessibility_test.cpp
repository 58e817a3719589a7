// The window by keyboard alone and as a screen reader hears it: Tab goes round the visible
// controls of each page in reading order, the focus never falls into nothing, and the
// accessibility interfaces say what the screen shows, raising results as alerts.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <vector>

#include "tests/wizard/qt/wizard_fixture.h"

namespace ostrel::test {
namespace {

using Stops = std::vector<std::string>;

std::string FocusName() {
    QWidget* focus = QApplication::focusWidget();
    return focus == nullptr ? "nothing" : focus->objectName().toStdString();
}

// The stops Tab (or Shift+Tab) visits from the focus; each one must be on screen.
Stops Round(bool back) {
    Stops stops;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                        back ? Qt::ShiftModifier : Qt::NoModifier);
        QWidget* focus = QApplication::focusWidget();
        stops.push_back(focus != nullptr && focus->isVisible() ? FocusName() : "unseen");
    }
    return stops;
}

TEST(WizardKeyboard, TabGoesRoundTheVisibleControlsOfEachPage) {
    Wizard w;
    w.form->show();
    QApplication::setActiveWindow(w.form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    EXPECT_EQ(FocusName(), "btnNEXT") << "the focus starts on a button";
    EXPECT_EQ(Round(false),
              (Stops{"RichEdit1", "btnESC", "btnNEXT", "RichEdit1", "btnESC", "btnNEXT"}));
    EXPECT_EQ(Round(true),
              (Stops{"btnESC", "RichEdit1", "btnNEXT", "btnESC", "RichEdit1", "btnNEXT"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(w.Page(), 2);
    EXPECT_EQ(Round(false),
              (Stops{"btnESC", "btnBACK", "btnNEXT", "btnESC", "btnBACK", "btnNEXT"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(w.Page(), 3);
    EXPECT_EQ(FocusName(), "btnConnect") << "Next, disabled, handed the focus on";
    EXPECT_EQ(Round(false),
              (Stops{"cbKeepUser", "btnESC", "btnBACK", "btnConnect", "cbKeepUser", "btnESC"}));
    // Connect by Enter, Next by Enter: the focus follows the steps the page asks for.
    Round(false);  // round to Connect
    ASSERT_EQ(FocusName(), "btnConnect");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(w.State().DeviceReady);
    EXPECT_EQ(FocusName(), "btnNEXT");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(w.State().UpdatePhase, Phase::Succeeded);
    EXPECT_EQ(FocusName(), "btnNEXT");
}

// Each control's reading: the name, the role, and no part or action the screen does not show.
TEST(WizardScreenReader, HearsWhatTheScreenShows) {
    Wizard w;
    const auto reading = [&](ControlId id) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w.form->Control(id));
        EXPECT_NE(face, nullptr) << wizard::Layout(id).name;
        return face;
    };
    const auto actions = [](QAccessibleInterface* face) {
        return face->actionInterface() == nullptr ? QStringList()
                                                  : face->actionInterface()->actionNames();
    };
    for (const wizard::ControlLayout& layout : wizard::Controls()) {
        if (layout.kind != wizard::ControlKind::TextBlock) continue;
        SCOPED_TRACE(layout.name);
        QAccessibleInterface* block = reading(layout.id);
        EXPECT_EQ(block->role(), layout.id == ControlId::ListWriteOK ? QAccessible::Notification
                                                                     : QAccessible::StaticText);
        EXPECT_EQ(block->childCount(), 0) << "no item per screen line";
        EXPECT_TRUE(actions(block).isEmpty()) << actions(block).join(',').toStdString();
        EXPECT_FALSE(block->text(QAccessible::Name).contains(QLatin1String("  ")));
    }
    EXPECT_EQ(reading(ControlId::ListBox6)->text(QAccessible::Name),
              QString::fromUtf8("Проверье правильность соединений и нажмите кнопку "
                                "\"Соединение\"."));

    for (auto [bar, title] : {std::pair{ControlId::BarWrite, "ЗАГРУЗКА:"},
                              std::pair{ControlId::BarVerify, "ПРОВЕРКА:"}}) {
        SCOPED_TRACE(title);
        w.form->SetBarPosition(bar, 45);
        QAccessibleInterface* face = reading(bar);
        EXPECT_EQ(face->role(), QAccessible::ProgressBar);
        EXPECT_EQ(face->text(QAccessible::Name), QString::fromUtf8(title));
        EXPECT_EQ(face->text(QAccessible::Description), QStringLiteral("45%"));
        // A value interface makes the accessibility bridge offer Increase and Decrease.
        EXPECT_EQ(face->valueInterface(), nullptr);
        EXPECT_TRUE(actions(face).isEmpty());
    }
    for (auto [mark, meaning] :
         {std::pair{ControlId::txtConnOK, "успешно"}, std::pair{ControlId::txtWriteOK, "успешно"},
          std::pair{ControlId::txtConnFail, "ошибка"},
          std::pair{ControlId::txtWriteFail, "ошибка"}}) {
        EXPECT_EQ(reading(mark)->text(QAccessible::Name), QString::fromUtf8(meaning))
            << wizard::Layout(mark).name;
    }
    for (int page = 1; page <= wizard::kPageCount; ++page) {
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(w.form->Page(page))
                        ->text(QAccessible::Name)
                        .isEmpty());
    }
}

}  // namespace
}  // namespace ostrel::test
