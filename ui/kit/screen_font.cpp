#include "ui/kit/screen_font.h"

#include <cstdint>
#include <cstring>

#include "platform/fonts.h"

namespace quarvel {

// "ＭＳ Ｐゴシック" in code page 932.
const char kMsPGothicFaceName[] = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

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

CLogFont::CLogFont() {
    std::memset(m_szFaceName, 0, sizeof m_szFaceName);
    std::strncpy(m_szFaceName, kMsPGothicFaceName, sizeof m_szFaceName - 1);
}

CLogFont::~CLogFont() {
    m_hFont.reset();
    m_bFontMade = 0;
}

const LogFont* CLogFont::BuildLogFont(int pixels_per_inch) {
    m_logFont = LogFont{};
    m_logFont.lfHeight = -MulDiv(m_nPointSize, pixels_per_inch, 72);
    std::memcpy(m_logFont.lfFaceName, m_szFaceName, sizeof m_logFont.lfFaceName);
    m_logFont.lfFaceName[sizeof m_logFont.lfFaceName - 1] = '\0';
    m_logFont.lfWeight = m_bBold ? 700 : 400;
    m_logFont.lfItalic = m_bItalic ? 1 : 0;
    m_logFont.lfUnderline = m_bUnderline ? 1 : 0;
    m_logFont.lfStrikeOut = m_bStrikeOut ? 1 : 0;
    m_logFont.lfCharSet = m_nCharSet;
    return &m_logFont;
}

const PlatformFont* CLogFont::MakeFont(int pixels_per_inch) {
    m_hFont.reset();  // the previous font goes before the next is made
    auto font = std::make_unique<PlatformFont>();
    font->description = *BuildLogFont(pixels_per_inch);
    font->glyphs = &GlyphCache::Instance();
    m_hFont = std::move(font);
    m_bFontMade = 1;
    return m_hFont.get();
}

}  // namespace quarvel
