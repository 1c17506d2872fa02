#include "render/two_colour.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>

namespace quarvel::render {

using platform::Color;
using platform::Picture;

namespace {

// A pixel's three bytes as one number, for comparing colours in one step.
inline std::uint32_t Key(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16;
}

inline Color ColorOfKey(std::uint32_t key) {
    return {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key >> 16)};
}

// The first pixel whose colour is not `first`, as a key; nothing when there is none.
bool FindSecondColour(const Picture& picture, std::uint32_t first, std::uint32_t& second) {
    const std::uint8_t* p = picture.rgb.data();
    const std::uint8_t* const end = p + picture.rgb.size();
    for (; p != end; p += 3) {
        if (Key(p) != first) {
            second = Key(p);
            return true;
        }
    }
    return false;
}

// `pattern` repeated `count` times, every `period` bits.
constexpr std::uint64_t Repeat(std::uint64_t pattern, int period, int count) {
    std::uint64_t mask = 0;
    for (int i = 0; i < count; ++i) mask |= pattern << (period * i);
    return mask;
}

// A byte with its bits in the opposite order: the first pixel goes to the highest bit.
constexpr std::array<std::uint8_t, 256> kReversed = [] {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        for (int bit = 0; bit < 8; ++bit)
            if (i >> bit & 1) table[static_cast<std::size_t>(i)] |= static_cast<std::uint8_t>(0x80 >> bit);
    }
    return table;
}();

// `count` pixels of one colour, as their bytes lie in a row.
template <int count>
struct SameColourRun {
    alignas(16) std::uint8_t bytes[3 * count];
    explicit SameColourRun(std::uint32_t key) {
        for (int i = 0; i < 3 * count; ++i) bytes[i] = static_cast<std::uint8_t>(key >> (8 * (i % 3)));
    }
};

// Packs the rows of a picture of the colours `first` and `second` (distinct) at one
// bit per pixel, 1 for `second`.
class RowPacker {
public:
    RowPacker(std::uint32_t first, std::uint32_t second) : first_(first), second_(second), blank_(first) {
#if defined(__SSE2__)
        const SameColourRun<16> a(first), b(second);
        for (int j = 0; j < 3; ++j) {
            first16_[j] = _mm_load_si128(reinterpret_cast<const __m128i*>(a.bytes + 16 * j));
            second16_[j] = _mm_load_si128(reinterpret_cast<const __m128i*>(b.bytes + 16 * j));
        }
#endif
    }

    // One row of `width` pixels; false when a pixel has neither colour.
    bool Pack(const std::uint8_t* p, int width, std::uint8_t* out) const {
        bool stray = false;
        int x = 0;
#if defined(__SSE2__)
        // Sixteen pixels at a time: a byte mask per colour, three bits per pixel.
        constexpr std::uint64_t kWhole = Repeat(1, 3, 16);
        for (; x + 16 <= width; x += 16, p += 48, out += 2) {
            if (AllOf(p, first16_)) {  // most of a picture: its background
                out[0] = out[1] = 0;
                continue;
            }
            const std::uint64_t isFirst = Matches(p, first16_);
            const std::uint64_t isSecond = Matches(p, second16_);
            stray = stray || (isFirst | isSecond) != kWhole;
            const unsigned bits = GatherEveryThirdBit(isSecond);
            out[0] = kReversed[bits & 0xFF];
            out[1] = kReversed[bits >> 8];
        }
#endif
        // Eight at a time: most groups are all background and take one comparison.
        for (; x + 8 <= width; x += 8, p += 24) {
            *out++ = std::memcmp(p, blank_.bytes, sizeof blank_.bytes) == 0 ? 0 : PackFew(p, 8, stray);
        }
        if (x < width) *out = PackFew(p, width - x, stray);
        return !stray;
    }

private:
    std::uint8_t PackFew(const std::uint8_t* p, int count, bool& stray) const {
        unsigned byte = 0;
        for (int k = 0; k < count; ++k, p += 3) {
            const std::uint32_t key = Key(p);
            byte = byte << 1 | static_cast<unsigned>(key == second_);
            stray = stray || (key != first_ && key != second_);
        }
        return static_cast<std::uint8_t>(byte << (8 - count));
    }

#if defined(__SSE2__)
    // Whether the sixteen pixels at p all have the colour of `run`.
    static bool AllOf(const std::uint8_t* p, const __m128i (&run)[3]) {
        __m128i same = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), run[0]);
        same = _mm_and_si128(same, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), run[1]));
        same = _mm_and_si128(same, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), run[2]));
        return _mm_movemask_epi8(same) == 0xFFFF;
    }

    // Bit 3i set when pixel i of the sixteen at p has the colour of `run`.
    static std::uint64_t Matches(const std::uint8_t* p, const __m128i (&run)[3]) {
        std::uint64_t equal = 0;
        for (int j = 0; j < 3; ++j) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * j));
            const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, run[j])));
            equal |= static_cast<std::uint64_t>(mask) << (16 * j);
        }
        return equal & equal >> 1 & equal >> 2 & Repeat(1, 3, 16);
    }

    // Bits 3i (i < 16) moved to bits i, in pairs, fours, eights.
    static unsigned GatherEveryThirdBit(std::uint64_t x) {
        x = (x | x >> 2) & Repeat(0x3, 6, 8);
        x = (x | x >> 4) & Repeat(0xF, 12, 4);
        x = (x | x >> 8) & Repeat(0xFF, 24, 2);
        return static_cast<unsigned>((x | x >> 16) & 0xFFFF);
    }

    __m128i first16_[3];
    __m128i second16_[3];
#endif
    std::uint32_t first_;
    std::uint32_t second_;
    SameColourRun<8> blank_;
};

// Each bit of a byte `scale` times, the first pixel in the highest of 8 x scale bits.
template <int scale>
constexpr std::array<std::uint32_t, 256> kWidened = [] {
    std::array<std::uint32_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint32_t bits = 0;
        for (int bit = 7; bit >= 0; --bit)
            for (int k = 0; k < scale; ++k) bits = bits << 1 | static_cast<std::uint32_t>(i >> bit & 1);
        table[static_cast<std::size_t>(i)] = bits;
    }
    return table;
}();

// One packed row widened: byte i of `in` becomes bytes scale x i .. scale x i + scale - 1
// of `out`, up to `outBytes`.
template <int scale>
void WidenRow(const std::uint8_t* in, std::size_t inBytes, std::uint8_t* out, std::size_t outBytes) {
    for (std::size_t i = 0; i < inBytes; ++i) {
        const std::uint32_t bits = kWidened<scale>[in[i]];
        for (int k = 0; k < scale; ++k) {
            const std::size_t at = scale * i + static_cast<std::size_t>(k);
            if (at < outBytes) out[at] = static_cast<std::uint8_t>(bits >> (8 * (scale - 1 - k)));
        }
    }
}

}  // namespace

void ScaleTwoColours(const TwoColourRows& rows, int width, int height, int scale, TwoColourRows& out) {
    out.first = rows.first;
    out.second = rows.second;
    out.hasSecond = rows.hasSecond;
    out.stride = (static_cast<std::size_t>(width) * static_cast<std::size_t>(scale) + 7) / 8;
    out.bits.assign(out.stride * static_cast<std::size_t>(height) * static_cast<std::size_t>(scale), 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rows.bits.data() + rows.stride * static_cast<std::size_t>(y);
        std::uint8_t* first = out.bits.data() + out.stride * static_cast<std::size_t>(y) * scale;
        switch (scale) {
        case 2: WidenRow<2>(in, rows.stride, first, out.stride); break;
        case 3: WidenRow<3>(in, rows.stride, first, out.stride); break;
        default: WidenRow<4>(in, rows.stride, first, out.stride); break;
        }
        for (int k = 1; k < scale; ++k)
            std::memcpy(first + out.stride * static_cast<std::size_t>(k), first, out.stride);
    }
}

bool PackTwoColours(const Picture& picture, TwoColourRows& out) {
    if (picture.width <= 0 || picture.height <= 0) return false;
    const std::uint32_t first = Key(picture.rgb.data());
    std::uint32_t second = first;
    out.first = ColorOfKey(first);
    out.hasSecond = FindSecondColour(picture, first, second);
    out.second = ColorOfKey(second);
    out.stride = (static_cast<std::size_t>(picture.width) + 7) / 8;
    // Every byte is written below: rows kept from a picture before need no clearing.
    out.bits.resize(out.stride * static_cast<std::size_t>(picture.height));
    if (!out.hasSecond) {
        // With one colour every bit is 0, and the search has seen every pixel already.
        std::fill(out.bits.begin(), out.bits.end(), std::uint8_t{0});
        return true;
    }
    const RowPacker packer(first, second);
    for (int y = 0; y < picture.height; ++y) {
        if (!packer.Pack(picture.row(y), picture.width, out.bits.data() + out.stride * y)) return false;
    }
    return true;
}

}  // namespace quarvel::render
