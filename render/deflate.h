#pragma once
// A zlib stream (RFC 1950, deflate of RFC 1951) written from an LZ77 parse made by
// the caller: the parse in blocks of dynamic Huffman codes, and the Adler-32 of the
// bytes it stands for. What a general compressor spends on finding matches, a caller
// that knows its data can do far faster.

#include <cstdint>
#include <span>
#include <string>

namespace quarvel::render {

// One step of a parse: a literal byte, or a copy of `length` bytes (3 to 258) from
// `distance` bytes back (1 to 32768).
struct LzStep {
    std::uint16_t length = 0;    // the byte itself for a literal
    std::uint16_t distance = 0;  // 0 for a literal
};

inline constexpr int kMaxMatchLength = 258;
inline constexpr int kMaxMatchDistance = 32768;

// A pattern of up to four bytes (the first in the low byte) with its sums taken once,
// for the Adler-32 of many runs of it.
struct AdlerPattern {
    std::uint64_t sum = 0;       // of its bytes
    std::uint64_t weighted = 0;  // of each byte times its place (0 for the first)
    int bytes = 0;

    AdlerPattern() = default;
    AdlerPattern(std::uint32_t pattern, int patternBytes);
};

// The Adler-32 of a stream, built from runs of a repeated pattern of bytes without
// the bytes themselves, and from stretches of bytes summed on their own (Stretch),
// added as often as they repeat.
class Adler32 {
public:
    // The sums of a stretch of bytes on its own, to be added to a stream with Add.
    static Adler32 Stretch() { return Adler32(0); }

    Adler32() = default;
    void Byte(std::uint32_t b) { Pattern(AdlerPattern(b, 1), 1); }
    // `pattern` repeated `count` times.
    void Pattern(const AdlerPattern& pattern, std::uint64_t count);
    void Pattern(std::uint32_t pattern, int patternBytes, std::uint64_t count) {
        Pattern(AdlerPattern(pattern, patternBytes), count);
    }
    // The bytes of `stretch` after those so far.
    void Add(const Adler32& stretch);
    std::uint32_t Value();

private:
    explicit Adler32(std::uint64_t s1) : s1_(s1) {}
    void Reduce();
    std::uint64_t s1_ = 1;
    std::uint64_t s2_ = 0;
    std::uint64_t length_ = 0;
    int added_ = 0;  // patterns since the sums were last reduced
};

// The whole zlib stream of the parse. `adler32` is that of the bytes the parse stands
// for. `out` is replaced.
void ZlibStreamOf(std::span<const LzStep> steps, std::uint32_t adler32, std::string& out);

}  // namespace quarvel::render
