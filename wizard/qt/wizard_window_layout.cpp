// The window's controls, made from the layout table: positions and sizes in pixels at 96 dots
// per inch, fonts by pixel height.
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
#include <utility>

#include "payload/release_identity.h"
#include "wizard/qt/accessibility.h"
#include "wizard/qt/fonts.h"
#include "wizard/qt/wizard_window.h"

namespace ostrel {
namespace {

using wizard::ControlKind;
using wizard::ControlLayout;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QStringList LinesOf(const ControlLayout& control) {
    QStringList lines;
    for (const char* line : control.lines) lines << Text(line);
    return lines;
}

QRect RectOf(const wizard::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

// Named and placed before anything else, so that content is laid out in the final size (a text
// box filled while still small keeps the scroll position that size needed).
template <typename W, typename... Args>
W* Place(const ControlLayout& control, Args&&... args) {
    auto* widget = new W(std::forward<Args>(args)...);
    widget->setObjectName(QString::fromLatin1(control.name));
    widget->setGeometry(RectOf(control.geometry));
    return widget;
}

QFont FontOf(const ControlLayout& control) {
    return WindowFont(control.font.pixelHeight, control.font.weight >= wizard::kBold);
}

void SetTextColour(QWidget* widget, wizard::Colour colour) {
    if (colour == wizard::Colour::WindowText) return;
    const wizard::Rgb rgb = wizard::RgbOf(colour);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, QColor(rgb.red, rgb.green, rgb.blue));
    widget->setPalette(palette);
}

Qt::Alignment HorizontalAlignment(wizard::Align align) {
    switch (align) {
        case wizard::Align::Right:
            return Qt::AlignRight;
        case wizard::Align::Centre:
            return Qt::AlignHCenter;
        case wizard::Align::Left:
            break;
    }
    return Qt::AlignLeft;
}

// A label paints its background, so of two labels on the same spot the later one hides the
// earlier: "ОШИБКА!!!" covers "ОК" when both are shown.
QLabel* MakeLabel(const ControlLayout& control, QWidget* parent) {
    auto* label = Place<QLabel>(control, Text(control.lines[0]), parent);
    label->setFont(FontOf(control));
    label->setAlignment(HorizontalAlignment(control.align) | Qt::AlignTop);
    label->setAutoFillBackground(true);
    SetTextColour(label, control.colour);
    return label;
}

// The check mark or the cross, drawn without a background so that it never cuts into the label
// above it.
QLabel* MakeMark(const ControlLayout& control, QWidget* parent) {
    const MarkGlyphs& marks = ChosenMarkGlyphs();
    auto* mark = Place<QLabel>(
        control, control.kind == ControlKind::CheckMark ? marks.check : marks.cross, parent);
    mark->setFont(MarkFont(control.font.pixelHeight));
    mark->setAlignment(HorizontalAlignment(control.align) | Qt::AlignTop);
    SetTextColour(mark, control.colour);
    return mark;
}

// Lines of a text block are drawn as plain text: neither the current line nor the hovered one
// is marked.
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

// A text block: a borderless list box on the button-face background, one item per line. It
// takes no focus: there is nothing in it to do, and it would show none.
QListWidget* MakeTextBlock(const ControlLayout& control, QWidget* parent) {
    auto* list = Place<TextBlock>(control, parent);
    list->setFocusPolicy(Qt::NoFocus);
    list->setFont(FontOf(control));
    list->setFrameShape(QFrame::NoFrame);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setItemDelegate(new PlainLineDelegate(list));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideNone);
    list->setUniformItemSizes(true);
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    list->setPalette(palette);
    for (const QString& line : LinesOf(control)) {
        auto* item = new QListWidgetItem(line, list);
        item->setSizeHint(QSize(control.geometry.width, control.lineHeight));
    }
    return list;
}

// Enter presses a button only while it has the focus; no button is the window's default.
QPushButton* MakeButton(const ControlLayout& control, QWidget* parent) {
    auto* button = Place<QPushButton>(control, Text(control.lines[0]), parent);
    button->setFont(FontOf(control));
    button->setAutoDefault(true);
    return button;
}

QTextEdit* MakeRichText(const ControlLayout& control, QWidget* parent) {
    auto* edit = Place<QTextEdit>(control, parent);
    edit->setFont(FontOf(control));
    edit->setReadOnly(true);
    edit->setLineWrapMode(QTextEdit::NoWrap);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    edit->setPlainText(LinesOf(control).join(QLatin1Char('\n')));
    return edit;
}

QProgressBar* MakeBar(const ControlLayout& control, QWidget* parent) {
    auto* bar = Place<LineBar>(control, parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

}  // namespace

void QtWizardWindow::BuildLayout() {
    setWindowTitle(kReleaseIdentity.placeholder ? QString::fromUtf8(kPlaceholderMark) : QString());
    setWindowIcon(QIcon(QStringLiteral(":/ostrel/icon.png")));
    setFont(WindowFont(wizard::kWindowFont.pixelHeight));
    move(wizard::kWindowLeft, wizard::kWindowTop);
    resize(wizard::kClientWidth, wizard::kClientHeight);
    // Smaller, the frame would cover the wizard's buttons.
    setMinimumSize(wizard::kClientWidth, wizard::kClientHeight);
    InstallAccessibility();
    for (const ControlLayout& control : wizard::Controls()) {
        QWidget* parent = control.page == 0 ? this : Page(control.page);
        QWidget* widget = MakeControl(control, parent);
        controls_[static_cast<int>(control.id)] = widget;
        if (const QString name = AccessibleNameOf(control); !name.isEmpty()) {
            widget->setAccessibleName(name);
        }
    }
    // The panel lies over the strip where the page container's tabs would be.
    Control(wizard::ControlId::Panel1)->raise();
}

QWidget* QtWizardWindow::MakeControl(const ControlLayout& control, QWidget* parent) {
    switch (control.kind) {
        case ControlKind::Picture: {
            auto* picture = Place<QLabel>(control, parent);
            picture->setPixmap(QPixmap(QStringLiteral(":/ostrel/logo.png")));
            picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return picture;
        }
        case ControlKind::TextBlock:
            return MakeTextBlock(control, parent);
        case ControlKind::PageContainer: {
            // Pages change only by the program: the container has no tab strip, and its content
            // area lies where a tab band would leave it.
            pages_ = Place<QStackedWidget>(control, parent);
            pages_->setContentsMargins(wizard::kPageContentLeft, wizard::kPageContentTop,
                                       wizard::kPageContentRight, wizard::kPageContentBottom);
            for (int page = 1; page <= wizard::kPageCount; ++page) {
                auto* sheet = new QWidget(pages_);
                sheet->setObjectName(QString::fromLatin1(wizard::PageName(page)));
                pages_->addWidget(sheet);
            }
            return pages_;
        }
        case ControlKind::Panel: {
            auto* panel = Place<QFrame>(control, parent);
            panel->setFrameShape(QFrame::NoFrame);
            panel->setAutoFillBackground(true);
            panel->setBackgroundRole(QPalette::Button);
            return panel;
        }
        case ControlKind::Button:
            return MakeButton(control, parent);
        case ControlKind::RichText:
            return MakeRichText(control, parent);
        case ControlKind::Label:
            return MakeLabel(control, parent);
        case ControlKind::CheckMark:
        case ControlKind::CrossMark:
            return MakeMark(control, parent);
        case ControlKind::CheckBox: {
            auto* box = Place<QCheckBox>(control, Text(control.lines[0]), parent);
            box->setFont(FontOf(control));
            return box;
        }
        case ControlKind::ProgressBar:
            return MakeBar(control, parent);
    }
    return Place<QWidget>(control, parent);
}

}  // namespace ostrel
