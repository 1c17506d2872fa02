#include "ui/kit/screen_font.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

#include <algorithm>
#include <cstdint>

#include "platform/fonts.h"

namespace quarvel::ui {

using platform::FontFamilyChain;
using platform::UserFontFile;

namespace {

// The families that draw the pictures, the user's font file loaded once.
QStringList PictureFamilies() {
    static const QStringList families = [] {
        QStringList list;
        const std::filesystem::path userFont = UserFontFile();
        if (!userFont.empty()) {
            const int id =
                QFontDatabase::addApplicationFont(QFile::decodeName(QByteArray::fromStdString(userFont.native())));
            if (id >= 0) list << QFontDatabase::applicationFontFamilies(id);
        }
        for (const char* family : FontFamilyChain()) list << QString::fromLatin1(family);
        return list;
    }();
    return families;
}

}  // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t half = (c < 0 ? -c : c) / 2;
    bool negative = (product < 0) != (c < 0);
    std::int64_t magnitude = (product < 0 ? -product : product);
    std::int64_t divisor = c < 0 ? -c : c;
    std::int64_t q = (magnitude + half) / divisor;
    return static_cast<int>(negative ? -q : q);
}

QFont MakeScreenFont(int pixelsPerInch) {
    QFont font;
    font.setFamilies(PictureFamilies());
    font.setPixelSize(std::max(1, MulDiv(kScreenFontPoints, pixelsPerInch, 72)));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

}  // namespace quarvel::ui
