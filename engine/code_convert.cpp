#include "engine/code_convert.h"

#include <bit>
#include <cstring>

namespace quarvel::engine {

using platform::IsLeadByte;
using platform::IsTrailByte;

std::uint16_t JisToShiftJis(std::uint16_t jis) {
    unsigned h = jis >> 8, l = jis & 0xFF;
    if (!IsJisByte(static_cast<unsigned char>(h)) || !IsJisByte(static_cast<unsigned char>(l))) return 0;
    if (h & 1)
        l += (l <= 0x5F) ? 0x1F : 0x20;
    else
        l += 0x7E;
    h = ((h - 0x21) >> 1) + 0x81;
    if (h > 0x9F) h += 0x40;
    return static_cast<std::uint16_t>((h << 8) | l);
}

std::uint16_t ShiftJisToJis(std::uint16_t sjis) {
    unsigned h = sjis >> 8, l = sjis & 0xFF;
    if (!IsLeadByte(static_cast<unsigned char>(h)) || !IsTrailByte(static_cast<unsigned char>(l))) return 0;
    h -= (h >= 0xA0) ? 0xC1 : 0x81;
    unsigned code;
    if (l >= 0x9F)
        code = (h << 9) + 0x2200 + (l - 0x7E);
    else
        code = (h << 9) + 0x2100 + (l <= 0x7E ? l - 0x1F : l - 0x20);
    if (code < 0x2121 || code > 0x7E7E || !IsJisByte(static_cast<unsigned char>(code & 0xFF))) return 0;
    return static_cast<std::uint16_t>(code);
}

void KanaPositions::Reserve(std::size_t size) {
    const std::size_t words = size / 64 + 1;
    bits_.reserve(words);
    before_.reserve(words / kWordsPerBlock + 1);
}

void KanaPositions::Add(std::size_t pos) {
    const std::size_t word = pos / 64;
    while (bits_.size() <= word) {
        if (bits_.size() % kWordsPerBlock == 0) before_.push_back(count_);
        bits_.push_back(0);
    }
    bits_[word] |= std::uint64_t{1} << (pos % 64);
    ++count_;
}

std::size_t KanaPositions::CountBefore(std::size_t pos) const {
    const std::size_t word = pos / 64;
    if (word >= bits_.size()) return count_;
    const std::size_t block = word / kWordsPerBlock;
    std::size_t n = before_[block];
    for (std::size_t w = block * kWordsPerBlock; w < word; ++w) n += static_cast<std::size_t>(std::popcount(bits_[w]));
    const std::uint64_t below = (std::uint64_t{1} << (pos % 64)) - 1;
    return n + static_cast<std::size_t>(std::popcount(bits_[word] & below));
}

std::string EucToShiftJis(std::string_view euc, KanaPositions* kanaAt) {
    // The output is never longer than the input.
    std::string buffer(euc.size(), '\0');
    buffer.resize(EucToShiftJis(euc, buffer.data(), kanaAt));
    return buffer;
}

std::size_t EucToShiftJis(std::string_view euc, char* out, KanaPositions* kanaAt) {
    char* const begin = out;
    if (kanaAt) kanaAt->Reserve(euc.size());
    const char* in = euc.data();
    const std::size_t n = euc.size();
    for (std::size_t i = 0; i < n;) {
        auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            // Runs of ASCII pass straight through.
            std::size_t run = i + 1;
            while (run < n && static_cast<unsigned char>(in[run]) < 0x80) ++run;
            std::memcpy(out, in + i, run - i);
            out += run - i;
            i = run;
        } else if (IsEucKanaPrefix(b)) {
            if (i + 1 < n) {
                if (kanaAt) kanaAt->Add(static_cast<std::size_t>(out - begin));
                *out++ = in[i + 1];
            }
            i += 2;
        } else if (b >= 0xA1 && b <= 0xFE) {
            auto partner = i + 1 < n ? static_cast<unsigned char>(in[i + 1]) : 0;
            std::uint16_t sjis = 0;
            if (partner >= 0xA1 && partner <= 0xFE)
                sjis = JisToShiftJis(static_cast<std::uint16_t>(((b & 0x7F) << 8) | (partner & 0x7F)));
            if (sjis != 0) {
                *out++ = static_cast<char>(sjis >> 8);
                *out++ = static_cast<char>(sjis & 0xFF);
            } else {
                // Not EUC-JP: keep the bytes rather than lose them.
                *out++ = in[i];
                if (i + 1 < n) *out++ = in[i + 1];
            }
            i += 2;
        } else {
            *out++ = in[i];
            ++i;
        }
    }
    return static_cast<std::size_t>(out - begin);
}

std::string ShiftJisToEuc(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size() + sjis.size() / 4);
    const std::size_t n = sjis.size();
    for (std::size_t i = 0; i < n;) {
        auto b = static_cast<unsigned char>(sjis[i]);
        if (IsLeadByte(b)) {
            auto partner = i + 1 < n ? static_cast<unsigned char>(sjis[i + 1]) : 0;
            std::uint16_t jis = ShiftJisToJis(static_cast<std::uint16_t>((b << 8) | partner));
            out += static_cast<char>((jis >> 8) | 0x80);
            out += static_cast<char>((jis & 0xFF) | 0x80);
            i += 2;
        } else if (IsHalfWidthKana(b)) {
            out += static_cast<char>(0x8E);
            out += sjis[i];
            ++i;
        } else {
            out += sjis[i];
            ++i;
        }
    }
    return out;
}

std::size_t EucSourceOffset(std::size_t pos, std::size_t sjisLength, std::size_t eucLength,
                            const KanaPositions& kanaAt) {
    if (pos >= sjisLength) return eucLength;
    // Every katakana before `pos` took two bytes in the original for one here.
    return pos + kanaAt.CountBefore(pos);
}

}  // namespace quarvel::engine
