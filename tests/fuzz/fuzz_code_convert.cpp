// EUC-JP <-> Shift-JIS on random bytes.
//
// Invariants:
// - EucToShiftJis never lengthens a text; its two forms agree; the half-width kana
//   positions it reports rise, lie inside the result and hold a kana byte, and
//   EucSourceOffset maps the result back onto the original monotonically, with the
//   ends on the ends and each kana on its 0x8E;
// - JIS X 0208 <-> Shift-JIS codes are each other's inverse where defined;
// - valid EUC-JP (ASCII, JIS X 0208, half-width kana) comes back byte for byte from
//   Shift-JIS, and valid Shift-JIS (ASCII, kana, pairs with a JIS code) from EUC-JP.

#include <string>
#include <vector>

#include "engine/code_convert.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {

using engine::EucSourceOffset;
using engine::EucToShiftJis;
using engine::IsEucKanaPrefix;
using engine::IsHalfWidthKana;
using engine::JisToShiftJis;
using engine::KanaPositions;
using engine::ShiftJisToEuc;
using engine::ShiftJisToJis;

using platform::IsLeadByte;

namespace {

using Bytes = std::string_view;

unsigned char At(Bytes s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// The positions a KanaPositions holds, read back one by one.
std::vector<std::size_t> Marked(const KanaPositions& kana, std::size_t size) {
    std::vector<std::size_t> marked;
    for (std::size_t pos = 0; pos < size; ++pos)
        if (kana.CountBefore(pos + 1) != kana.CountBefore(pos)) marked.push_back(pos);
    FUZZ_CHECK(marked.size() == kana.Count());
    return marked;
}

void CheckEucToShiftJis(Bytes euc) {
    KanaPositions kana;
    const std::string sjis = EucToShiftJis(euc, &kana);
    FUZZ_CHECK(sjis.size() <= euc.size());
    FUZZ_CHECK(EucToShiftJis(euc) == sjis);
    const std::vector<std::size_t> kanaAt = Marked(kana, sjis.size());

    std::string buffer(euc.size(), '\0');
    KanaPositions kanaAgain;
    FUZZ_CHECK(EucToShiftJis(euc, buffer.data(), &kanaAgain) == sjis.size());
    FUZZ_CHECK(buffer.compare(0, sjis.size(), sjis) == 0 && Marked(kanaAgain, sjis.size()) == kanaAt);

    for (std::size_t k = 0; k < kanaAt.size(); ++k) {
        FUZZ_CHECK(kanaAt[k] < sjis.size());
        if (k > 0) FUZZ_CHECK(kanaAt[k] > kanaAt[k - 1]);
        const std::size_t from = EucSourceOffset(kanaAt[k], sjis.size(), euc.size(), kana);
        FUZZ_CHECK(from + 1 < euc.size() && At(euc, from) == 0x8E && euc[from + 1] == sjis[kanaAt[k]]);
    }
    FUZZ_CHECK(EucSourceOffset(0, sjis.size(), euc.size(), kana) == (sjis.empty() ? euc.size() : 0));
    FUZZ_CHECK(EucSourceOffset(sjis.size(), sjis.size(), euc.size(), kana) == euc.size());
    std::size_t last = 0;
    for (std::size_t pos = 0; pos <= sjis.size(); ++pos) {
        const std::size_t from = EucSourceOffset(pos, sjis.size(), euc.size(), kana);
        FUZZ_CHECK(from >= last && from <= euc.size() && from >= pos);
        last = from;
    }
}

void CheckCodes(std::uint16_t value) {
    if (std::uint16_t jis = ShiftJisToJis(value); jis != 0) FUZZ_CHECK(JisToShiftJis(jis) == value);
    if (std::uint16_t sjis = JisToShiftJis(value); sjis != 0) FUZZ_CHECK(ShiftJisToJis(sjis) == value);
}

// The valid EUC-JP that the bytes spell: ASCII, JIS X 0208 pairs, 0x8E and a kana;
// anything else is left out.
std::string ValidEuc(Bytes bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = At(bytes, i);
        const unsigned char next = i + 1 < bytes.size() ? At(bytes, i + 1) : 0;
        if (b < 0x80) {
            out += bytes[i];
        } else if (b >= 0xA1 && b <= 0xFE && next >= 0xA1 && next <= 0xFE) {
            out += bytes.substr(i++, 2);
        } else if (IsEucKanaPrefix(b) && IsHalfWidthKana(next)) {
            out += bytes.substr(i++, 2);
        }
    }
    return out;
}

// The valid Shift-JIS that the bytes spell, in the same way.
std::string ValidShiftJis(Bytes bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = At(bytes, i);
        const unsigned char next = i + 1 < bytes.size() ? At(bytes, i + 1) : 0;
        if (IsLeadByte(b)) {
            if (ShiftJisToJis(static_cast<std::uint16_t>((b << 8) | next)) != 0) out += bytes.substr(i, 2);
            ++i;
        } else if (b < 0x80 || IsHalfWidthKana(b)) {
            out += bytes[i];
        }
    }
    return out;
}

void CheckAll(Bytes input) {
    CheckEucToShiftJis(input);
    const std::string euc = ShiftJisToEuc(input);  // any bytes: only the size is bounded
    FUZZ_CHECK(euc.size() <= 2 * input.size());

    for (std::size_t i = 0; i + 1 < input.size() && i < 64; i += 2)
        CheckCodes(static_cast<std::uint16_t>((At(input, i) << 8) | At(input, i + 1)));

    const std::string validEuc = ValidEuc(input);
    FUZZ_CHECK(ShiftJisToEuc(EucToShiftJis(validEuc)) == validEuc);
    const std::string validSjis = ValidShiftJis(input);
    FUZZ_CHECK(EucToShiftJis(ShiftJisToEuc(validSjis)) == validSjis);
}

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quarvel::CheckAll(quarvel::fuzz::AsText(data, size));
    return 0;
}
