#pragma once
// One line of text art as the renderer draws it: tokens in reading order, each a run
// of code page 932 bytes or a single character given by its code point.
//
// A line keeps only what can show of it, so that it stays small however long its text
// is: once its tokens reach kLineReach pixels, tokens added later are dropped, and a
// character of zero advance that already stands at the pen position is not added
// again (drawing the same glyph at the same place twice changes nothing).

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts.h"
#include "render/appearance.h"

namespace quarvel::render {

// The widest text area of a picture.
inline constexpr int kMaxTextWidth = 1024;

// The pen position from which nothing of a line shows in any picture: beyond the
// widest text area and margin, and further than any glyph reaches back (one font
// height).
inline constexpr int kLineReach = kMaxTextWidth + kMaxMargin + platform::kFontPixelHeight;

// A run (`length` bytes of its list's text, from `offset`) or, when `length` is 0,
// the single character `code`.
struct WordToken {
    std::size_t offset = 0;
    std::size_t length = 0;
    char32_t code = 0;  // a full code point (up to U+10FFFF)

    bool IsRun() const { return length > 0; }
};

class WordTokenList {
public:
    // A line that keeps its tokens up to `reach` pixels (see above); a line measured
    // whole, wider than any picture, has no reach.
    explicit WordTokenList(int reach = kLineReach) : reach_(reach) {}
    static constexpr int kNoReach = std::numeric_limits<int>::max();

    // Adds a copy of `length` bytes as a run; a length of 0 adds the character U+0000.
    void AddText(const char* bytes, std::size_t length);
    void AddCode(char32_t code);

    const std::vector<WordToken>& Tokens() const { return tokens_; }
    // The bytes of a run token of this list (empty for a character token).
    std::string_view Text(const WordToken& token) const {
        return std::string_view(text_).substr(token.offset, token.length);
    }
    bool IsEmpty() const { return tokens_.empty(); }
    // The sum of the advances of the tokens kept.
    int Width() const { return width_; }
    // False once nothing added can show any more.
    bool TakesMore() const { return width_ < reach_; }

private:
    void Append(const WordToken& token, int advance);

    std::vector<WordToken> tokens_;
    std::string text_;  // the runs' bytes, back to back
    int width_ = 0;
    int reach_;
    std::vector<char32_t> atPen_;  // zero-advance characters at the pen position
};

}  // namespace quarvel::render
