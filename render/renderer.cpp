#include "render/renderer.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/codec.h"
#include "platform/fonts.h"
#include "render/draw.h"
#include "render/png_writer.h"
#include "render/references.h"

namespace quarvel {
namespace {

constexpr std::size_t kRunBufferSize = 1024;
constexpr int kMaxMargin = 100;
static_assert(kLineReach == kMaxTextWidth + kMaxMargin + kFontPixelHeight);

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
    std::array<CWordTokenList, kMaxLines + 1> lists;
};

}  // namespace

int TokenizeTextArt(const char* text, CWordTokenList* lines, bool bSpace) {
    const CUnicoder& unicoder = GetUnicoder();
    char run[kRunBufferSize];
    std::size_t len = 0;
    std::size_t pos = 0;
    int line = 0;
    auto flush = [&] {
        if (len > 0) lines[line].AddText(run, len);
        len = 0;
    };

    for (;;) {
        if (len > kRunCutLength) flush();
        const auto b = static_cast<unsigned char>(text[pos]);
        if (len == 0 && !lines[line].TakesMore() && b != '\0' && b != '<') {
            // Nothing more of this line can show: only a line break matters until it
            // ends, and a lead byte still takes its partner (which may be a '<').
            pos += IsLeadByte(b) && text[pos + 1] != '\0' ? 2 : 1;
            continue;
        }
        switch (b) {
        case '\0':
            flush();
            return lines[line].IsEmpty() ? line : line + 1;
        case '\t':
        case '\n':
        case '\r':
            ++pos;
            continue;
        case '<':
            if (IsLineBreakTag(text + pos)) {
                flush();
                pos += 4;
                if (++line == kMaxLines) return kMaxLines;
            } else {
                pos = SkipTag(text, pos);
            }
            continue;
        case '&': {
            char32_t code = 0;
            if (std::size_t k = unicoder.DecodeReference(text + pos, code); k > 0) {
                char encoded[16];
                std::size_t r = unicoder.EncodeChar(code, encoded);
                if (r <= 2) {
                    std::copy_n(encoded, r, run + len);
                    len += r;
                } else {
                    flush();
                    lines[line].AddCode(code);
                }
                pos += k;
                continue;
            }
            break;
        }
        case ' ':
            if (bSpace && (len == 0 || run[len - 1] == ' ')) {
                ++pos;
                continue;
            }
            break;
        default:
            break;
        }
        if (IsLeadByte(b)) {
            if (text[pos + 1] == '\0') {  // a lone lead byte at the end is dropped
                ++pos;
                continue;
            }
            run[len++] = text[pos];
            run[len++] = text[pos + 1];
            pos += 2;
        } else {
            run[len++] = text[pos];
            ++pos;
        }
    }
}

int MeasureTextWidth(const CWordTokenList* lines, int count) {
    int widest = 0;
    for (int i = 0; i < count; ++i) {
        widest = std::max(widest, lines[i].Width());
    }
    widest = (widest + 3) / 4 * 4;
    return std::min(widest, kMaxTextWidth);
}

Picture RenderPicture(const char* text, const Appearance& look) {
    // Everything lives in this call, so renderings on several threads do not meet.
    // The window allows 0..100; anything else is held to that range so that a bad
    // value can neither make a negative size nor an enormous picture.
    const int margin = std::clamp(look.iMargin, 0, kMaxMargin);

    Lines lines;
    const int count = TokenizeTextArt(text, lines.lists.data(), look.bSpace);
    const int text_width = MeasureTextWidth(lines.lists.data(), count);
    const int width = margin * 2 + text_width;
    const int height = margin * 2 + kLinePitch * count;
    if (width <= 0 || height <= 0) return Picture(1, 1, look.colBack);

    Picture picture(width, height, look.colBack);
    const CUnicoder& unicoder = GetUnicoder();
    for (int i = 0; i < count; ++i) {
        const int y = margin + kLinePitch * i;
        int x = 0;
        const CWordTokenList& list = lines.lists[static_cast<std::size_t>(i)];
        for (const CWordToken& t : list.Tokens()) {
            if (t.IsRun()) {
                x += DrawRun(picture, margin + x, y, list.Text(t), look.colFore, look.colBack);
            } else {
                const int advance = unicoder.MeasureChar(t.m_wCode);
                unicoder.DrawChar(picture, margin + x, y, t.m_wCode, look.colFore, look.colBack);
                x += advance;
            }
            // Past the right edge (and further than any glyph reaches back) nothing shows.
            if (margin + x >= width + kFontPixelHeight) break;
        }
    }
    return picture;
}

int RenderTextArt(const char* text, std::FILE* stream, COLORREF colFore, COLORREF colBack,
                  int iMargin, bool bSpace) {
    Picture picture = RenderPicture(text, Appearance{colFore, colBack, iMargin, bSpace});
    if (stream) {
        WritePngFile(picture, stream);
        std::fclose(stream);
    }
    return 1;
}

}  // namespace quarvel
