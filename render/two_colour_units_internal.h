#pragma once
// The units of a two-colour picture's RGB stream (two_colour_rgb.cpp): its pixels and
// filter bytes as value numbers, the filter each row takes, and the search's settings.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/color.h"
#include "render/deflate.h"
#include "render/two_colour.h"

namespace quarvel::render::detail {

using platform::Color;

constexpr std::uint8_t kFilterNone = 0;
constexpr std::uint8_t kFilterSub = 1;
constexpr std::uint8_t kFilterUp = 2;
constexpr std::uint8_t kFilterPaeth = 4;
// A row's filter byte among the pixels' value numbers (0 to 4).
constexpr std::uint8_t kFilterMark = 0x80;

// How hard matches are looked for, chosen by measuring pictures against libpng's files
// (scripts/png-sizes.sh) and the instructions spent: a hash of eight units (pixels,
// filter bytes) and sixteen earlier stretches with it, each unit inside a match of up
// to 128 hashed too (and the first piece of a longer one, where the pieces after it
// find their nearest copies). Thirty-two stretches make files under 1 % smaller for a
// fifth more instructions; waiting for a longer match past 8 units, little smaller and
// slower; a hash of six units, files 0.5 to 1 % smaller (some bigger) for a twentieth
// more instructions, of five or four units bigger files.
constexpr int kHashUnits = 8;
constexpr int kMaxHashBits = 15;
constexpr int kChainDepth = 16;
constexpr int kGoodEnough = 64;    // units: a match this long is taken at once
constexpr int kInsertBelow = 128;  // units
constexpr int kLazyBelow = 8;      // units: a shorter match waits to see the next unit's
// The units of one deflate copy, at most kMaxMatchLength bytes: 86 pixels, or fewer
// with a row's filter byte among them.
constexpr int kPieceUnits = kMaxMatchLength / 3;

inline std::uint32_t Bytes(Color c) { return c.red | c.green << 8 | c.blue << 16; }

inline std::uint32_t Difference(Color a, Color b) {
    return static_cast<std::uint8_t>(a.red - b.red) | static_cast<std::uint8_t>(a.green - b.green) << 8 |
           static_cast<std::uint8_t>(a.blue - b.blue) << 16;
}

inline std::uint64_t Load(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Bytes alike from a and b on, at most `limit`; 8 bytes of padding follow both.
inline int Common(const std::uint8_t* a, const std::uint8_t* b, int limit) {
    int n = 0;
    for (; n + 8 <= limit; n += 8) {
        const std::uint64_t x = Load(a + n) ^ Load(b + n);
        if (x) return n + __builtin_ctzll(x) / 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// The values a pixel of a filtered row can have, each once, numbered: its colour
// (None), or nothing or the difference of the two colours (Up). Two pixels have the
// same three bytes exactly when they have the same number, whatever their rows' filters.
struct PixelValues {
    std::array<std::uint32_t, 5> bytes{};
    int count = 0;
    std::uint8_t first = 0, second = 0, none = 0, toFirst = 0, toSecond = 0;

    PixelValues(Color a, Color b)
        : first(Number(Bytes(a))),
          second(Number(Bytes(b))),
          none(Number(0)),
          toFirst(Number(Difference(a, b))),
          toSecond(Number(Difference(b, a))) {}
    std::uint8_t Number(std::uint32_t value) {
        for (int i = 0; i < count; ++i)
            if (bytes[static_cast<std::size_t>(i)] == value) return static_cast<std::uint8_t>(i);
        bytes[static_cast<std::size_t>(count)] = value;
        return static_cast<std::uint8_t>(count++);
    }
};

// The bits of a word set, without the processor's own count (which the baseline
// x86-64 the packages are built for does not have).
inline std::int64_t CountBits(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555ull;
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<std::int64_t>((x * 0x0101010101010101ull) >> 56);
}

// One row's filters as bits: for each, where its prediction is not the pixel (the
// pixel then holds the difference of the colours; elsewhere it holds nothing). Sub
// and Paeth predict from the pixel on the left, as Up from the one above; Paeth's
// choice among left, above and upper left, made per byte, is for two colours the
// same for every byte of a pixel: the pixel above where the left one equals the upper
// left, else the left one.
struct RowFilters {
    std::vector<std::uint64_t> sub, up, paeth;  // 64 pixels a word, the first in the highest bit
    std::array<std::int64_t, 5> cost{};         // by filter; Avg (3) never taken

    // `row` and `above` (null for the first row) packed as TwoColourRows holds them and
    // padded to whole words; `weight` libpng's measure of each value number.
    void Measure(const std::uint8_t* row, const std::uint8_t* above, int width, const PixelValues& values,
                 const std::array<int, 5>& weight) {
        const int words = (width + 63) / 64;
        sub.resize(static_cast<std::size_t>(words));
        up.resize(static_cast<std::size_t>(words));
        paeth.resize(static_cast<std::size_t>(words));
        const int difference = weight[values.toFirst];  // toSecond's is the same: each byte negated
        const std::int64_t inked = weight[values.second], blank = weight[values.first];
        std::int64_t ink = 0, subs = 0, ups = 0, paeths = 0;
        std::uint64_t leftWord = 0, upperLeftWord = 0;
        for (int k = 0; k < words; ++k) {
            const std::uint64_t c = __builtin_bswap64(Load(row + 8 * k));
            const std::uint64_t b = above ? __builtin_bswap64(Load(above + 8 * k)) : 0;
            const std::uint64_t a = c >> 1 | leftWord << 63, ul = b >> 1 | upperLeftWord << 63;
            leftWord = c;
            upperLeftWord = b;
            std::uint64_t valid = 64 * (k + 1) <= width ? ~std::uint64_t{0} : ~(~std::uint64_t{0} >> (width - 64 * k));
            if (k == 0) valid &= ~std::uint64_t{0} >> 1;  // the first pixel is measured below
            const std::size_t i = static_cast<std::size_t>(k);
            sub[i] = (c ^ a) & valid;
            up[i] = (c ^ b) & valid;
            paeth[i] = (c ^ (a ^ ((a ^ b) & ~(a ^ ul)))) & valid;
            ink += CountBits(c & valid);
            subs += CountBits(sub[i]);
            ups += CountBits(up[i]);
            paeths += CountBits(paeth[i]);
        }
        // The first pixel: its colour for None and Sub, Up's difference for Up and Paeth.
        const bool first = row[0] >> 7, firstAbove = above && above[0] >> 7;
        const int colour = weight[first ? values.second : values.first];
        cost[kFilterNone] = ink * inked + (width - 1 - ink) * blank + colour;
        cost[kFilterSub] = subs * difference + colour;
        cost[kFilterUp] = ups * difference + (first == firstAbove ? 0 : difference);
        cost[kFilterPaeth] = paeths * difference + (first == firstAbove ? 0 : difference);
        if (first != firstAbove) {
            up[0] |= std::uint64_t{1} << 63;
            paeth[0] |= std::uint64_t{1} << 63;
        }
    }

    // The row is the one measured last again, now below it: None and Sub find what they
    // found, Up and Paeth nothing anywhere (Paeth's upper left is then the left pixel).
    void MeasureRepeat() {
        std::fill(up.begin(), up.end(), 0);
        std::fill(paeth.begin(), paeth.end(), 0);
        cost[kFilterUp] = cost[kFilterPaeth] = 0;
    }

    // libpng's choice: the least sum of the bytes' distances from zero, None first on
    // a tie, then Sub, Up, Paeth. Up and Paeth only below the first row (the row above
    // the first is zero bytes, not a colour).
    std::uint8_t Best(bool firstRow) const {
        std::uint8_t best = kFilterNone;
        for (std::uint8_t f : {kFilterSub, kFilterUp, kFilterPaeth}) {
            if (firstRow && f != kFilterSub) continue;
            if (cost[f] < cost[best]) best = f;
        }
        return best;
    }
    const std::vector<std::uint64_t>& Differences(std::uint8_t filter) const {
        return filter == kFilterSub ? sub : filter == kFilterUp ? up : paeth;
    }
};

// libpng's measure of a pixel value: the distances of its bytes from zero as signed
// bytes, summed.
inline int Weight(std::uint32_t bytes) {
    int sum = 0;
    for (int i = 0; i < 3; ++i) {
        const int b = static_cast<int>((bytes >> (8 * i)) & 0xFF);
        sum += b < 128 ? b : 256 - b;
    }
    return sum;
}

// Eight pixels' bits (the first in the highest) as eight bytes in memory order, each
// all ones where its pixel's bit is set.
constexpr std::array<std::uint64_t, 256> kByteMasks = [] {
    std::array<std::uint64_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            if (b >> (7 - i) & 1) table[static_cast<std::size_t>(b)] |= std::uint64_t{0xFF} << (8 * i);
    return table;
}();

// A byte eight times over.
constexpr std::uint64_t EightOf(std::uint8_t b) { return b * 0x0101010101010101ull; }

// The filtered rows as units: each row its filter byte (kFilterMark | filter), then
// each pixel the number of its value.
class Units {
public:
    Units(const TwoColourRows& rows, int width, int height)
        : width_(width), rowUnits_(width + 1), values_(rows.first, rows.second) {
        // Eight pixels are written at a time: up to seven bytes past a row, which the
        // next row or the padding takes. Every unit is written: the memory of a picture
        // before needs no clearing.
        units_.resize(static_cast<std::size_t>(rowUnits_) * static_cast<std::size_t>(height) + 16);
        std::array<int, 5> weight{};
        for (int i = 0; i < values_.count; ++i)
            weight[static_cast<std::size_t>(i)] = Weight(values_.bytes[static_cast<std::size_t>(i)]);
        const std::size_t stride = rows.stride;
        const std::size_t padded = 8 * ((stride + 7) / 8) + 8;
        std::vector<std::uint8_t> buffers(2 * padded, 0);
        std::uint8_t* bits = buffers.data();  // the row
        std::uint8_t* above = bits + padded;  // the row above
        std::uint8_t* out = units_.data();
        const std::uint64_t first = EightOf(values_.first), second = EightOf(values_.second),
                            none = EightOf(values_.none), toFirst = EightOf(values_.toFirst),
                            toSecond = EightOf(values_.toSecond);
        const std::size_t groups = (static_cast<std::size_t>(width) + 7) / 8;
        RowFilters filters;
        for (int y = 0; y < height; ++y) {
            std::memcpy(bits, rows.bits.data() + stride * static_cast<std::size_t>(y), stride);
            // A row like the one above (a blank one, most often) is measured once.
            const bool repeat = y > 0 && std::memcmp(bits, above, stride) == 0;
            if (repeat)
                filters.MeasureRepeat();
            else
                filters.Measure(bits, y > 0 ? above : nullptr, width, values_, weight);
            const std::uint8_t filter = filters.Best(y == 0);
            *out++ = kFilterMark | filter;
            if (filter == kFilterNone) {
                for (std::size_t j = 0; j < groups; ++j) {
                    const std::uint64_t ink = kByteMasks[bits[j]];
                    Store(out + 8 * j, (ink & second) | (~ink & first));
                }
            } else if (repeat && filter == kFilterUp) {
                std::memset(out, values_.none, static_cast<std::size_t>(width));
            } else {
                const std::uint64_t* d = filters.Differences(filter).data();
                for (std::size_t j = 0; j < groups; ++j) {
                    const std::uint64_t ink = kByteMasks[bits[j]];
                    const std::uint64_t change = kByteMasks[(d[j >> 3] >> (56 - 8 * (j & 7))) & 0xFF];
                    Store(out + 8 * j, (((ink & toSecond) | (~ink & toFirst)) & change) | (~change & none));
                }
                // Sub leaves the first pixel its colour.
                if (filter == kFilterSub) out[0] = bits[0] >> 7 ? values_.second : values_.first;
            }
            out += width;
            std::swap(bits, above);
        }
        std::memset(out, 0, 16);
        count_ = static_cast<int>(out - units_.data());
    }

    const std::uint8_t* data() const { return units_.data(); }
    int count() const { return count_; }
    int rowUnits() const { return rowUnits_; }
    std::uint32_t Bytes(std::uint8_t unit) const {
        return unit & kFilterMark ? unit & ~kFilterMark : values_.bytes[unit];
    }
    int ByteLength(std::uint8_t unit) const { return unit & kFilterMark ? 1 : 3; }
    // Where unit u starts in the filtered bytes.
    int ByteOffset(int u) const {
        const int y = u / rowUnits_, x = u % rowUnits_;
        return y * (3 * width_ + 1) + (x == 0 ? 0 : 3 * x - 2);
    }

private:
    static void Store(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, sizeof v); }

    int width_, rowUnits_;
    PixelValues values_;
    // The units and 16 bytes of padding, in memory kept by the thread for its next
    // picture (a large picture's take a megabyte, as costly to clear as to fill).
    std::vector<std::uint8_t>& units_ = ThreadUnits();
    int count_ = 0;

    static std::vector<std::uint8_t>& ThreadUnits() {
        thread_local std::vector<std::uint8_t> units;
        return units;
    }
};

}  // namespace quarvel::render::detail
