#include "wizard/qt/accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <algorithm>

namespace ostrel {
namespace {

using wizard::ControlId;
using wizard::ControlKind;

// Qt's accessibility bridge on Linux passes no alert event on, but it tells of a control shown:
// a result shows as a notification, which a screen reader says as it appears.
bool IsResult(const QObject* control) {
    return std::any_of(std::begin(wizard::kResults), std::end(wizard::kResults), [&](ControlId id) {
        return control->objectName() == QLatin1String(wizard::Layout(id).name);
    });
}

// The lines joined into the sentences they break up, blank lines left out.
class TextBlockReading : public QAccessibleWidget {
  public:
    explicit TextBlockReading(TextBlock* block)
        : QAccessibleWidget(block, QAccessible::StaticText) {}
    QAccessible::Role role() const override {
        return IsResult(object()) ? QAccessible::Notification : QAccessible::StaticText;
    }
    QString text(QAccessible::Text kind) const override {
        if (kind != QAccessible::Name) return QAccessibleWidget::text(kind);
        const auto* block = static_cast<const TextBlock*>(widget());
        QStringList lines;
        for (int i = 0; i < block->count(); ++i) {
            const QString line = block->item(i)->text().trimmed();
            if (!line.isEmpty()) lines << line;
        }
        return lines.join(QLatin1Char(' '));
    }
    // Neither its lines nor its scroll bars are things of their own to the reader.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QStringList actionNames() const override { return {}; }
};

// No value interface: with one the accessibility bridge offers Increase and Decrease, which a
// bar the program fills cannot do. The percentage goes in the description.
class LineBarReading : public QAccessibleWidget {
  public:
    explicit LineBarReading(LineBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Description || kind == QAccessible::Value) {
            return QStringLiteral("%1%").arg(static_cast<const LineBar*>(widget())->value());
        }
        return QAccessibleWidget::text(kind);
    }
    QStringList actionNames() const override { return {}; }
};

// A label: its text, or the name given to a mark, which shows no letters; the logo a picture.
class LabelReading : public QAccessibleWidget {
  public:
    explicit LabelReading(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}
    QAccessible::Role role() const override {
        if (!static_cast<const QLabel*>(widget())->pixmap().isNull()) return QAccessible::Graphic;
        return IsResult(object()) ? QAccessible::Notification : QAccessible::StaticText;
    }
    QString text(QAccessible::Text kind) const override {
        if (kind != QAccessible::Name) return QAccessibleWidget::text(kind);
        const auto* label = static_cast<const QLabel*>(widget());
        return label->accessibleName().isEmpty() ? label->text() : label->accessibleName();
    }
};

QAccessibleInterface* Readings(const QString& className, QObject* object) {
    if (className == QLatin1String("QLabel")) {
        return new LabelReading(static_cast<QLabel*>(object));
    }
    if (className == QLatin1String(TextBlock::staticMetaObject.className())) {
        return new TextBlockReading(static_cast<TextBlock*>(object));
    }
    if (className == QLatin1String(LineBar::staticMetaObject.className())) {
        return new LineBarReading(static_cast<LineBar*>(object));
    }
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&Readings);
        return true;
    }();
    (void)installed;
}

QString AccessibleNameOf(const wizard::ControlLayout& layout) {
    switch (layout.kind) {
        case ControlKind::CheckMark:
            return QString::fromUtf8(texts::kCheckMarkName);
        case ControlKind::CrossMark:
            return QString::fromUtf8(texts::kCrossMarkName);
        case ControlKind::ProgressBar:
            return QString::fromUtf8(layout.id == ControlId::BarWrite ? texts::kWriteTitle
                                                                      : texts::kVerifyTitle);
        default:
            return {};
    }
}

}  // namespace ostrel
