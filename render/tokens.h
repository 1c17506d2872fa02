#pragma once
// One line of text art as the renderer draws it: tokens in reading order, each a run
// of code page 932 bytes or a single character given by its code point.
//
// A line keeps only what can show of it, so that it stays small however long its text
// is: once its tokens reach kLineReach pixels, tokens added later are dropped, and a
// character of zero advance that already stands at the pen position is not added
// again (drawing the same glyph at the same place twice changes nothing).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

// The pen position from which nothing of a line shows in any picture: the text area is
// at most 1024 pixels wide, the margin at most 100, and no glyph reaches further back
// than one font height (16 pixels).
inline constexpr int kLineReach = 1024 + 100 + 16;

// A run (m_nLength bytes of its list's text, from m_nOffset) or, when m_nLength is 0,
// the single character m_wCode.
struct CWordToken {
    std::size_t m_nOffset = 0;
    std::size_t m_nLength = 0;
    char32_t m_wCode = 0;  // a full code point (up to U+10FFFF)

    bool IsRun() const { return m_nLength > 0; }
};

class CWordTokenList {
public:
    // Adds a copy of `length` bytes as a run; a length of 0 adds the character U+0000.
    void AddText(const char* bytes, std::size_t length);
    void AddCode(char32_t code);

    const std::vector<CWordToken>& Tokens() const { return m_tokens; }
    // The bytes of a run token of this list (empty for a character token).
    std::string_view Text(const CWordToken& token) const {
        return std::string_view(m_text).substr(token.m_nOffset, token.m_nLength);
    }
    bool IsEmpty() const { return m_tokens.empty(); }
    // The sum of the advances of the tokens kept.
    int Width() const { return m_nWidth; }
    // False once nothing added can show any more.
    bool TakesMore() const { return m_nWidth < kLineReach; }

private:
    void Append(const CWordToken& token, int advance);

    std::vector<CWordToken> m_tokens;
    std::string m_text;                 // the runs' bytes, back to back
    int m_nWidth = 0;
    std::vector<char32_t> m_atPen;      // zero-advance characters at the pen position
};

}  // namespace quarvel
