// Writes code page 932's decoding and encoding tables, as this machine's iconv converts,
// into a C++ source of constant arrays that platform/codec.cpp includes:
//   cp932_tables_gen OUTPUT.inc
// Every one- and two-byte sequence is decoded through iconv; a code point encodes only
// when the bytes iconv gives for it decode back to it, so iconv's one-way mappings
// (U+00A5 to 0x5C, U+203E to 0x7E, U+2014 to 0x815C) are left out.
//
// Layout (read by platform/codec.cpp):
//   kSingleByte[byte]                          code point of a single byte, 0 = none
//   kDoubleByte[LeadRow(lead) * 189 + trail - 0x40]
//                                              code point of a pair, 0 = none; rows are
//                                              the lead bytes in increasing order
//   kEncodeRows[kEncodeRowOf[cp >> 8]][cp & 0xFF]
//                                              bytes of a BMP code point (one byte below
//                                              0x100), 0 = none; row 0 is all none

#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codec.h"

namespace {

constexpr int kTrailCount = 0xFC - 0x40 + 1;

// One whole conversion, or nothing when iconv refuses any of it.
std::optional<std::string> Convert(iconv_t cd, std::string_view in) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char out[16];
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char* dst = out;
    std::size_t dst_left = sizeof out;
    if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1) || src_left != 0) return {};
    if (iconv(cd, nullptr, nullptr, &dst, &dst_left) == static_cast<std::size_t>(-1)) return {};
    return std::string(out, sizeof out - dst_left);
}

bool Fail(const char* what) {
    std::fprintf(stderr, "cp932_tables_gen: %s\n", what);
    return false;
}

bool Generate(std::FILE* out) {
    iconv_t to_utf32 = iconv_open("UTF-32LE", "CP932");
    iconv_t from_utf32 = iconv_open("CP932", "UTF-32LE");
    if (to_utf32 == reinterpret_cast<iconv_t>(-1) || from_utf32 == reinterpret_cast<iconv_t>(-1))
        return Fail("iconv has no CP932 conversion");
    bool beyond_bmp = false;
    auto decode = [&](std::string_view bytes) -> char16_t {
        auto r = Convert(to_utf32, bytes);
        if (!r || r->size() != 4) return 0;
        auto u = reinterpret_cast<const unsigned char*>(r->data());
        const char32_t cp = u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<char32_t>(u[3]) << 24);
        if (cp > 0xFFFF) beyond_bmp = true;
        return static_cast<char16_t>(cp);
    };

    std::array<char16_t, 256> single{};
    for (int b = 1; b < 256; ++b) {
        if (quarvel::platform::IsLeadByte(static_cast<unsigned char>(b))) continue;
        const char c = static_cast<char>(b);
        single[b] = decode(std::string_view(&c, 1));
    }
    std::vector<char16_t> pairs;  // kDoubleByte
    std::array<std::uint16_t, 0x10000> encode{};
    auto try_encode = [&](char16_t cp, std::uint16_t bytes) {
        if (cp == 0 || encode[cp] != 0) return;
        const unsigned char u[4] = {static_cast<unsigned char>(cp), static_cast<unsigned char>(cp >> 8), 0, 0};
        auto r = Convert(from_utf32, std::string_view(reinterpret_cast<const char*>(u), 4));
        if (!r || r->empty() || r->size() > 2) return;
        auto b = reinterpret_cast<const unsigned char*>(r->data());
        const std::uint16_t preferred = r->size() == 1 ? b[0] : static_cast<std::uint16_t>((b[0] << 8) | b[1]);
        // Strict: only the bytes iconv prefers, and only when they decode back to `cp`.
        if (preferred == bytes) encode[cp] = bytes;
    };
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!quarvel::platform::IsLeadByte(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            char16_t cp = 0;
            if (quarvel::platform::IsTrailByte(static_cast<unsigned char>(trail))) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                cp = decode(std::string_view(pair, 2));
            }
            pairs.push_back(cp);
        }
    }
    if (beyond_bmp) return Fail("iconv decodes a CP932 sequence beyond the BMP");
    if (single['A'] != u'A' || pairs.size() != 60 * kTrailCount) return Fail("unexpected CP932 tables");
    // A code point that several sequences decode to is encoded by the one iconv gives.
    for (int b = 1; b < 256; ++b) try_encode(single[b], static_cast<std::uint16_t>(b));
    std::size_t row = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!quarvel::platform::IsLeadByte(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail)
            try_encode(pairs[row * kTrailCount + (trail - 0x40)], static_cast<std::uint16_t>((lead << 8) | trail));
        ++row;
    }
    iconv_close(to_utf32);
    iconv_close(from_utf32);

    std::fputs("// Code page 932 as this machine's iconv converts it; written by cmake/cp932_tables_gen.cpp.\n", out);
    auto write_array = [&](const char* declaration, const auto& values, std::size_t begin, std::size_t count) {
        std::fprintf(out, "%s{", declaration);
        for (std::size_t i = 0; i < count; ++i)
            std::fprintf(out, "%s0x%X,", i % 16 == 0 ? "\n" : "", static_cast<unsigned>(values[begin + i]));
        std::fputs("\n}", out);
    };
    write_array("constexpr char16_t kSingleByte[256] = ", single, 0, single.size());
    std::fputs(";\n", out);
    write_array("constexpr char16_t kDoubleByte[60 * 189] = ", pairs, 0, pairs.size());
    std::fputs(";\n", out);

    std::array<std::uint8_t, 256> row_of{};
    std::vector<int> rows;  // high bytes of the rows after row 0
    for (int high = 0; high < 256; ++high) {
        for (int low = 0; low < 256; ++low) {
            if (encode[high << 8 | low] != 0) {
                rows.push_back(high);
                row_of[high] = static_cast<std::uint8_t>(rows.size());
                break;
            }
        }
    }
    if (rows.size() > 255) return Fail("too many encoding rows");
    write_array("constexpr std::uint8_t kEncodeRowOf[256] = ", row_of, 0, row_of.size());
    std::fputs(";\n", out);
    std::fprintf(out, "constexpr std::uint16_t kEncodeRows[%zu][256] = {\n{},\n", rows.size() + 1);
    for (int high : rows) {
        write_array("", encode, static_cast<std::size_t>(high) << 8, 256);
        std::fputs(",\n", out);
    }
    std::fputs("};\n", out);
    return std::ferror(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: cp932_tables_gen OUTPUT\n", stderr);
        return 2;
    }
    const std::string path = argv[1];
    const std::string temporary = path + ".new";
    std::FILE* out = std::fopen(temporary.c_str(), "w");
    if (!out) {
        Fail("cannot create the output");
        return 1;
    }
    const bool written = Generate(out);
    if (std::fclose(out) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        Fail("the tables were not written");
        return 1;
    }
    return 0;
}
