// Every control of the layout table made as the table says: its kind, place, font, colour,
// alignment and text, and every text fitting its box in the font actually used.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QRawFont>
#include <QScrollBar>
#include <QTextEdit>

#include "payload/release_identity.h"
#include "tests/wizard/qt/wizard_fixture.h"
#include "wizard/qt/fonts.h"

namespace ostrel::test {
namespace {

using wizard::ControlKind;
using wizard::ControlLayout;

QRect RectOf(const wizard::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

// The designed font, or its substitute of the same widths.
bool IsTextFamily(const QString& family) {
    return family == QLatin1String("MS Sans Serif") || family == QLatin1String("Liberation Sans");
}

Qt::Alignment Horizontal(wizard::Align align) {
    if (align == wizard::Align::Right) return Qt::AlignRight;
    return align == wizard::Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft;
}

void ExpectFits(const QWidget* widget, const QString& text, int width) {
    EXPECT_LE(QFontMetrics(widget->font()).horizontalAdvance(text), width)
        << "overruns: " << text.toStdString();
}

QStringList LinesOf(const ControlLayout& control) {
    QStringList lines;
    for (const char* line : control.lines) lines << QString::fromUtf8(line);
    return lines;
}

void CheckControl(const Wizard& w, const ControlLayout& c) {
    SCOPED_TRACE(c.name);
    QWidget* widget = w.Widget(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget, w.form->Control(c.id));
    EXPECT_EQ(widget->parentWidget(), c.page == 0 ? w.form.get() : w.form->Page(c.page));
    EXPECT_EQ(widget->geometry(), RectOf(c.geometry));
    const QFontInfo font(widget->font());
    EXPECT_EQ(font.pixelSize(), c.font.pixelHeight);
    EXPECT_EQ(font.bold(), c.font.weight == wizard::kBold);
    if (c.colour != wizard::Colour::WindowText) {
        const wizard::Rgb rgb = wizard::RgbOf(c.colour);
        EXPECT_EQ(widget->palette().color(QPalette::WindowText),
                  QColor(rgb.red, rgb.green, rgb.blue));
    }
    const QStringList lines = LinesOf(c);
    auto* label = qobject_cast<QLabel*>(widget);

    switch (c.kind) {
        case ControlKind::Label:
            ASSERT_NE(label, nullptr);
            EXPECT_TRUE(IsTextFamily(font.family())) << font.family().toStdString();
            EXPECT_EQ(label->text(), lines[0]);
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Horizontal(c.align));
            ExpectFits(label, lines[0], c.geometry.width);
            break;
        case ControlKind::CheckMark:
        case ControlKind::CrossMark: {
            ASSERT_NE(label, nullptr);
            const wizard::MarkGlyph glyph = wizard::MarkGlyphOf(c.kind);
            const QString expected = font.family() == QLatin1String("Wingdings")
                                         ? QString(QChar(glyph.symbolCode))
                                         : QString::fromUtf8(glyph.utf8);
            EXPECT_EQ(label->text(), expected) << font.family().toStdString();
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Horizontal(c.align));
            // The font has the glyph, and its ink lies inside the box it is centred in.
            const QFontMetrics metrics(label->font());
            EXPECT_TRUE(QRawFont::fromFont(label->font()).supportsCharacter(label->text().at(0)));
            const QRect ink = metrics.boundingRect(label->text());
            const int left = (c.geometry.width - metrics.horizontalAdvance(label->text())) / 2;
            EXPECT_GE(left + ink.left(), 0);
            EXPECT_LT(left + ink.right(), c.geometry.width);
            EXPECT_LE(metrics.height(), c.geometry.height);
            break;
        }
        case ControlKind::TextBlock: {
            auto* list = qobject_cast<QListWidget*>(widget);
            ASSERT_NE(list, nullptr);
            EXPECT_TRUE(IsTextFamily(font.family())) << font.family().toStdString();
            ASSERT_EQ(list->count(), lines.size());
            for (int i = 0; i < list->count(); ++i) {
                const QString shown = list->item(i)->text();
                // The version lines are filled in at start-up.
                if (c.id != ControlId::ListBoxVer || lines[i] != QString()) {
                    EXPECT_EQ(shown, lines[i]);
                }
                EXPECT_EQ(list->visualItemRect(list->item(i)).height(), c.lineHeight);
                ExpectFits(list, shown, c.geometry.width - 6);  // the item's margins
            }
            break;
        }
        case ControlKind::Button:
            EXPECT_EQ(qobject_cast<QPushButton*>(widget)->text(), lines[0]);
            ExpectFits(widget, lines[0], c.geometry.width - 8);  // the button's frame
            break;
        case ControlKind::CheckBox:
            EXPECT_EQ(qobject_cast<QCheckBox*>(widget)->text(), lines[0]);
            ExpectFits(widget, lines[0], c.geometry.width - 24);  // the box before the text
            break;
        case ControlKind::RichText: {
            auto* edit = qobject_cast<QTextEdit*>(widget);
            ASSERT_NE(edit, nullptr);
            EXPECT_TRUE(edit->isReadOnly());
            EXPECT_EQ(edit->verticalScrollBar()->value(), 0);  // the first line shows in full
            EXPECT_EQ(edit->toPlainText().split(QLatin1Char('\n')), lines);
            break;
        }
        case ControlKind::ProgressBar:
            EXPECT_EQ(qobject_cast<QProgressBar*>(widget)->maximum(), 100);
            break;
        case ControlKind::Picture:
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->pixmap().size(), QSize(148, 86));
            EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
            break;
        case ControlKind::PageContainer:
            EXPECT_NE(qobject_cast<QStackedWidget*>(widget), nullptr);
            break;
        case ControlKind::Panel:
            EXPECT_NE(qobject_cast<QFrame*>(widget), nullptr);
            break;
    }
}

TEST(WizardLayout, EveryControlAsTheTableSays) {
    Wizard w;
    w.form->show();
    for (const ControlLayout& control : wizard::Controls()) CheckControl(w, control);

    EXPECT_EQ(w.form->size(), QSize(wizard::kClientWidth, wizard::kClientHeight));
    EXPECT_EQ(w.form->windowTitle(),
              kReleaseIdentity.placeholder ? QString::fromUtf8(kPlaceholderMark) : QString());
    EXPECT_EQ(w.form->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_EQ(QFontInfo(w.form->font()).pixelSize(), wizard::kWindowFont.pixelHeight);
    for (int page = 1; page <= wizard::kPageCount; ++page) {
        EXPECT_EQ(w.form->Page(page)->objectName(), QString::fromLatin1(wizard::PageName(page)));
    }
    // The page's content lies below the band Panel1 covers (controls start 16 pixels down).
    const QPoint firstLine = w.form->Control(ControlId::RichEdit1)->mapTo(w.form.get(), QPoint());
    EXPECT_GT(firstLine.y(), w.form->Control(ControlId::Panel1)->geometry().bottom());
}

// A font without the marks is passed over: Liberation Sans has Cyrillic but no U+2714.
TEST(WizardLayout, MarksComeOnlyFromAFontThatHasThem) {
    const MarkGlyphs chosen =
        ChooseMarkGlyphs({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    EXPECT_NE(chosen.family, QLatin1String("Liberation Sans"));
    QFont font(chosen.family);
    font.setPixelSize(64);
    const QRawFont raw = QRawFont::fromFont(font);
    EXPECT_TRUE(raw.supportsCharacter(chosen.check.at(0)));
    EXPECT_TRUE(raw.supportsCharacter(chosen.cross.at(0)));
}

TEST(WizardLayout, PageContainerFollowsTheRightEdgeAndTheWindowNeverShrinks) {
    Wizard w;
    w.form->show();
    w.form->resize(800, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.form->Control(ControlId::PageControl1)->geometry(), QRect(370, 0, 417, 421));
    for (ControlId id : {ControlId::btnNEXT, ControlId::Panel1, ControlId::RichEdit1}) {
        EXPECT_EQ(w.form->Control(id)->geometry(), RectOf(wizard::Layout(id).geometry));
    }
    // Smaller than designed, the frame would hide the wizard's buttons.
    w.form->resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.form->size(), QSize(wizard::kClientWidth, wizard::kClientHeight));
}

}  // namespace
}  // namespace ostrel::test
