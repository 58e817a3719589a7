// The window's controls: positions and sizes in pixels at 96 dots per inch, fonts by pixel height.
#include <QCheckBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTextEdit>

#include "app/Update_Main.h"
#include "app/wizard_fonts.h"
#include "app/wizard_layout.h"
#include "app/wizard_texts.h"
#include "payload/release_identity.h"

namespace ostrel {
namespace {

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kOlive(128, 128, 0);

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <typename W>
W* Place(W* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// A label paints its background, so of two labels on the same spot the later one hides the
// earlier: "ОШИБКА!!!" covers "ОК" when both are shown.
QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const char* text,
                  const QFont& font, Qt::Alignment horizontal = Qt::AlignLeft) {
    auto* label = Place(new QLabel(Text(text), parent), name, geometry);
    label->setFont(font);
    label->setAlignment(horizontal | Qt::AlignTop);
    label->setAutoFillBackground(true);
    return label;
}

QLabel* MakeStateLabel(QWidget* parent, const char* name, const QRect& geometry, const char* text,
                       const QColor& colour) {
    QLabel* label = MakeLabel(parent, name, geometry, text, WindowFont(16, true), Qt::AlignRight);
    SetTextColour(label, colour);
    return label;
}

// The check mark or the cross, drawn without a background so that it never cuts into the label
// above it. Centred, because DejaVu's cross is wider than its 45-pixel box while its ink fits.
QLabel* MakeMark(QWidget* parent, const char* name, const QRect& geometry, const QString& glyph,
                 const QColor& colour) {
    auto* mark = Place(new QLabel(glyph, parent), name, geometry);
    mark->setFont(MarkFont(64));
    mark->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetTextColour(mark, colour);
    return mark;
}

// Lines of a text block are drawn as plain text: neither the current line nor the hovered one
// is marked, also when the block takes the keyboard focus from a button that was disabled.
class PlainLineDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &=
            ~(QStyle::State_HasFocus | QStyle::State_Selected | QStyle::State_MouseOver);
    }
};

// A text block: a borderless list box on the button-face background, one item per line.
QListWidget* MakeTextBlock(QWidget* parent, const char* name, const QRect& geometry,
                           const QStringList& lines, const QFont& font, int lineHeight) {
    auto* list = Place(new QListWidget(parent), name, geometry);
    list->setFont(font);
    list->setFrameShape(QFrame::NoFrame);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setItemDelegate(new PlainLineDelegate(list));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideNone);
    list->setUniformItemSizes(true);
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    list->setPalette(palette);
    for (const QString& line : lines) {
        auto* item = new QListWidgetItem(line, list);
        item->setSizeHint(QSize(geometry.width(), lineHeight));
    }
    return list;
}

// Enter presses a button only while it has the focus; no button is the window's default.
QPushButton* MakeButton(QWidget* parent, const char* name, const QRect& geometry,
                        const char* text) {
    auto* button = Place(new QPushButton(Text(text), parent), name, geometry);
    button->setAutoDefault(true);
    return button;
}

QProgressBar* MakeBar(QWidget* parent, const char* name, const QRect& geometry) {
    auto* bar = Place(new QProgressBar(parent), name, geometry);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QWidget* MakePage(QStackedWidget* container, const char* name) {
    auto* page = new QWidget(container);
    page->setObjectName(QString::fromLatin1(name));
    container->addWidget(page);
    return page;
}

}  // namespace

void TForm1::BuildLayout() {
    setWindowTitle(kReleaseIdentity.placeholder ? QString::fromUtf8(kPlaceholderMark) : QString());
    setWindowIcon(QIcon(QStringLiteral(":/ostrel/icon.png")));
    setFont(WindowFont(11));
    move(layout::kWindowPosition);
    resize(layout::kClientSize);
    BuildFrame();
    BuildPage1();
    BuildPage2();
    BuildPage3();
    BuildPage4();
    BuildPage5();
    // The panel lies over the strip where the page container's tabs would be.
    Panel1->raise();
}

void TForm1::BuildFrame() {
    Image6 = Place(new QLabel(this), "Image6", {16, 40, 153, 89});
    Image6->setPixmap(QPixmap(QStringLiteral(":/ostrel/logo.png")));
    Image6->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ListBoxVer = MakeTextBlock(this, "ListBoxVer", {16, 168, 153, 193}, texts::VersionBlock(),
                               WindowFont(11), 13);

    // Pages change only by the program: the container has no tab strip, and its content area
    // lies where a tab band would leave it.
    PageControl1 = Place(new QStackedWidget(this), "PageControl1", layout::kPageControl);
    PageControl1->setContentsMargins(layout::kPageContentMargins);

    Panel1 = Place(new QFrame(this), "Panel1", {104, 0, 177, 33});
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setAutoFillBackground(true);
    Panel1->setBackgroundRole(QPalette::Button);

    btnESC = MakeButton(this, "btnESC", {200, 360, 89, 25}, texts::kCancel);
    btnBACK = MakeButton(this, "btnBACK", {344, 360, 89, 25}, texts::kBack);
    btnNEXT = MakeButton(this, "btnNEXT", {488, 359, 89, 25}, texts::kNext);

    ApplicationEvents1 = new ApplicationEvents(this);
    ApplicationEvents1->setObjectName(QStringLiteral("ApplicationEvents1"));
}

void TForm1::BuildPage1() {
    TabSheet1 = MakePage(PageControl1, "TabSheet1");
    RichEdit1 = Place(new QTextEdit(TabSheet1), "RichEdit1", {0, 16, 401, 289});
    RichEdit1->setFont(WindowFont(17));
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    RichEdit1->setPlainText(texts::WelcomeText().join(QLatin1Char('\n')));
}

void TForm1::BuildPage2() {
    TabSheet2 = MakePage(PageControl1, "TabSheet2");
    ListBox1 = MakeTextBlock(TabSheet2, "ListBox1", {0, 16, 377, 289}, texts::PreparationSteps(),
                             WindowFont(13, true), 16);
}

void TForm1::BuildPage3() {
    TabSheet3 = MakePage(PageControl1, "TabSheet3");
    const MarkGlyphs& marks = ChosenMarkGlyphs();
    Label1 =
        MakeLabel(TabSheet3, "Label1", {8, 16, 150, 24}, texts::kConnection, WindowFont(19, true));
    lbConnected =
        MakeStateLabel(TabSheet3, "lbConnected", {248, 24, 135, 20}, texts::kConnected, kGreen);
    lbNotConnected =
        MakeStateLabel(TabSheet3, "lbNotConnected", {218, 24, 165, 20}, texts::kNotConnected, kRed);
    ListBox6 = MakeTextBlock(TabSheet3, "ListBox6", {8, 40, 209, 33}, texts::ConnectionHint(),
                             WindowFont(11), 13);
    txtConnFail = MakeMark(TabSheet3, "txtConnFail", {232, 40, 45, 75}, marks.cross, kRed);
    txtConnOK = MakeMark(TabSheet3, "txtConnOK", {312, 40, 54, 75}, marks.check, kGreen);
    btnConnect = MakeButton(TabSheet3, "btnConnect", {8, 80, 89, 25}, texts::kConnect);
    ListBox2 = MakeTextBlock(TabSheet3, "ListBox2", {0, 120, 377, 153}, texts::SettingsNote(),
                             WindowFont(13, true), 16);
    cbKeepUser =
        Place(new QCheckBox(Text(texts::kKeepUser), TabSheet3), "cbKeepUser", {0, 280, 377, 33});
    cbKeepUser->setFont(WindowFont(16));
}

void TForm1::BuildPage4() {
    TabSheet4 = MakePage(PageControl1, "TabSheet4");
    const MarkGlyphs& marks = ChosenMarkGlyphs();
    lbWrite =
        MakeLabel(TabSheet4, "lbWrite", {0, 16, 114, 24}, texts::kWriteTitle, WindowFont(19, true));
    BarWrite = MakeBar(TabSheet4, "BarWrite", {0, 48, 273, 17});
    lbWriteOn = MakeStateLabel(TabSheet4, "lbWriteOn", {326, 48, 65, 20}, texts::kExchange, kOlive);
    lbWriteOK = MakeStateLabel(TabSheet4, "lbWriteOK", {366, 48, 25, 20}, texts::kStateOK, kGreen);
    lbWriteErr =
        MakeStateLabel(TabSheet4, "lbWriteErr", {301, 48, 90, 20}, texts::kStateError, kRed);
    lbVerify = MakeLabel(TabSheet4, "lbVerify", {0, 88, 117, 24}, texts::kVerifyTitle,
                         WindowFont(19, true));
    BarVerify = MakeBar(TabSheet4, "BarVerify", {0, 120, 273, 17});
    lbVerifyOn =
        MakeStateLabel(TabSheet4, "lbVerifyOn", {326, 120, 65, 20}, texts::kExchange, kOlive);
    lbVerifyOK =
        MakeStateLabel(TabSheet4, "lbVerifyOK", {366, 120, 25, 20}, texts::kStateOK, kGreen);
    lbVerifyErr =
        MakeStateLabel(TabSheet4, "lbVerifyErr", {301, 120, 90, 20}, texts::kStateError, kRed);
    txtWriteOK = MakeMark(TabSheet4, "txtWriteOK", {8, 184, 54, 75}, marks.check, kGreen);
    txtWriteFail = MakeMark(TabSheet4, "txtWriteFail", {8, 192, 45, 75}, marks.cross, kRed);
    ListWriteOK = MakeTextBlock(TabSheet4, "ListWriteOK", {64, 192, 281, 49}, texts::SuccessNote(),
                                WindowFont(13, true), 16);
    ListWriteFail = MakeTextBlock(TabSheet4, "ListWriteFail", {64, 208, 281, 49},
                                  texts::FailureNote(), WindowFont(13, true), 16);
}

void TForm1::BuildPage5() {
    TabSheet5 = MakePage(PageControl1, "TabSheet5");
    ListBox4 = MakeTextBlock(TabSheet5, "ListBox4", {0, 32, 377, 241}, texts::ClosingText(),
                             WindowFont(13, true), 16);
}

}  // namespace ostrel
