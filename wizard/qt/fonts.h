#pragma once
// The fonts the wizard draws with. Its texts are laid out for "MS Sans Serif" at fixed pixel
// heights; where that font is missing, Liberation Sans (Arial's widths, with Cyrillic) takes its
// place at the same heights, since the wider DejaVu Sans would overrun several fixed boxes. The
// check mark and the cross are Wingdings characters where a Wingdings with both exists (Windows),
// else the same marks from Unicode, taken from a font that has both (DejaVu Sans first).
#include <QFont>
#include <QString>
#include <QStringList>

namespace ostrel {

QFont WindowFont(int pixelHeight, bool bold = false);

struct MarkGlyphs {
    QString family;
    QString check;
    QString cross;
};
// Wingdings where it has both marks, else the first of `unicodeFamilies` that has U+2714 and
// U+2718 itself.
MarkGlyphs ChooseMarkGlyphs(const QStringList& unicodeFamilies);
// The choice made once for the window.
const MarkGlyphs& ChosenMarkGlyphs();
QFont MarkFont(int pixelHeight);

}  // namespace ostrel
