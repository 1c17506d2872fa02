#pragma once
// A font described by size in points, face name, style and character set, and
// the platform font made from it for a given resolution.

#include <memory>

namespace quarvel {

class GlyphCache;

// The description handed to the platform, in the fields Windows' LOGFONT uses.
struct LogFont {
    int lfHeight = 0;  // negative: character height in pixels
    int lfWeight = 0;
    unsigned char lfItalic = 0;
    unsigned char lfUnderline = 0;
    unsigned char lfStrikeOut = 0;
    unsigned char lfCharSet = 0;
    char lfFaceName[32] = {};
};

// A made font: the description and the glyph source that draws it.
struct PlatformFont {
    LogFont description;
    GlyphCache* glyphs = nullptr;
    int PixelHeight() const { return description.lfHeight < 0 ? -description.lfHeight : description.lfHeight; }
};

// Rounds a * b / c to the nearest integer, halves away from zero (Windows' MulDiv).
int MulDiv(int a, int b, int c);

class CLogFont {
public:
    CLogFont();
    virtual ~CLogFont();
    CLogFont(const CLogFont&) = delete;
    CLogFont& operator=(const CLogFont&) = delete;

    // Fills m_logFont for a device of `pixels_per_inch` vertical resolution.
    const LogFont* BuildLogFont(int pixels_per_inch);
    // Makes the font for that resolution; it stays owned here and replaces (and
    // invalidates) the one made before.
    const PlatformFont* MakeFont(int pixels_per_inch);

    int m_nPointSize = 12;
    char m_szFaceName[32];
    int m_bBold = 0;
    int m_bItalic = 0;
    int m_bUnderline = 0;
    int m_bStrikeOut = 0;
    unsigned char m_nCharSet = 128;  // SHIFTJIS_CHARSET
    LogFont m_logFont;
    std::unique_ptr<PlatformFont> m_hFont;
    int m_bFontMade = 0;
};

// The face name of the original font, in code page 932 bytes ("ＭＳ Ｐゴシック").
extern const char kMsPGothicFaceName[];

}  // namespace quarvel
