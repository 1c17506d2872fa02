#pragma once
// EUC-JP <-> Shift-JIS, byte by byte, with the arithmetic JIS X 0208 mappings.
//
// Texts carry their length: a NUL byte is an ordinary byte here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codec.h"

namespace quarvel::engine {

constexpr bool IsEucKanaPrefix(unsigned char b) { return b == 0x8E; }
constexpr bool IsJisByte(unsigned char b) { return b >= 0x21 && b <= 0x7E; }
constexpr bool IsHalfWidthKana(unsigned char b) { return b >= 0xA1 && b <= 0xDF; }

// JIS X 0208 code (first byte high) to Shift-JIS, or 0 when not valid.
std::uint16_t JisToShiftJis(std::uint16_t jis);
// Shift-JIS pair (lead byte high) to JIS X 0208, or 0 when it has no JIS code.
std::uint16_t ShiftJisToJis(std::uint16_t sjis);

// The output positions of the half-width katakana that EucToShiftJis made from two-byte
// 0x8E sequences: one bit per output byte, with running counts every 512 bytes, so that
// they cost about an eighth of the document's size, not eight bytes per katakana.
class KanaPositions {
public:
    // Marks a position; positions come in increasing order.
    void Add(std::size_t pos);
    // How many marked positions lie before `pos`.
    std::size_t CountBefore(std::size_t pos) const;
    std::size_t Count() const { return count_; }
    // Room for positions up to `size` without growing.
    void Reserve(std::size_t size);

private:
    static constexpr std::size_t kWordsPerBlock = 8;
    std::vector<std::uint64_t> bits_;
    std::vector<std::size_t> before_;  // marks before each block of kWordsPerBlock words
    std::size_t count_ = 0;
};

// EUC-JP to Shift-JIS. A byte in 0xA1..0xFE whose partner is not also in 0xA1..0xFE
// (or that stands last) is copied unchanged with its partner; a trailing 0x8E is
// dropped. When `kanaAt` is given it receives the output position of every half-width
// katakana made from a two-byte 0x8E sequence: the only places where the output is
// shorter than the input (see EucSourceOffset).
std::string EucToShiftJis(std::string_view euc, KanaPositions* kanaAt = nullptr);
// The same into `out`, which has room for euc.size() bytes (the result is never
// longer); returns the length written.
std::size_t EucToShiftJis(std::string_view euc, char* out, KanaPositions* kanaAt);

// Shift-JIS to EUC-JP. A pair without a JIS code, and a lead byte standing last,
// become 0x80 0x80.
std::string ShiftJisToEuc(std::string_view sjis);

// The position in the EUC-JP text that corresponds to position `pos` of its
// Shift-JIS form made by EucToShiftJis (`sjisLength` its length, `kanaAt` as it
// gave them, `eucLength` the length of the original).
std::size_t EucSourceOffset(std::size_t pos, std::size_t sjisLength, std::size_t eucLength,
                            const KanaPositions& kanaAt);

}  // namespace quarvel::engine
