#include "app/wizard_fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
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

MarkGlyphs ChooseMarkGlyphs() {
    // Qt maps the symbol font's private-use range (0xF0xx) onto 0x00xx, so the characters are
    // asked for by their single-byte codes. Wine ships a Wingdings without the cross, hence the
    // test of both glyphs rather than of the family alone.
    const MarkGlyphs wingdings{QStringLiteral("Wingdings"), QString(QChar(0xFC)),
                               QString(QChar(0xFB))};
    if (IsInstalled(wingdings.family)) {
        QFont font(wingdings.family);
        font.setPixelSize(64);
        const QFontMetrics metrics(font);
        if (QFontInfo(font).family().compare(wingdings.family, Qt::CaseInsensitive) == 0 &&
            metrics.inFont(wingdings.check[0]) && metrics.inFont(wingdings.cross[0])) {
            return wingdings;
        }
    }
    return {QStringLiteral("DejaVu Sans"), QString(QChar(0x2714)), QString(QChar(0x2718))};
}

}  // namespace

QFont WindowFont(int pixelHeight, bool bold) {
    static const QString family = WindowFontFamily();
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

const MarkGlyphs& ChosenMarkGlyphs() {
    static const MarkGlyphs glyphs = ChooseMarkGlyphs();
    return glyphs;
}

QFont MarkFont(int pixelHeight) {
    QFont font(ChosenMarkGlyphs().family);
    font.setPixelSize(pixelHeight);
    return font;
}

}  // namespace ostrel
