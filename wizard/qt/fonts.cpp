#include "wizard/qt/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>
#include <QStringList>

namespace ostrel {
namespace {

bool IsInstalled(const QString& family) {
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

QString WindowFontFamily() {
    for (const char* family : {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}) {
        if (IsInstalled(QString::fromLatin1(family))) return QString::fromLatin1(family);
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

// Whether `family` is installed under that name (not a substitute) and draws both characters
// itself. QFontMetrics::inFont would also count the fallback fonts Qt merges in.
bool HasBoth(const QString& family, QChar check, QChar cross) {
    QFont font(family);
    font.setPixelSize(64);
    const QRawFont raw = QRawFont::fromFont(font);
    return QFontInfo(font).family().compare(family, Qt::CaseInsensitive) == 0 && raw.isValid() &&
           raw.supportsCharacter(check) && raw.supportsCharacter(cross);
}

}  // namespace

MarkGlyphs ChooseMarkGlyphs(const QStringList& unicodeFamilies) {
    // Qt maps the symbol font's private-use range (0xF0xx) onto 0x00xx, so the characters are
    // asked for by their single-byte codes. Wine ships a Wingdings without the cross, hence the
    // test of both glyphs rather than of the family alone.
    const QString wingdings = QStringLiteral("Wingdings");
    if (IsInstalled(wingdings) && HasBoth(wingdings, QChar(0xFC), QChar(0xFB))) {
        return {wingdings, QString(QChar(0xFC)), QString(QChar(0xFB))};
    }
    // Else the same marks from Unicode, from the first font that has both.
    const QChar check(0x2714);
    const QChar cross(0x2718);
    for (const QString& family : unicodeFamilies) {
        if (IsInstalled(family) && HasBoth(family, check, cross)) {
            return {family, QString(check), QString(cross)};
        }
    }
    return {QStringLiteral("DejaVu Sans"), QString(check), QString(cross)};
}

QFont WindowFont(int pixelHeight, bool bold) {
    static const QString family = WindowFontFamily();
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

const MarkGlyphs& ChosenMarkGlyphs() {
    // DejaVu Sans where the package's dependency installed it, any other font otherwise.
    static const MarkGlyphs glyphs =
        ChooseMarkGlyphs(QStringList{QStringLiteral("DejaVu Sans")} << QFontDatabase::families());
    return glyphs;
}

QFont MarkFont(int pixelHeight) {
    QFont font(ChosenMarkGlyphs().family);
    font.setPixelSize(pixelHeight);
    return font;
}

}  // namespace ostrel
