#include "render/blanks.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>

#include "platform/codec.h"
#include "platform/fonts.h"
#include "render/draw.h"
#include "render/references.h"
#include "render/tokens.h"

namespace quarvel::render {

using platform::Glyph;
using platform::GlyphCache;
namespace cp932 = platform::cp932;

namespace {

constexpr char32_t kSpace = 0x20;
// The candidates: the half-width space, the full-width space and the spaces of the
// general punctuation block.
constexpr char32_t kCandidates[] = {kSpace, 0x3000, 0x2002, 0x2003, 0x2004, 0x2005,
                                    0x2006, 0x2007, 0x2008, 0x2009, 0x200A};

// Gaps wider than any line can be are filled as far as this.
constexpr int kWidestGap = 1 << 14;

bool HasInk(const Glyph& glyph) {
    return std::any_of(glyph.mask.begin(), glyph.mask.end(), [](std::uint8_t m) { return m != 0; });
}

std::vector<Blank> FindBoardBlanks() {
    std::vector<Blank> found;
    char encoded[16];
    for (char32_t code : kCandidates) {
        const Glyph& glyph = GlyphCache::Instance().Get(code);
        if (GlyphCache::TableWidth(code) <= 0 || glyph.missing || HasInk(glyph)) continue;
        // Measured as the renderer measures it: a character the code page holds in its
        // run, any other on its own.
        const std::size_t bytes = EncodeChar(code, encoded);
        const bool inRun = bytes > 0 && bytes <= 2;
        const int width = inRun ? MeasureRun(std::string_view(encoded, bytes)) : MeasureChar(code);
        // Written as itself, one character, or as its reference.
        if (width > 0) found.push_back({code, width, inRun, inRun ? 1 : static_cast<int>(bytes)});
    }
    return found;
}

// The blanks of `blanks` that add up to each width up to `most` with the fewest
// characters written (then the fewest blanks), and which one to take last; none where
// none do.
struct CoinTable {
    struct Cost {
        int written = std::numeric_limits<int>::max();
        int blanks = 0;
        bool operator<(const Cost& o) const { return written != o.written ? written < o.written : blanks < o.blanks; }
        bool None() const { return written == std::numeric_limits<int>::max(); }
    };
    std::vector<Cost> cost;
    std::vector<int> last;
};

CoinTable Coins(const std::vector<const Blank*>& blanks, int most) {
    CoinTable table{std::vector<CoinTable::Cost>(static_cast<std::size_t>(most) + 1),
                    std::vector<int>(static_cast<std::size_t>(most) + 1, -1)};
    table.cost[0] = {0, 0};
    for (int w = 1; w <= most; ++w) {
        for (std::size_t k = 0; k < blanks.size(); ++k) {
            const int before = w - blanks[k]->width;
            if (before < 0 || table.cost[static_cast<std::size_t>(before)].None()) continue;
            const CoinTable::Cost& from = table.cost[static_cast<std::size_t>(before)];
            const CoinTable::Cost cost{from.written + blanks[k]->written, from.blanks + 1};
            if (cost < table.cost[static_cast<std::size_t>(w)]) {
                table.cost[static_cast<std::size_t>(w)] = cost;
                table.last[static_cast<std::size_t>(w)] = static_cast<int>(k);
            }
        }
    }
    return table;
}

const std::vector<Blank>& Blanks() {
    static const std::vector<Blank> blanks = FindBoardBlanks();
    return blanks;
}

// The blanks sorted for the choice, with the coin table of the others made once, as far
// as the widest gap.
struct Sorted {
    const Blank* space = nullptr;
    const Blank* full = nullptr;  // the widest blank drawn in a run, after which a space may stand
    std::vector<const Blank*> others;
    CoinTable coins;
};

const Sorted& SortedBlanks() {
    static const Sorted sorted = [] {
        Sorted s;
        for (const Blank& b : Blanks()) {
            if (b.code == kSpace) {
                s.space = &b;
            } else if (b.inRun && (!s.full || b.width > s.full->width)) {
                if (s.full) s.others.push_back(s.full);
                s.full = &b;
            } else {
                s.others.push_back(&b);
            }
        }
        s.coins = Coins(s.others, kWidestGap);
        return s;
    }();
    return sorted;
}

// The best exact run for `pixels` (at most kWidestGap), or none.
std::optional<BlankRun> ExactRun(int pixels, GapEdges edges) {
    const std::vector<Blank>& blanks = Blanks();
    const Sorted& sorted = SortedBlanks();
    const Blank* space = sorted.space;
    const Blank* full = sorted.full;
    const std::vector<const Blank*>& others = sorted.others;
    const CoinTable& coins = sorted.coins;
    const int spaceWidth = space ? space->width : 0;
    const int fullWidth = full ? full->width : 0;
    const int spaceWritten = space ? space->written : 0, fullWritten = full ? full->written : 0;
    struct Best {
        CoinTable::Cost cost;
        int spaces = 0, fulls = 0;
    } best;
    for (int fulls = 0; fulls * fullWidth <= pixels && (fulls == 0 || fullWidth > 0); ++fulls) {
        const int afterRun = fulls + (edges.afterRunCharacter ? 1 : 0);
        for (int spaces = 0; spaces <= afterRun && fulls * fullWidth + spaces * spaceWidth <= pixels &&
                             (spaces == 0 || spaceWidth > 0);
             ++spaces) {
            const CoinTable::Cost& rest =
                coins.cost[static_cast<std::size_t>(pixels - fulls * fullWidth - spaces * spaceWidth)];
            if (rest.None()) continue;
            // A space never ends the line: a full-width space or another blank after it.
            if (edges.atLineEnd && spaces > 0 && rest.blanks == 0 && afterRun <= spaces) continue;
            const CoinTable::Cost cost{rest.written + fulls * fullWritten + spaces * spaceWritten,
                                       rest.blanks + fulls + spaces};
            if (cost < best.cost) best = {cost, spaces, fulls};
        }
        if (fullWidth == 0) break;
    }
    if (best.cost.None()) return std::nullopt;

    // Each space right after a character drawn in a run: the line's own, then a
    // full-width space each; the full-width spaces left over, then the others, widest
    // first.
    BlankRun run;
    run.width = pixels;
    int spaces = best.spaces, fulls = best.fulls;
    if (edges.afterRunCharacter && spaces > 0) {
        run.codes.push_back(kSpace);
        --spaces;
    }
    for (; spaces > 0; --spaces, --fulls) {
        run.codes.push_back(full->code);
        run.codes.push_back(kSpace);
    }
    for (; fulls > 0; --fulls) run.codes.push_back(full->code);
    std::vector<char32_t> rest;
    for (int w = pixels - best.fulls * fullWidth - best.spaces * spaceWidth; w > 0;) {
        const Blank* b = others[static_cast<std::size_t>(coins.last[static_cast<std::size_t>(w)])];
        rest.push_back(b->code);
        w -= b->width;
    }
    std::stable_sort(rest.begin(), rest.end(), [&](char32_t a, char32_t b) {
        auto width = [&](char32_t c) {
            return std::find_if(blanks.begin(), blanks.end(), [c](const Blank& x) { return x.code == c; })->width;
        };
        return width(a) > width(b);
    });
    run.codes.insert(run.codes.end(), rest.begin(), rest.end());
    return run;
}

bool IsBlankChar(const WrittenChar& c) { return c.IsDrawn() && IsBlank(c.code); }

}  // namespace

const std::vector<Blank>& BoardBlanks() { return Blanks(); }

bool IsBlank(char32_t code) {
    const std::vector<Blank>& blanks = BoardBlanks();
    return std::any_of(blanks.begin(), blanks.end(), [code](const Blank& b) { return b.code == code; });
}

BlankRun ChooseBlanks(int pixels, GapEdges edges) {
    if (pixels <= 0) return {};
    // The nearest width that blanks make, the narrower of two as near. Each width and
    // pair of edges is worked out once on each thread: a text of many lines asks again
    // and again.
    const int wanted = std::min(pixels, kWidestGap);
    thread_local std::vector<std::optional<BlankRun>> chosen[4];
    std::vector<std::optional<BlankRun>>& known = chosen[(edges.afterRunCharacter ? 1 : 0) + (edges.atLineEnd ? 2 : 0)];
    if (known.empty()) known.resize(kWidestGap + 1);
    std::optional<BlankRun>& run = known[static_cast<std::size_t>(wanted)];
    for (int distance = 0; !run && distance <= wanted; ++distance) {
        for (int w : {wanted - distance, std::min(wanted + distance, kWidestGap)}) {
            if (w == 0) run = BlankRun{};
            if (!run && w > 0) run = ExactRun(w, edges);
            if (run) break;
        }
    }
    return run.value_or(BlankRun{});
}

std::string WrittenBlank(char32_t code, TextEncoding encoding) {
    char encoded[16];
    const std::size_t bytes = EncodeChar(code, encoded);
    if (bytes > 2) return std::string(encoded, bytes);
    if (encoding == TextEncoding::cp932) return std::string(encoded, bytes);
    return cp932::Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(code)));
}

Gap GapAt(std::string_view line, std::size_t offset, const WrittenForm& form) {
    // The blanks right before the first character that ends after the offset (one
    // that holds the offset counts as after it), and those from it on.
    const std::size_t at = std::min(offset, line.size());
    std::size_t runBegin = std::string_view::npos;
    std::optional<Gap> gap;
    ForEachWrittenChar(line, form, [&](const WrittenChar& c) {
        if (!gap && c.end <= at) {
            if (!IsBlankChar(c)) {
                runBegin = std::string_view::npos;
            } else if (runBegin == std::string_view::npos) {
                runBegin = c.begin;
            }
            return true;
        }
        if (!gap) gap = Gap{runBegin != std::string_view::npos ? runBegin : c.begin, c.begin};
        if (!IsBlankChar(c)) return false;
        gap->end = c.end;
        return true;
    });
    if (!gap) return {runBegin != std::string_view::npos ? runBegin : at, at};
    return *gap;
}

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The gap at `offset` where blanks can go without changing what is around them. In a
// stretch they go after the line ends that start a line and before those that end it
// (the first and last of a stretch begin and end no line, and the renderer passes over
// the others). What a line ends with may take what follows into itself: a lead byte of
// code page 932 alone (the first byte of the blanks would be its second) or a tag that
// is not closed: they go before it.
Gap PlaceGap(std::string_view line, std::size_t offset, const WrittenForm& form) {
    Gap gap = GapAt(line, offset, form);
    if (form.form == TextForm::html) {
        std::size_t lead = 0, trail = line.size();
        while (lead < line.size() && IsLineEnd(line[lead])) ++lead;
        while (trail > lead && IsLineEnd(line[trail - 1])) --trail;
        if (gap.begin < lead) gap = GapAt(line, lead, form);
        if (gap.end > trail) gap = GapAt(line, trail, form);
        gap.end = std::min(gap.end, trail);
        if (gap.begin != trail || trail == 0) return gap;
        line = line.substr(0, trail);
    } else if (gap.begin != line.size() || line.empty()) {
        return gap;
    }
    WrittenChar last;
    ForEachWrittenChar(line, form, [&](const WrittenChar& c) {
        last = c;
        return true;
    });
    const bool loneLead = form.encoding == TextEncoding::cp932 && last.kind == WrittenChar::Kind::character &&
                          last.end - last.begin == 1 && platform::IsLeadByte(static_cast<unsigned char>(line[last.begin]));
    const bool openTag = last.kind == WrittenChar::Kind::tag && line.back() != '>';
    return loneLead || openTag ? GapAt(line, last.begin, form) : gap;
}

}  // namespace

FilledLine FillGap(std::string_view line, std::size_t offset, int target, const WrittenForm& form) {
    const Gap gap = PlaceGap(line, offset, form);
    GapEdges edges;
    edges.atLineEnd = true;
    ForEachWrittenChar(line, form, [&](const WrittenChar& c) {
        if (!c.IsDrawn()) return true;
        if (c.end <= gap.begin) {
            // The renderer drops a space after a space byte of its run, the second byte of
            // a broken pair of code page 932 too.
            const bool spaceLast = c.kind == WrittenChar::Kind::character && form.encoding == TextEncoding::cp932
                                       ? line[c.end - 1] == ' '
                                       : c.code == kSpace;
            edges.afterRunCharacter = DrawnInRun(c, form) && !spaceLast;
        }
        if (c.begin < gap.end) return true;
        edges.atLineEnd = false;
        return false;
    });
    const std::string_view before = line.substr(0, gap.begin);
    const BlankRun run = ChooseBlanks(target - MeasureBefore(line, gap.begin, form), edges);

    FilledLine filled;
    filled.text = before;
    for (char32_t code : run.codes) filled.text += WrittenBlank(code, form.encoding);
    filled.gapBegin = gap.begin;
    filled.gapEnd = gap.end;
    filled.filledEnd = filled.text.size();
    filled.text += line.substr(gap.end);
    filled.target = target;
    // Measured again, as it is drawn.
    filled.reached = MeasureBefore(filled.text, filled.filledEnd, form);
    return filled;
}

FilledLine PadLine(std::string_view line, int target, const WrittenForm& form) {
    return FillGap(line, line.size(), target, form);
}

std::vector<int> CharacterStarts(std::string_view line, const WrittenForm& form) {
    std::vector<int> starts;
    // No further than a picture can show: a long line is not measured again and again.
    ForEachWrittenChar(line, form, [&](const WrittenChar& c) {
        if (!c.IsDrawn() || IsBlank(c.code)) return true;
        starts.push_back(MeasureBefore(line, c.begin, form));
        return starts.back() < kLineReach;
    });
    starts.push_back(MeasureWritten(line, form));
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
}

int WidthWithoutEndBlanks(std::string_view line, const WrittenForm& form) {
    return MeasureBefore(line, GapAt(line, line.size(), form).begin, form);
}

}  // namespace quarvel::render
