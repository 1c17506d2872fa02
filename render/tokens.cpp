#include "render/tokens.h"

#include <algorithm>

#include "platform/fonts.h"
#include "render/draw.h"

namespace quarvel {

void CWordTokenList::Append(const CWordToken& token, int advance) {
    m_tokens.push_back(token);
    m_nWidth += advance;
    if (advance != 0) m_atPen.clear();
}

void CWordTokenList::AddText(const char* bytes, std::size_t length) {
    if (length == 0) {
        AddCode(0);
        return;
    }
    if (!TakesMore()) return;
    const std::string_view run(bytes, length);
    const CWordToken token{m_text.size(), length, 0};
    m_text += run;
    Append(token, MeasureRun(run));
}

void CWordTokenList::AddCode(char32_t code) {
    if (!TakesMore()) return;
    const int advance = GlyphCache::Instance().Get(code).advance;
    if (advance == 0) {
        if (std::find(m_atPen.begin(), m_atPen.end(), code) != m_atPen.end()) return;
        m_atPen.push_back(code);
    }
    Append(CWordToken{0, 0, code}, advance);
}

}  // namespace quarvel
