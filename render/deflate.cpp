#include "render/deflate.h"

#include <algorithm>
#include <array>
#include <vector>

namespace quarvel::render {
namespace {

constexpr std::uint64_t kAdlerBase = 65521;

// Steps per block: each block has codes of its own, fitted to what it holds.
constexpr std::size_t kBlockSteps = 16384;

constexpr int kEndOfBlock = 256;
constexpr int kLengthSymbols = 286;  // literals, end of block, lengths
constexpr int kDistanceSymbols = 30;
constexpr int kCodeLengthSymbols = 19;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                         33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the lengths of the code-length code are sent.
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

// The length symbol (less 257) of every match length.
constexpr std::array<std::uint8_t, kMaxMatchLength + 1> kLengthSymbol = [] {
    std::array<std::uint8_t, kMaxMatchLength + 1> table{};
    for (int length = 3; length <= kMaxMatchLength; ++length) {
        int symbol = 28;
        while (kLengthBase[static_cast<std::size_t>(symbol)] > length) --symbol;
        table[static_cast<std::size_t>(length)] = static_cast<std::uint8_t>(symbol);
    }
    return table;
}();

// The distance symbol of distances 1 to 256, and of larger ones by (distance - 1) >> 7.
constexpr std::array<std::uint8_t, 512> kDistanceSymbolTable = [] {
    std::array<std::uint8_t, 512> table{};
    auto symbolOf = [](int distance) {
        int symbol = 29;
        while (kDistanceBase[static_cast<std::size_t>(symbol)] > distance) --symbol;
        return static_cast<std::uint8_t>(symbol);
    };
    for (int d = 1; d <= 256; ++d) table[static_cast<std::size_t>(d)] = symbolOf(d);
    for (int i = 2; i < 256; ++i) table[256 + static_cast<std::size_t>(i)] = symbolOf((i << 7) + 1);
    return table;
}();

int DistanceSymbol(int distance) {
    return distance <= 256 ? kDistanceSymbolTable[static_cast<std::size_t>(distance)]
                           : kDistanceSymbolTable[256 + static_cast<std::size_t>((distance - 1) >> 7)];
}

// Bits, least significant first, as deflate packs them.
class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    void Put(std::uint32_t bits, int count) {
        buffer_ |= static_cast<std::uint64_t>(bits) << used_;
        used_ += count;
        if (used_ >= 32) {
            const char bytes[4] = {static_cast<char>(buffer_), static_cast<char>(buffer_ >> 8),
                                   static_cast<char>(buffer_ >> 16), static_cast<char>(buffer_ >> 24)};
            out_.append(bytes, 4);
            buffer_ >>= 32;
            used_ -= 32;
        }
    }
    void Flush() {
        for (; used_ > 0; used_ -= 8) {
            out_ += static_cast<char>(buffer_ & 0xFF);
            buffer_ >>= 8;
        }
        used_ = 0;
    }

private:
    std::string& out_;
    std::uint64_t buffer_ = 0;
    int used_ = 0;
};

// The most symbols a code has: the literals, the end of block and the lengths.
constexpr std::size_t kMostSymbols = kLengthSymbols;

// Code lengths of a Huffman code for the frequencies (at most kMostSymbols), none
// longer than `maxBits`. At least two symbols must have a frequency: the code is then
// complete.
void HuffmanLengths(std::span<const std::uint32_t> frequencies, int maxBits, std::uint8_t* lengths) {
    const std::size_t n = frequencies.size();
    std::array<std::uint32_t, kMostSymbols> freq;
    std::copy(frequencies.begin(), frequencies.end(), freq.begin());
    std::fill_n(lengths, n, std::uint8_t{0});
    std::array<std::uint32_t, kMostSymbols> leaves;
    std::array<std::uint64_t, 2 * kMostSymbols> weight;
    std::array<std::uint32_t, 2 * kMostSymbols> parent;
    std::array<std::uint8_t, 2 * kMostSymbols> depth;
    for (;;) {
        // Leaves sorted by weight (equal weights in the order of their symbols); inner
        // nodes are made in order of weight, so two queues give the two lightest nodes
        // at each step.
        std::size_t count = 0;
        for (std::size_t s = 0; s < n; ++s)
            if (freq[s] > 0) leaves[count++] = static_cast<std::uint32_t>(s);
        std::sort(leaves.begin(), leaves.begin() + static_cast<std::ptrdiff_t>(count),
                  [&](std::uint32_t a, std::uint32_t b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
        for (std::size_t i = 0; i < count; ++i) weight[i] = freq[leaves[i]];
        std::size_t leaf = 0, inner = count, made = count;
        auto lightest = [&]() {
            if (leaf < count && (inner == made || weight[leaf] <= weight[inner])) return leaf++;
            return inner++;
        };
        while (made < 2 * count - 1) {
            const std::size_t a = lightest(), b = lightest();
            weight[made] = weight[a] + weight[b];
            parent[a] = parent[b] = static_cast<std::uint32_t>(made);
            ++made;
        }
        // Depths from the root (the last node made) down: a parent comes after its children.
        depth[2 * count - 2] = 0;
        int deepest = 0;
        for (std::size_t i = 2 * count - 2; i-- > 0;) {
            depth[i] = static_cast<std::uint8_t>(depth[parent[i]] + 1);
            deepest = std::max<int>(deepest, depth[i]);
        }
        if (deepest <= maxBits) {
            for (std::size_t i = 0; i < count; ++i) lengths[leaves[i]] = depth[i];
            return;
        }
        // Too deep: flatten the frequencies and build again.
        for (std::size_t s = 0; s < n; ++s)
            if (freq[s] > 0) freq[s] = (freq[s] >> 1) | 1;
    }
}

// A Huffman code of up to kMostSymbols: lengths and the canonical codes, bit-reversed
// for the stream.
struct Code {
    std::array<std::uint8_t, kMostSymbols> lengths{};
    std::array<std::uint16_t, kMostSymbols> codes{};

    void Build(std::span<const std::uint32_t> frequencies, int maxBits) {
        // Two symbols at least, so that every code is complete, as every decoder takes it.
        std::array<std::uint32_t, kMostSymbols> freq;
        std::copy(frequencies.begin(), frequencies.end(), freq.begin());
        const std::span<std::uint32_t> used(freq.data(), frequencies.size());
        int count = static_cast<int>(std::count_if(used.begin(), used.end(), [](std::uint32_t f) { return f > 0; }));
        for (std::size_t s = 0; count < 2; ++s)
            if (used[s] == 0) {
                used[s] = 1;
                ++count;
            }
        HuffmanLengths(used, maxBits, lengths.data());
        std::array<std::uint16_t, 16> counts{}, next{};
        for (std::size_t s = 0; s < used.size(); ++s) ++counts[lengths[s]];
        counts[0] = 0;
        std::uint16_t code = 0;
        for (std::size_t bits = 1; bits < 16; ++bits) {
            code = static_cast<std::uint16_t>((code + counts[bits - 1]) << 1);
            next[bits] = code;
        }
        for (std::size_t s = 0; s < used.size(); ++s) {
            const int l = lengths[s];
            if (l == 0) continue;
            const std::uint16_t c = next[static_cast<std::size_t>(l)]++;
            std::uint16_t reversed = 0;
            for (int b = 0; b < l; ++b) reversed = static_cast<std::uint16_t>(reversed << 1 | ((c >> b) & 1));
            codes[s] = reversed;
        }
    }
    void Put(BitWriter& out, int symbol) const {
        out.Put(codes[static_cast<std::size_t>(symbol)], lengths[static_cast<std::size_t>(symbol)]);
    }
};

// The code lengths of both codes, run-length coded with the symbols 16, 17 and 18.
struct LengthRun {
    std::uint8_t symbol;
    std::uint8_t extra;  // the value of its extra bits
};

std::vector<LengthRun> RunLengthCoded(const std::vector<std::uint8_t>& all) {
    std::vector<LengthRun> runs;
    for (std::size_t i = 0; i < all.size();) {
        const std::uint8_t length = all[i];
        std::size_t same = 1;
        while (i + same < all.size() && all[i + same] == length) ++same;
        i += same;
        if (length == 0) {
            while (same >= 11) {
                const std::size_t take = std::min<std::size_t>(same, 138);
                runs.push_back({18, static_cast<std::uint8_t>(take - 11)});
                same -= take;
            }
            if (same >= 3) {
                runs.push_back({17, static_cast<std::uint8_t>(same - 3)});
                same = 0;
            }
        } else {
            runs.push_back({length, 0});
            --same;
            while (same >= 3) {
                const std::size_t take = std::min<std::size_t>(same, 6);
                runs.push_back({16, static_cast<std::uint8_t>(take - 3)});
                same -= take;
            }
        }
        for (; same > 0; --same) runs.push_back({length, 0});
    }
    return runs;
}

void WriteBlock(BitWriter& out, std::span<const LzStep> steps, bool last) {
    std::array<std::uint32_t, kLengthSymbols> lengthFreq{};
    std::array<std::uint32_t, kDistanceSymbols> distanceFreq{};
    for (const LzStep& step : steps) {
        if (step.distance == 0) {
            ++lengthFreq[step.length];
        } else {
            ++lengthFreq[257 + kLengthSymbol[step.length]];
            ++distanceFreq[static_cast<std::size_t>(DistanceSymbol(step.distance))];
        }
    }
    lengthFreq[kEndOfBlock] = 1;
    Code lengthCode, distanceCode;
    lengthCode.Build(lengthFreq, 15);
    distanceCode.Build(distanceFreq, 15);

    int lengthCount = kLengthSymbols, distanceCount = kDistanceSymbols;
    while (lengthCount > 257 && lengthCode.lengths[static_cast<std::size_t>(lengthCount - 1)] == 0) --lengthCount;
    while (distanceCount > 1 && distanceCode.lengths[static_cast<std::size_t>(distanceCount - 1)] == 0) --distanceCount;
    std::vector<std::uint8_t> all(lengthCode.lengths.begin(), lengthCode.lengths.begin() + lengthCount);
    all.insert(all.end(), distanceCode.lengths.begin(), distanceCode.lengths.begin() + distanceCount);
    const std::vector<LengthRun> runs = RunLengthCoded(all);
    std::array<std::uint32_t, kCodeLengthSymbols> runFreq{};
    for (const LengthRun& run : runs) ++runFreq[run.symbol];
    Code runCode;
    runCode.Build(runFreq, 7);
    int runCodeCount = kCodeLengthSymbols;
    while (runCodeCount > 4 && runCode.lengths[kCodeLengthOrder[static_cast<std::size_t>(runCodeCount - 1)]] == 0)
        --runCodeCount;

    out.Put(last ? 1 : 0, 1);
    out.Put(2, 2);  // dynamic Huffman codes
    out.Put(static_cast<std::uint32_t>(lengthCount - 257), 5);
    out.Put(static_cast<std::uint32_t>(distanceCount - 1), 5);
    out.Put(static_cast<std::uint32_t>(runCodeCount - 4), 4);
    for (int i = 0; i < runCodeCount; ++i) out.Put(runCode.lengths[kCodeLengthOrder[static_cast<std::size_t>(i)]], 3);
    for (const LengthRun& run : runs) {
        runCode.Put(out, run.symbol);
        if (run.symbol == 16) out.Put(run.extra, 2);
        if (run.symbol == 17) out.Put(run.extra, 3);
        if (run.symbol == 18) out.Put(run.extra, 7);
    }

    for (const LzStep& step : steps) {
        if (step.distance == 0) {
            lengthCode.Put(out, step.length);
            continue;
        }
        const auto lengthSymbol = static_cast<std::size_t>(kLengthSymbol[step.length]);
        lengthCode.Put(out, 257 + static_cast<int>(lengthSymbol));
        out.Put(step.length - kLengthBase[lengthSymbol], kLengthExtra[lengthSymbol]);
        const auto distanceSymbol = static_cast<std::size_t>(DistanceSymbol(step.distance));
        distanceCode.Put(out, static_cast<int>(distanceSymbol));
        out.Put(step.distance - kDistanceBase[distanceSymbol], kDistanceExtra[distanceSymbol]);
    }
    lengthCode.Put(out, kEndOfBlock);
}

}  // namespace

AdlerPattern::AdlerPattern(std::uint32_t pattern, int patternBytes) : bytes(patternBytes) {
    for (int t = 0; t < patternBytes; ++t) {
        const std::uint64_t p = (pattern >> (8 * t)) & 0xFF;
        sum += p;
        weighted += static_cast<std::uint64_t>(t) * p;
    }
}

void Adler32::Pattern(const AdlerPattern& pattern, std::uint64_t count) {
    // Appending bytes x1..xn adds their sum to s1, and n * s1 plus the sum of
    // (n - i + 1) * xi to s2; for a pattern p0..pk-1 repeated m times that sum is
    // (sum of p) * k * m * (m + 1) / 2 - m * (sum of t * pt), never negative.
    const auto k = static_cast<std::uint64_t>(pattern.bytes);
    length_ += k * count;
    while (count > 0) {
        const std::uint64_t m = std::min<std::uint64_t>(count, 1u << 16);
        s2_ += k * m * s1_ + pattern.sum * (k * m * (m + 1) / 2) - m * pattern.weighted;
        s1_ += m * pattern.sum;
        count -= m;
        if (++added_ >= 64) Reduce();
    }
}

void Adler32::Add(const Adler32& stretch) {
    Reduce();
    s2_ += (stretch.length_ % kAdlerBase) * s1_ + stretch.s2_ % kAdlerBase;
    s1_ += stretch.s1_ % kAdlerBase;
    length_ += stretch.length_;
    Reduce();
}

void Adler32::Reduce() {
    s1_ %= kAdlerBase;
    s2_ %= kAdlerBase;
    added_ = 0;
}

std::uint32_t Adler32::Value() {
    Reduce();
    return static_cast<std::uint32_t>(s2_ << 16 | s1_);
}

void ZlibStreamOf(std::span<const LzStep> steps, std::uint32_t adler32, std::string& out) {
    out.assign("\x78\x9C", 2);  // deflate, 32 KB window, default level
    BitWriter bits(out);
    std::size_t at = 0;
    do {
        const std::size_t count = std::min(kBlockSteps, steps.size() - at);
        WriteBlock(bits, steps.subspan(at, count), at + count == steps.size());
        at += count;
    } while (at < steps.size());
    bits.Flush();
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((adler32 >> shift) & 0xFF);
}

}  // namespace quarvel::render
