// Every control of the window where the layout puts it, in its font and colour, with its text,
// and every text fitting its box in the font actually used.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QTextEdit>

#include "payload/release_identity.h"
#include "tests/gui/wizard_fixture.h"

namespace ostrel::test {
namespace {

// Label: left-aligned; State: right-aligned; Check and Cross: the marks; Block: a text block.
enum Kind { Label, State, Check, Cross, Block, Button, Box, Rich, Bar, Picture, Panel };
enum Weight { Regular, Bold };
enum Colour { Plain, Green, Red, Olive };

struct Control {
    const char* name;
    int page;  // 0: the frame
    Kind kind;
    QRect geometry;
    int pixels = 0;  // font height
    Weight weight = Regular;
    Colour colour = Plain;
    int lineHeight = 0;     // text blocks
    const char* text = "";  // lines separated by '|'
};

// clang-format off
const Control kLayout[] = {
    {"Image6", 0, Picture, {16, 40, 153, 89}},
    {"ListBoxVer", 0, Block, {16, 168, 153, 193}, 11, Regular, Plain, 13,
     "Программа обновления|встроенного программного|обеспечения |изделия GPS Ostrel||"
     "версия: v2.2.5 R27|дата: 11.11.2012|"},
    {"PageControl1", 0, Panel, {192, 0, 417, 345}},
    {"Panel1", 0, Panel, {104, 0, 177, 33}},
    {"btnESC", 0, Button, {200, 360, 89, 25}, 11, Regular, Plain, 0, "Отмена"},
    {"btnBACK", 0, Button, {344, 360, 89, 25}, 11, Regular, Plain, 0, "Назад"},
    {"btnNEXT", 0, Button, {488, 359, 89, 25}, 11, Regular, Plain, 0, "Далее"},

    {"RichEdit1", 1, Rich, {0, 16, 401, 289}, 17, Regular, Plain, 0,
     "GPS Ostrel - с нами безопасно!|Данная программа обновит программное |"
     "обеспечение. Во время обновления |категорически запрещается отсоединять |"
     "разъемы и нажимать на Тревожную кнопку во |избежание записи ошибочных данных. |"
     "ВНИМАНИЕ! Для работы данной программы |необходимо установить драйвер виртуального |"
     "\u0421\u041e\u041c порта фирмы Silicon Laboratories.|"
     "Файл CP210x_VCP_Win_XP_S2K3_Vista_7.exe |находится в архиве, и также доступен по ссылке  |"
     "http://www.silabs.com/|Support%20Documents/Software/|CP210x_VCP_Win_XP_S2K3_Vista_7.exe||"
     "Если драйвер еще не установлен, установите |его."},

    {"ListBox1", 2, Block, {0, 16, 377, 289}, 13, Bold, Plain, 16,
     "1. Снимите верхнюю крышку с устройства GPS |Ostrel||2. Удалите батарейки ||"
     "3. Подключите USB-программатор Vantor7 к |персональному компьютеру и к устройству |"
     "GPS Ostrel.||Если все сделано правильно, то после |подключения на устойстве |"
     "загорится светодиод (постоянное горение).| |Для продолжения нажмите кнопку \"Далее\""},

    {"Label1", 3, Label, {8, 16, 150, 24}, 19, Bold, Plain, 0, "СОЕДИНЕНИЕ:"},
    {"lbConnected", 3, State, {248, 24, 135, 20}, 16, Bold, Green, 0, "УСТАНОВЛЕНО"},
    {"lbNotConnected", 3, State, {218, 24, 165, 20}, 16, Bold, Red, 0, "НЕ УСТАНОВЛЕНО"},
    {"ListBox6", 3, Block, {8, 40, 209, 33}, 11, Regular, Plain, 13,
     "Проверье правильность соединений и |нажмите кнопку \"Соединение\"."},
    {"txtConnFail", 3, Cross, {232, 40, 45, 75}, 64, Regular, Red},
    {"txtConnOK", 3, Check, {312, 40, 54, 75}, 64, Regular, Green},
    {"btnConnect", 3, Button, {8, 80, 89, 25}, 11, Regular, Plain, 0, "Соединение"},
    {"ListBox2", 3, Block, {0, 120, 377, 153}, 13, Bold, Plain, 16,
     "Для сохранения пользовательских настроек, |таких как:|- режим работы|- номер владельца|"
     "- пароль|и т.д. установите флажок. В противном случае |после обновления все настройки будут |"
     "установлены в соответствии с заводскими.|"},
    {"cbKeepUser", 3, Box, {0, 280, 377, 33}, 16, Regular, Plain, 0,
     "Сохранить пользовательские настройки"},

    {"lbWrite", 4, Label, {0, 16, 114, 24}, 19, Bold, Plain, 0, "ЗАГРУЗКА:"},
    {"BarWrite", 4, Bar, {0, 48, 273, 17}},
    {"lbWriteOn", 4, State, {326, 48, 65, 20}, 16, Bold, Olive, 0, "ОБМЕН"},
    {"lbWriteOK", 4, State, {366, 48, 25, 20}, 16, Bold, Green, 0, "\u041e\u041a"},
    {"lbWriteErr", 4, State, {301, 48, 90, 20}, 16, Bold, Red, 0, "ОШИБКА!!!"},
    {"lbVerify", 4, Label, {0, 88, 117, 24}, 19, Bold, Plain, 0, "ПРОВЕРКА:"},
    {"BarVerify", 4, Bar, {0, 120, 273, 17}},
    {"lbVerifyOn", 4, State, {326, 120, 65, 20}, 16, Bold, Olive, 0, "ОБМЕН"},
    {"lbVerifyOK", 4, State, {366, 120, 25, 20}, 16, Bold, Green, 0, "\u041e\u041a"},
    {"lbVerifyErr", 4, State, {301, 120, 90, 20}, 16, Bold, Red, 0, "ОШИБКА!!!"},
    {"txtWriteOK", 4, Check, {8, 184, 54, 75}, 64, Regular, Green},
    {"txtWriteFail", 4, Cross, {8, 192, 45, 75}, 64, Regular, Red},
    {"ListWriteOK", 4, Block, {64, 192, 281, 49}, 13, Bold, Plain, 16,
     "Обновление успешно завершено! |Нажмите кнопку \"Далее\".|"},
    {"ListWriteFail", 4, Block, {64, 208, 281, 49}, 13, Bold, Plain, 16,
     "В случае ошибки, повторите |процедуру заново. Если ошибка не |"
     "пропадает, обратитесь к поставщику."},

    {"ListBox4", 5, Block, {0, 32, 377, 241}, 13, Bold, Plain, 16,
     "ПОЗДРАВЛЯЕМ!||Теперь в устройство загружена обновленная |версия программного обеспечения.||"
     "Мы постоянно работаем над улучшением |программного обеспечения, делая работу |"
     "устройства GPS Ostrel более надежной, |дополняя и улучшая функционал!|"
     "Спасибо, что используете GPS Ostrel.|"},
};
// clang-format on

QColor ColourOf(Colour colour) {
    switch (colour) {
        case Green:
            return {0, 128, 0};
        case Red:
            return {255, 0, 0};
        case Olive:
            return {128, 128, 0};
        case Plain:
            break;
    }
    return {};
}

// The designed font, or its substitute of the same widths.
bool IsTextFamily(const QString& family) {
    return family == QLatin1String("MS Sans Serif") || family == QLatin1String("Liberation Sans");
}

// The check mark and the cross: Wingdings characters, or the same marks from Unicode.
QString ExpectedMark(const QString& family, Kind kind) {
    if (family == QLatin1String("Wingdings")) return QChar(kind == Check ? 0xFC : 0xFB);
    EXPECT_EQ(family, QLatin1String("DejaVu Sans"));
    return QChar(kind == Check ? 0x2714 : 0x2718);
}

void ExpectFits(const QWidget* widget, const QString& text, int width) {
    EXPECT_LE(QFontMetrics(widget->font()).horizontalAdvance(text), width)
        << "overruns: " << text.toStdString();
}

void CheckControl(const Wizard& w, const Control& c) {
    SCOPED_TRACE(c.name);
    QWidget* widget = w.Widget(c.name);
    ASSERT_NE(widget, nullptr);
    const QWidget* parent = c.page == 0 ? w.form.get() : w.form->PageControl1->widget(c.page - 1);
    EXPECT_EQ(widget->parentWidget(), parent);
    EXPECT_EQ(widget->geometry(), c.geometry);
    const QString text = QString::fromUtf8(c.text);
    const QFontInfo font(widget->font());
    if (c.pixels > 0) {
        EXPECT_EQ(font.pixelSize(), c.pixels);
        EXPECT_EQ(font.bold(), c.weight == Bold);
    }
    if (c.colour != Plain) {
        EXPECT_EQ(widget->palette().color(QPalette::WindowText), ColourOf(c.colour));
    }
    auto* label = qobject_cast<QLabel*>(widget);

    switch (c.kind) {
        case Label:
        case State:
            ASSERT_NE(label, nullptr);
            EXPECT_TRUE(IsTextFamily(font.family())) << font.family().toStdString();
            EXPECT_EQ(label->text(), text);
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask,
                      c.kind == State ? Qt::AlignRight : Qt::AlignLeft);
            ExpectFits(label, text, c.geometry.width());
            break;
        case Check:
        case Cross: {
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text(), ExpectedMark(font.family(), c.kind));
            // The font has the glyph, and its ink lies inside the box it is centred in.
            const QFontMetrics metrics(label->font());
            EXPECT_TRUE(metrics.inFont(label->text().at(0)));
            const QRect ink = metrics.boundingRect(label->text());
            const int left = (c.geometry.width() - metrics.horizontalAdvance(label->text())) / 2;
            EXPECT_GE(left + ink.left(), 0);
            EXPECT_LT(left + ink.right(), c.geometry.width());
            EXPECT_LE(metrics.height(), c.geometry.height());
            break;
        }
        case Block: {
            auto* list = qobject_cast<QListWidget*>(widget);
            ASSERT_NE(list, nullptr);
            EXPECT_TRUE(IsTextFamily(font.family())) << font.family().toStdString();
            QStringList lines;
            for (int i = 0; i < list->count(); ++i) {
                lines << list->item(i)->text();
                EXPECT_EQ(list->visualItemRect(list->item(i)).height(), c.lineHeight);
                ExpectFits(list, lines.back(), c.geometry.width() - 6);  // the item's margins
            }
            EXPECT_EQ(lines, text.split(QLatin1Char('|')));
            break;
        }
        case Button:
            EXPECT_EQ(qobject_cast<QPushButton*>(widget)->text(), text);
            break;
        case Box:
            EXPECT_EQ(qobject_cast<QCheckBox*>(widget)->text(), text);
            ExpectFits(widget, text, c.geometry.width() - 24);  // the box before the text
            break;
        case Rich: {
            auto* edit = qobject_cast<QTextEdit*>(widget);
            ASSERT_NE(edit, nullptr);
            EXPECT_TRUE(edit->isReadOnly());
            EXPECT_EQ(edit->toPlainText().split(QLatin1Char('\n')), text.split(QLatin1Char('|')));
            break;
        }
        case Bar:
            EXPECT_EQ(qobject_cast<QProgressBar*>(widget)->maximum(), 100);
            break;
        case Picture:
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->pixmap().size(), QSize(148, 86));
            EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
            break;
        case Panel:
            break;
    }
}

TEST(WizardLayout, EveryControlHasItsPlaceFontAndText) {
    Wizard w;
    w.form->show();
    for (const Control& control : kLayout) CheckControl(w, control);

    EXPECT_EQ(w.form->size(), QSize(622, 424));
    EXPECT_EQ(w.form->windowTitle(),
              kReleaseIdentity.placeholder ? QString::fromUtf8(kPlaceholderMark) : QString());
    EXPECT_EQ(w.form->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_EQ(QFontInfo(w.form->font()).pixelSize(), 11);
    for (int page = 0; page < 5; ++page) {
        EXPECT_EQ(w.form->PageControl1->widget(page)->objectName(),
                  QStringLiteral("TabSheet%1").arg(page + 1));
    }
    // The page's content lies below the band Panel1 covers (controls start 16 pixels down).
    const QPoint firstLine = w.form->RichEdit1->mapTo(w.form.get(), QPoint(0, 0));
    EXPECT_GT(firstLine.y(), w.form->Panel1->geometry().bottom());
}

TEST(WizardLayout, PageContainerFollowsTheRightEdgeAndStretchesInHeight) {
    Wizard w;
    w.form->show();
    w.form->resize(800, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.form->PageControl1->geometry(), QRect(800 - 13 - 417, 0, 417, 500 - 79));
    EXPECT_EQ(w.form->btnNEXT->geometry(), QRect(488, 359, 89, 25));
    EXPECT_EQ(w.form->Panel1->geometry(), QRect(104, 0, 177, 33));
    EXPECT_EQ(w.form->RichEdit1->geometry(), QRect(0, 16, 401, 289));
}

}  // namespace
}  // namespace ostrel::test
