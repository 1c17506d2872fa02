#include "render/tokens.h"

#include <algorithm>

#include "render/draw.h"

namespace quarvel::render {

void WordTokenList::Append(const WordToken& token, int advance) {
    tokens_.push_back(token);
    width_ += advance;
    if (advance != 0) atPen_.clear();
}

void WordTokenList::AddText(const char* bytes, std::size_t length) {
    if (length == 0) {
        AddCode(0);
        return;
    }
    if (!TakesMore()) return;
    const std::string_view run(bytes, length);
    const WordToken token{text_.size(), length, 0};
    text_ += run;
    Append(token, MeasureRun(run));
}

void WordTokenList::AddCode(char32_t code) {
    if (!TakesMore()) return;
    const int advance = MeasureChar(code);
    if (advance == 0) {
        if (std::find(atPen_.begin(), atPen_.end(), code) != atPen_.end()) return;
        atPen_.push_back(code);
    }
    Append(WordToken{0, 0, code}, advance);
}

}  // namespace quarvel::render
