#include "render/two_colour_rgb.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "render/deflate.h"
#include "render/two_colour_units_internal.h"

namespace quarvel::render {

using platform::Color;

namespace {

using detail::Bytes;
using detail::Common;
using detail::kChainDepth;
using detail::kFilterMark;
using detail::kGoodEnough;
using detail::kHashUnits;
using detail::kInsertBelow;
using detail::kLazyBelow;
using detail::kMaxHashBits;
using detail::kPieceUnits;
using detail::Load;
using detail::Units;

struct Match {
    int units = 0;
    int distance = 0;  // bytes
    int back = 0;      // units
};

// The bits of a picture's hash: about one head for every eight units, up to 2^15. A
// small picture's table stays a few pages: each page first touched in a process costs
// more than encoding a thousand pixels, and a smaller table finds the same matches
// within a few bytes in a thousand.
int HashBitsFor(int units) {
    return std::clamp(static_cast<int>(std::bit_width(static_cast<unsigned>(units))) - 3, 10, kMaxHashBits);
}

// The parser's two tables, kept by each thread for its next picture. They start as
// pages the kernel zeroes when first touched, so a one-shot render pays only for the
// entries it uses; a picture clears the heads the one before may have set. The links
// need no clearing: each is written before it is read.
struct ParserTables {
    static constexpr std::size_t kMaxHeads = std::size_t{1} << kMaxHashBits;
    platform::Pages headPages = platform::MapZeroedPages(kMaxHeads * sizeof(int));
    platform::Pages linkPages = platform::MapZeroedPages(kMaxMatchDistance * sizeof(std::uint16_t));
    std::size_t setHeads = 0;

    int* Heads(std::size_t count) {
        int* heads = static_cast<int*>(headPages.get());
        std::memset(heads, 0, setHeads * sizeof(int));
        setHeads = count;
        return heads;
    }
    std::uint16_t* Links() { return static_cast<std::uint16_t*>(linkPages.get()); }
};

class Parser {
public:
    explicit Parser(const Units& units, ParserTables& tables, std::vector<LzStep>& steps)
        : units_(units),
          data_(units.data()),
          hashBits_(HashBitsFor(units.count())),
          head_(tables.Heads(std::size_t{1} << hashBits_)),
          links_(tables.Links()),
          steps_(steps) {
        steps_.clear();
    }

    void Run() {
        const int count = units_.count();
        for (int u = 0; u < count;) {
            Match best = Find(u);
            // Lazy matching: a short match is put off while the unit after starts a
            // longer one, the unit itself written as it is.
            bool inserted = false;
            while (best.units > 0 && best.units < kLazyBelow && u + 1 < count) {
                Insert(u);
                inserted = true;
                const Match next = Find(u + 1);
                if (next.units <= best.units) break;
                Literal(u);
                ++u;
                inserted = false;
                best = next;
            }
            if (best.units == 0) {
                if (!inserted) Insert(u);
                Literal(u);
                ++u;
                continue;
            }
            const int insertTo = best.units <= kInsertBelow ? u + best.units : u + kPieceUnits;
            InsertAll(inserted ? u + 1 : u, insertTo);
            Copy(u, best);
            u += best.units;
        }
    }

private:
    Match Find(int u) const {
        const int count = units_.count();
        const int offset = units_.ByteOffset(u);
        Match best;
        auto consider = [&](int source, int n) {
            if (n < 2) return;
            const int distance = offset - units_.ByteOffset(source);
            if (distance > kMaxMatchDistance) return;
            if (n > best.units || (n == best.units && distance < best.distance)) best = {n, distance, u - source};
        };
        // The unit before, and the one straight above.
        if (u >= 1) consider(u - 1, Common(data_ + u, data_ + u - 1, count - u));
        if (u >= units_.rowUnits())
            consider(u - units_.rowUnits(), Common(data_ + u, data_ + u - units_.rowUnits(), count - u));
        // Earlier stretches of the same units.
        if (best.units < kGoodEnough && u + kHashUnits <= count) {
            int candidate = head_[Hash(u)] - 1;
            for (int depth = 0; depth < kChainDepth && candidate >= 0 && candidate < u; ++depth) {
                if (offset - units_.ByteOffset(candidate) > kMaxMatchDistance) break;
                consider(candidate, Common(data_ + u, data_ + candidate, count - u));
                if (best.units >= kGoodEnough) break;
                const int back = links_[static_cast<std::size_t>(candidate) & (kMaxMatchDistance - 1)];
                if (back == 0) break;
                candidate -= back;
            }
        }
        return best;
    }

    // The eight units from u on, as the hash takes them.
    std::uint64_t Window(int u) const { return Load(data_ + u) << (64 - 8 * kHashUnits); }
    // The hash of the eight units from u on.
    std::size_t Hash(std::uint64_t window) const {
        static_assert(kHashUnits >= 1 && kHashUnits <= 8);
        return static_cast<std::size_t>((window * 0x9E3779B97F4A7C15ull) >> (64 - hashBits_));
    }
    std::size_t Hash(int u) const { return Hash(Window(u)); }
    void Insert(int u) {
        if (u + kHashUnits > units_.count()) return;
        InsertWindow(u, Window(u));
    }
    // Returns the head it set.
    int& InsertWindow(int u, std::uint64_t window) {
        int& head = head_[Hash(window)];
        // A stretch further back than 65535 units is more than the window's bytes back:
        // none is as good.
        const int back = head == 0 ? 0 : u - (head - 1);
        links_[static_cast<std::size_t>(u) & (kMaxMatchDistance - 1)] =
            back <= 0xFFFF ? static_cast<std::uint16_t>(back) : std::uint16_t{0};
        head = u + 1;
        return head;
    }
    // Insert(i) for each i from `from` to `to`. Inside a run of one unit the window
    // stays the same, so each unit links to the one before, as Insert would link it.
    void InsertAll(int from, int to) {
        to = std::min(to, units_.count() - kHashUnits + 1);
        if (from >= to) return;
        std::uint64_t window = Window(from);
        int* head = &InsertWindow(from, window);
        for (int i = from + 1; i < to;) {
            const std::uint64_t next = Window(i);
            if (next != window) {
                window = next;
                head = &InsertWindow(i, window);
                ++i;
                continue;
            }
            // Units i - 1 to i + kHashUnits - 1 are alike, and so are those after them
            // for `same` more: each of their windows is this one.
            const int same = Common(data_ + i + kHashUnits, data_ + i + kHashUnits - 1, to - i - 1);
            const int end = i + 1 + same;
            for (int k = i; k < end;) {
                const auto at = static_cast<std::size_t>(k) & (kMaxMatchDistance - 1);
                const int piece = std::min(end - k, static_cast<int>(kMaxMatchDistance - at));
                std::fill_n(links_ + at, piece, std::uint16_t{1});
                k += piece;
            }
            *head = end;
            i = end;
        }
    }

    void Literal(int u) {
        const std::uint8_t unit = data_[u];
        const std::uint32_t bytes = units_.Bytes(unit);
        for (int i = 0; i < units_.ByteLength(unit); ++i)
            steps_.push_back({static_cast<std::uint16_t>((bytes >> (8 * i)) & 0xFF), 0});
        literal_ = u;
    }

    // Whether the unit's three bytes are one byte three times (every pixel of a grey
    // picture's: its colours, nothing, and their differences).
    bool OneByte(std::uint8_t unit) const {
        const std::uint32_t bytes = units_.Bytes(unit);
        return units_.ByteLength(unit) == 3 && (bytes & 0xFF) * 0x010101u == bytes;
    }

    // A match in pieces of at most kPieceUnits, each from the nearest source that holds
    // the whole piece: the unit before, the row above, the source of the piece before,
    // or an earlier stretch of the same hash. The nearer the source, the fewer extra
    // bits its distance takes (none from one pixel back, 13 from the far end of the
    // window), and a long match found far back often has nearer copies of each of its
    // pieces.
    void Copy(int u, const Match& match) {
        const int end = u + match.units;
        int carried = 0;  // bytes of unit u that the piece before took
        while (u < end) {
            if (carried > 0) {
                u = CopyRestOfRun(u, end, carried);
                carried = 0;
                continue;
            }
            int units = std::min(end - u, kPieceUnits);
            if (end - u - units == 1) --units;  // a copy is 3 bytes at least: leave two units
            const Source source = NearestSource(u, units, {match.distance, u - match.back});
            int distance = source.distance;
            int bytes = units_.ByteOffset(u + units) - units_.ByteOffset(u);
            // A run of a unit of one byte copies the byte before: the same bytes, and
            // the unit written out just before it needs only its first byte.
            if (distance == 3 && OneByte(data_[u - 1])) {
                distance = 1;
                if (literal_ == u - 1 && bytes + 2 <= kMaxMatchLength) {
                    steps_.resize(steps_.size() - 2);
                    bytes += 2;
                }
            }
            // A piece a byte or two short of the longest copy (one with a row's filter
            // byte) takes the first bytes of a run of one byte after it, whose source
            // has them too; the run then follows from the byte before. A copy of 258
            // bytes needs no extra bits for its length, where 256 needs five.
            if (bytes > kMaxMatchLength - 3 && bytes < kMaxMatchLength && end - u - units >= 3) {
                const std::uint8_t next = data_[u + units];
                if (OneByte(next) && data_[u + units + 1] == next && data_[u + units + 2] == next &&
                    data_[source.unit + units] == next) {
                    carried = kMaxMatchLength - bytes;
                    bytes = kMaxMatchLength;
                }
            }
            steps_.push_back({static_cast<std::uint16_t>(bytes), static_cast<std::uint16_t>(distance)});
            lastBack_ = u - source.unit;
            u += units;
        }
    }

    struct Source {
        int distance = 0;  // bytes
        int unit = 0;
    };

    // The nearest source of the `units` units from u on, `found` (the match's own)
    // unless a nearer one holds them all.
    Source NearestSource(int u, int units, Source found) const {
        const int offset = units_.ByteOffset(u);
        auto consider = [&](int source) {
            const int d = offset - units_.ByteOffset(source);
            if (d < found.distance && Common(data_ + u, data_ + source, units) == units) found = {d, source};
        };
        if (u >= 1) consider(u - 1);
        if (u >= units_.rowUnits()) consider(u - units_.rowUnits());
        if (lastBack_ > 1 && u >= lastBack_) consider(u - lastBack_);
        if (found.distance > 3 && u + kHashUnits <= units_.count()) {
            int candidate = head_[Hash(u)] - 1;
            for (int depth = 0; depth < kChainDepth && candidate >= 0; ++depth) {
                if (candidate < u) {
                    if (offset - units_.ByteOffset(candidate) >= found.distance) break;
                    consider(candidate);
                }
                const int back = links_[static_cast<std::size_t>(candidate) & (kMaxMatchDistance - 1)];
                if (back == 0) break;
                candidate -= back;
            }
        }
        return found;
    }

    // The rest of the run of a unit of one byte from u on (up to `end`), whose first
    // `carried` bytes are written: from the byte before, in copies of 258 bytes and the
    // rest. Returns where the run ends.
    int CopyRestOfRun(int u, int end, int carried) {
        int run = 1 + Common(data_ + u + 1, data_ + u, end - u - 1);
        if (end - u - run == 1) --run;  // leave two units
        for (int bytes = 3 * run - carried; bytes > 0;) {
            int piece = std::min(bytes, kMaxMatchLength);
            if (bytes - piece > 0 && bytes - piece < 3) piece = bytes - 3;
            steps_.push_back({static_cast<std::uint16_t>(piece), 1});
            bytes -= piece;
        }
        lastBack_ = 1;
        return u + run;
    }

    int lastBack_ = 0;   // how far back the source of the last piece was, in units
    int literal_ = -1;   // the unit written out last
    const Units& units_;
    const std::uint8_t* data_;
    int hashBits_;
    int* head_;             // by hash: the last unit with it, plus one; 0 for none
    std::uint16_t* links_;  // by unit, modulo the window: how far back the unit before
                            // with its hash is; 0 for none
    std::vector<LzStep>& steps_;
};

// The Adler-32 of the filtered bytes, from the runs of their units, row by row: a row
// of the same units as the one before (most of a blank background) is summed once.
std::uint32_t AdlerOf(const Units& units) {
    std::array<AdlerPattern, 16> patterns;  // by unit: pixel values 0 to 4, filter bytes 8 to 12
    auto slot = [](std::uint8_t unit) { return static_cast<std::size_t>((unit & 7) | (unit >> 4)); };
    for (std::uint8_t unit = 0; unit < 5; ++unit) {
        patterns[slot(unit)] = AdlerPattern(units.Bytes(unit), units.ByteLength(unit));
        const auto filter = static_cast<std::uint8_t>(kFilterMark | unit);
        patterns[slot(filter)] = AdlerPattern(units.Bytes(filter), units.ByteLength(filter));
    }
    Adler32 adler;
    Adler32 row = Adler32::Stretch();
    const int rowUnits = units.rowUnits();
    for (const std::uint8_t* p = units.data(); p < units.data() + units.count(); p += rowUnits) {
        if (p == units.data() || std::memcmp(p, p - rowUnits, static_cast<std::size_t>(rowUnits)) != 0) {
            row = Adler32::Stretch();
            for (int u = 0; u < rowUnits;) {
                const int run = 1 + Common(p + u + 1, p + u, rowUnits - u - 1);
                row.Pattern(patterns[slot(p[u])], static_cast<std::uint64_t>(run));
                u += run;
            }
        }
        adler.Add(row);
    }
    return adler.Value();
}

}  // namespace

void RgbZlibStream(const TwoColourRows& rows, int width, int height, std::string& out) {
    const Units units(rows, width, height);
    thread_local std::vector<LzStep> steps;
    thread_local ParserTables tables;
    Parser parser(units, tables, steps);
    parser.Run();
    ZlibStreamOf(steps, AdlerOf(units), out);
}

}  // namespace quarvel::render
