#include "render/renderer.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/codec.h"
#include "platform/fonts.h"
#include "render/draw.h"
#include "render/references.h"

namespace quarvel::render {

using platform::Color;
using platform::GlyphCache;
using platform::IsLeadByte;
using platform::kFontPixelHeight;
using platform::Picture;
namespace cp932 = platform::cp932;

namespace {

constexpr std::size_t kRunBufferSize = 1024;

bool IsLineBreakTag(const char* p) {
    return (p[1] == 'b' || p[1] == 'B') && (p[2] == 'r' || p[2] == 'R') && p[3] == '>';
}

// Position just past the tag that starts at text[pos] ('<'), or of the terminator
// when the tag is not closed. A lead byte takes its partner along.
std::size_t SkipTag(const char* text, std::size_t pos) {
    for (++pos; text[pos] != '\0'; ++pos) {
        if (text[pos] == '>') return pos + 1;
        if (IsLeadByte(static_cast<unsigned char>(text[pos]))) {
            if (text[pos + 1] == '\0') return pos + 1;
            ++pos;
        }
    }
    return pos;
}

// The line lists of one call, constructed empty and destroyed together.
struct Lines {
    std::array<WordTokenList, kMaxLines + 1> lists;
};

// One pass of TokenizeTextArt: bytes gather in a run until something ends it (a tag,
// a reference outside the code page, the end of the line or of the text), and each
// run becomes one token of the current line.
class Tokenizer {
public:
    Tokenizer(const char* text, WordTokenList* lines, bool collapseSpaces)
        : text_(text), lines_(lines), collapseSpaces_(collapseSpaces) {}

    int Run() {
        for (;;) {
            if (length_ > kRunCutLength) Flush();
            const auto b = static_cast<unsigned char>(text_[pos_]);
            if (length_ == 0 && !lines_[line_].TakesMore() && b != '\0' && b != '<') {
                // Nothing more of this line can show: only a line break matters until it
                // ends, and a lead byte still takes its partner (which may be a '<').
                pos_ += IsLeadByte(b) && text_[pos_ + 1] != '\0' ? 2 : 1;
                continue;
            }
            switch (b) {
            case '\0': Flush(); return lines_[line_].IsEmpty() ? line_ : line_ + 1;
            case '\t':
            case '\n':
            case '\r': ++pos_; continue;
            case '<':
                if (TakeTag()) {
                    rest_ = text_ + pos_;
                    return kMaxLines;
                }
                continue;
            case '&':
                if (TakeReference()) continue;
                break;
            case ' ':
                if (collapseSpaces_ && (length_ == 0 || run_[length_ - 1] == ' ')) {
                    ++pos_;
                    continue;
                }
                break;
            default: break;
            }
            TakeCharacter(b);
        }
    }

    // After Run: whether the text goes on, past the last line's break, with something
    // that would have been drawn (anything but tags and line ends).
    bool RestHasText() const {
        if (!rest_) return false;
        for (std::size_t i = 0; rest_[i] != '\0';) {
            switch (rest_[i]) {
            case '<': i = SkipTag(rest_, i); break;
            case '\t':
            case '\n':
            case '\r': ++i; break;
            default: return true;
            }
        }
        return false;
    }

private:
    void Flush() {
        if (length_ > 0) lines_[line_].AddText(run_, length_);
        length_ = 0;
    }

    // A tag at pos_: <br> ends the line, any other is dropped. True when the last
    // line has ended.
    bool TakeTag() {
        if (!IsLineBreakTag(text_ + pos_)) {
            pos_ = SkipTag(text_, pos_);
            return false;
        }
        Flush();
        pos_ += 4;
        return ++line_ == kMaxLines;
    }

    // A reference at pos_ joins the run as its bytes, or stands as a character token
    // of its own when the code page cannot hold it. False when there is none.
    bool TakeReference() {
        char32_t code = 0;
        const std::size_t length = DecodeReference(text_ + pos_, code);
        if (length == 0) return false;
        char encoded[16];
        const std::size_t bytes = EncodeChar(code, encoded);
        if (bytes <= 2) {
            std::copy_n(encoded, bytes, run_ + length_);
            length_ += bytes;
        } else {
            Flush();
            lines_[line_].AddCode(code);
        }
        pos_ += length;
        return true;
    }

    // An ordinary character joins the run; a lone lead byte at the end is dropped.
    void TakeCharacter(unsigned char b) {
        if (IsLeadByte(b)) {
            if (text_[pos_ + 1] == '\0') {
                ++pos_;
                return;
            }
            run_[length_++] = text_[pos_];
            run_[length_++] = text_[pos_ + 1];
            pos_ += 2;
        } else {
            run_[length_++] = text_[pos_];
            ++pos_;
        }
    }

    const char* text_;
    WordTokenList* lines_;
    const bool collapseSpaces_;
    char run_[kRunBufferSize];
    std::size_t length_ = 0;
    std::size_t pos_ = 0;
    int line_ = 0;
    const char* rest_ = nullptr;  // what follows the last line's break
};

// Which characters of the lines drawn showed blank (see RenderReport::faceless):
// the tokens as RenderPicture drew them, up to the same right edge.
void ListMissing(const Lines& lines, int count, int margin, int width, RenderReport& report) {
    GlyphCache& glyphs = GlyphCache::Instance();
    auto note = [&](char32_t code) {
        if (glyphs.Get(code).missing &&
            std::find(report.faceless.begin(), report.faceless.end(), code) == report.faceless.end())
            report.faceless.push_back(code);
    };
    for (int i = 0; i < count; ++i) {
        int x = 0;
        const WordTokenList& list = lines.lists[static_cast<std::size_t>(i)];
        for (const WordToken& t : list.Tokens()) {
            if (t.IsRun()) {
                for (std::string_view bytes = list.Text(t); !bytes.empty();) {
                    const cp932::Decoded d = cp932::DecodeOne(bytes);
                    if (!d.valid) {
                        ++report.undecodable;
                        x += glyphs.Undecodable().advance;
                    } else {
                        note(d.code);
                        x += glyphs.Get(d.code).advance;
                    }
                    bytes.remove_prefix(d.length);
                }
            } else {
                note(t.code);
                x += MeasureChar(t.code);
            }
            if (margin + x >= width + kFontPixelHeight) break;
        }
    }
}

}  // namespace

int TokenizeTextArt(const char* text, WordTokenList* lines, bool collapseSpaces, bool* cut) {
    Tokenizer tokenizer(text, lines, collapseSpaces);
    const int count = tokenizer.Run();
    if (cut) *cut = tokenizer.RestHasText();
    return count;
}

LineMeasure MeasureFirstLine(const char* text, bool collapseSpaces) {
    // Lines past the first are tokenized too, but only up to the picture's reach.
    Lines lines;
    lines.lists[0] = WordTokenList(WordTokenList::kNoReach);
    TokenizeTextArt(text, lines.lists.data(), collapseSpaces);
    return {lines.lists[0].Width(), !lines.lists[0].IsEmpty()};
}

int MeasureTextWidth(const WordTokenList* lines, int count) {
    int widest = 0;
    for (int i = 0; i < count; ++i) {
        widest = std::max(widest, lines[i].Width());
    }
    widest = (widest + 3) / 4 * 4;
    return std::min(widest, kMaxTextWidth);
}

Picture RenderPicture(const char* text, const Appearance& look, RenderReport* report) {
    // Everything lives in this call, so renderings on several threads do not meet.
    // The window allows 0..100; anything else is held to that range so that a bad
    // value can neither make a negative size nor an enormous picture.
    const int margin = std::clamp(look.margin, 0, kMaxMargin);

    Lines lines;
    RenderReport found;
    const int count = TokenizeTextArt(text, lines.lists.data(), look.collapseSpaces, &found.linesCut);
    const int text_width = MeasureTextWidth(lines.lists.data(), count);
    for (int i = 0; i < count; ++i) found.widthCut |= lines.lists[static_cast<std::size_t>(i)].Width() > kMaxTextWidth;
    const int width = margin * 2 + text_width;
    const int height = margin * 2 + kLinePitch * count;
    const Color back = DrawnBackColor(look);
    if (width <= 0 || height <= 0) {
        if (report) *report = found;
        return Picture(1, 1, back);
    }

    Picture picture(width, height, back);
    for (int i = 0; i < count; ++i) {
        const int y = margin + kLinePitch * i;
        int x = 0;
        const WordTokenList& list = lines.lists[static_cast<std::size_t>(i)];
        for (const WordToken& t : list.Tokens()) {
            if (t.IsRun()) {
                x += DrawRun(picture, margin + x, y, list.Text(t), look.textColor, back, &found.missingGlyphs);
            } else {
                const int advance = MeasureChar(t.code);
                DrawChar(picture, margin + x, y, t.code, look.textColor, back, &found.missingGlyphs);
                x += advance;
            }
            // Past the right edge (and further than any glyph reaches back) nothing shows.
            if (margin + x >= width + kFontPixelHeight) break;
        }
    }
    if (report) {
        // Rare, and only then worth a second look at each character.
        if (found.missingGlyphs) ListMissing(lines, count, margin, width, found);
        *report = std::move(found);
    }
    return picture;
}

}  // namespace quarvel::render
