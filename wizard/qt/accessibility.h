#pragma once
// What a screen reader hears of the window beyond the controls' own texts: a text block as the
// one text it shows rather than a list of screen lines, a progress bar by the name of its line
// and its percentage without the actions of a slider, and the marks by what they mean.
#include <QListWidget>
#include <QProgressBar>

#include "wizard/layout_table.h"

namespace ostrel {

// A text block: a list of screen lines on screen, one text to a screen reader.
class TextBlock : public QListWidget {
    Q_OBJECT
  public:
    using QListWidget::QListWidget;
};

// A progress bar heard by its line's title and its percentage.
class LineBar : public QProgressBar {
    Q_OBJECT
  public:
    using QProgressBar::QProgressBar;
};

// Once per program, before the window is built.
void InstallAccessibility();
// The name a screen reader gives a control whose text says nothing (a mark, a bar), if any.
QString AccessibleNameOf(const wizard::ControlLayout& layout);

}  // namespace ostrel
