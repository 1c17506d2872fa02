// The PNG writer: both forms, RGB by the program's own deflate writer and the indexed
// form through libdeflate, decode (through libpng) to exactly the picture's pixels.

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/libpng_reference.h"
#include "render/png_writer.h"
#include "render/references.h"
#include "render/renderer.h"
#include "support/test_support.h"

namespace quarvel::render {

using platform::Color;
using platform::kBlack;
using platform::kWhite;
using platform::Picture;

namespace {

struct Case {
    std::string name;
    Picture picture;
    int colours;  // in the palette; 0: written as RGB
};

// Every kind of picture the renderer makes, and pictures made by hand.
std::vector<Case> TestPictures() {
    const Appearance plain;
    const Appearance coloured{Color{255, 0, 0}, Color{0, 64, 200}, 7, true};
    std::string wide, sixty, dense;
    for (int i = 0; i < 200; ++i) wide += "\x82\xA0W";  // far past the 1024-pixel cap
    wide += "<br>" + wide;
    for (int i = 0; i < 60; ++i) sixty += "line " + std::to_string(i) + "<br>";
    for (int i = 0; i < 50; ++i) dense += std::string(150, "#W@%&"[i % 5]) + "<br>";
    Picture inkFirst(13, 3, kWhite);
    inkFirst.fill(0, 0, 1, 1, Color{0, 0, 1});  // the top-left pixel is not the background
    inkFirst.fill(12, 2, 13, 3, Color{0, 0, 1});
    Picture threeColours(17, 2, kWhite);
    threeColours.fill(3, 0, 4, 1, kBlack);
    threeColours.fill(5, 1, 6, 2, Color{0, 0, 1});

    std::vector<Case> cases = {
        {"default look", RenderPicture("abc<br>def", plain), 2},
        {"colours, margin 7", RenderPicture("\x81\xA1 abc<br>\x82\xA0", coloured), 2},
        {"margin 100", RenderPicture("abc", Appearance{Color{1, 2, 3}, Color{250, 251, 252}, 100, true}), 2},
        {"text colour equals background", RenderPicture("abc<br>def", Appearance{Color{9, 9, 9}, Color{9, 9, 9}, 3}),
         1},
        {"colours 128 apart", RenderPicture("abc<br>def", Appearance{Color{0, 128, 255}, Color{128, 0, 127}, 1}), 2},
        {"fallback glyphs", RenderPicture("&hearts;&#x1F600;&#x2603;\x81\x9A", coloured), 2},
        {"fallback glyphs, margin 0", RenderPicture("&#x1F363;&hearts;", Appearance{kWhite, kBlack, 0}), 2},
        {"empty picture, 1 x 1", RenderPicture("", Appearance{kBlack, Color{5, 6, 7}, 0}), 1},
        {"no ink", RenderPicture("\x81\x40 <br> \x81\x40", coloured), 1},
        {"1024-pixel cap", RenderPicture(wide.c_str(), plain), 2},
        {"50-line cut", RenderPicture(sixty.c_str(), coloured), 2},
        {"50 dense lines at the cap", RenderPicture(dense.c_str(), plain), 2},
        {"ink in the top-left pixel", inkFirst, 2},
        {"three colours", threeColours, 0},
    };
    // Every width from one pixel to past the cap, the corners marked.
    for (int width : {1, 2, 3, 7, 8, 9, 10, 63, 64, 65, 333, 1224}) {
        Picture p(width, 7, Color{255, 128, 64});
        p.fill(0, 0, 1, 1, Color{1, 2, 3});
        p.fill(width - 1, 6, width, 7, Color{1, 2, 3});
        cases.push_back({"width " + std::to_string(width), p, 2});
    }
    return cases;
}

// Both forms decode to exactly the picture's pixels. The RGB file holds IHDR (8-bit,
// colour type 2), IDAT chunks of at most 8192 bytes and IEND; the indexed file a
// palette of the picture's colours at one bit per pixel. A picture of more colours
// stays RGB.
TEST(PngOutput, BothFormsDecodeToThePicturesPixels) {
    const std::vector<Case> cases = TestPictures();
    bool severalImageChunks = false;
    std::vector<std::string> rgbFiles;
    for (const Case& c : cases) {
        const Result<std::string> rgb = EncodePng(c.picture, PngForm::rgb);
        if (rgb) rgbFiles.push_back(*rgb);
        const Result<std::string> indexed = EncodePng(c.picture, PngForm::indexed);
        ASSERT_TRUE(rgb && indexed) << c.name;
        Picture fromRgb, fromIndexed;
        ASSERT_TRUE(test::DecodePngBytes(*rgb, fromRgb)) << c.name;
        ASSERT_TRUE(test::DecodePngBytes(*indexed, fromIndexed)) << c.name;
        EXPECT_EQ(fromRgb.width, c.picture.width) << c.name;
        EXPECT_EQ(fromRgb.height, c.picture.height) << c.name;
        EXPECT_TRUE(fromRgb.rgb == c.picture.rgb) << c.name;
        EXPECT_EQ(fromIndexed.width, c.picture.width) << c.name;
        EXPECT_EQ(fromIndexed.height, c.picture.height) << c.name;
        EXPECT_TRUE(fromIndexed.rgb == fromRgb.rgb) << c.name;

        const std::vector<test::PngChunk> rgbChunks = test::PngChunks(*rgb);
        ASSERT_GE(rgbChunks.size(), 3u) << c.name;
        EXPECT_EQ(rgbChunks.front().type, "IHDR") << c.name;
        EXPECT_EQ(rgbChunks.front().data.substr(8), std::string("\x08\x02\0\0\0", 5)) << c.name;
        EXPECT_EQ(rgbChunks.back().type, "IEND") << c.name;
        for (std::size_t i = 1; i + 1 < rgbChunks.size(); ++i) {
            EXPECT_EQ(rgbChunks[i].type, "IDAT") << c.name;
            EXPECT_LE(rgbChunks[i].data.size(), 8192u) << c.name;
        }
        severalImageChunks = severalImageChunks || rgbChunks.size() > 3;

        const std::vector<test::PngChunk> chunks = test::PngChunks(*indexed);
        ASSERT_GE(chunks.size(), 3u) << c.name;
        ASSERT_EQ(chunks[0].type, "IHDR") << c.name;
        if (c.colours == 0) {
            EXPECT_EQ(*indexed, *rgb) << c.name;
            continue;
        }
        EXPECT_EQ(chunks[0].data[8], 1) << c.name << ": bit depth";
        EXPECT_EQ(chunks[0].data[9], 3) << c.name << ": colour type";
        ASSERT_EQ(chunks[1].type, "PLTE") << c.name;
        ASSERT_EQ(chunks[1].data.size(), 3u * c.colours) << c.name;
        std::set<std::array<int, 3>> palette, used;
        for (std::size_t i = 0; i < chunks[1].data.size(); i += 3) {
            const auto* rgb3 = reinterpret_cast<const unsigned char*>(chunks[1].data.data() + i);
            palette.insert({rgb3[0], rgb3[1], rgb3[2]});
        }
        for (std::size_t i = 0; i < c.picture.rgb.size(); i += 3)
            used.insert({c.picture.rgb[i], c.picture.rgb[i + 1], c.picture.rgb[i + 2]});
        EXPECT_EQ(palette, used) << c.name;
    }
    EXPECT_TRUE(severalImageChunks);
    // The writer keeps its match tables per thread: a file's bytes do not depend on what
    // the thread wrote before (here the others, in the opposite order) or on the thread.
    for (std::size_t i = cases.size(); i-- > 0;)
        EXPECT_EQ(EncodePng(cases[i].picture, PngForm::rgb).value(), rgbFiles[i]) << cases[i].name << ", again";
    std::thread([&] {
        EXPECT_EQ(EncodePng(cases[5].picture, PngForm::rgb).value(), rgbFiles[5]) << cases[5].name << ", new thread";
    }).join();
    // No pixel, no picture.
    EXPECT_FALSE(EncodePng(Picture(), PngForm::rgb));
    EXPECT_FALSE(EncodePng(Picture(), PngForm::indexed));
}

// At every scale, in both forms, opaque or with one of its colours transparent, a file
// decodes (through libpng) to the picture with each pixel an N x N block of it: alpha 0
// exactly where the pixel has the transparent colour, else 255. A transparent file is
// the palette form with tRNS (RGBA for a picture of more colours); the others keep
// their form's chunks.
TEST(PngOutput, ScaledAndTransparentFilesHoldEachPixelAsABlock) {
    for (const Case& c : TestPictures()) {
        const Picture& p = c.picture;
        const Color corners[2] = {p.pixel(0, 0), p.pixel(p.width - 1, p.height - 1)};
        // Pictures at the cap are checked at 2 only: the others take seconds under the
        // sanitizers, and find nothing a smaller picture does not.
        const int maxScale = p.width * p.height > 200'000 ? 2 : kMaxScale;
        for (int scale = 1; scale <= maxScale; ++scale) {
            for (PngForm form : {PngForm::rgb, PngForm::indexed}) {
                for (int clear = -1; clear < 2; ++clear) {
                    if (scale == 1 && clear < 0) continue;  // the test above
                    PngOptions options{form, scale};
                    if (clear >= 0) options.transparent = corners[clear];
                    const std::string what = c.name + ", scale " + std::to_string(scale) +
                                             (form == PngForm::indexed ? ", indexed" : ", rgb") +
                                             (clear < 0    ? ""
                                              : clear == 0 ? ", top-left clear"
                                                           : ", bottom-right clear");
                    const Result<std::string> file = EncodePng(p, options);
                    ASSERT_TRUE(file) << what;
                    Picture decoded;
                    std::vector<std::uint8_t> alpha;
                    ASSERT_TRUE(test::DecodePngBytes(*file, decoded, &alpha)) << what;
                    ASSERT_EQ(decoded.width, p.width * scale) << what;
                    ASSERT_EQ(decoded.height, p.height * scale) << what;
                    int wrong = 0;
                    for (int y = 0; y < decoded.height && wrong < 3; ++y) {
                        for (int x = 0; x < decoded.width && wrong < 3; ++x) {
                            const Color expected = p.pixel(x / scale, y / scale);
                            const bool clearPixel = options.transparent == expected;
                            const std::uint8_t a = alpha[static_cast<std::size_t>(y) * decoded.width + x];
                            if (a != (clearPixel ? 0 : 255) || (!clearPixel && decoded.pixel(x, y) != expected)) {
                                ADD_FAILURE() << what << ": pixel " << x << ", " << y;
                                ++wrong;
                            }
                        }
                    }
                    const std::vector<test::PngChunk> chunks = test::PngChunks(*file);
                    const char colourType = chunks.front().data[9];
                    if (c.colours == 0)
                        EXPECT_EQ(colourType, clear < 0 ? 2 : 6) << what;
                    else
                        EXPECT_EQ(colourType, clear < 0 && form == PngForm::rgb ? 2 : 3) << what;
                    std::string types;
                    for (const test::PngChunk& chunk : chunks) {
                        types += chunk.type + " ";
                        if (chunk.type == "IDAT" && colourType != 3) {
                            EXPECT_LE(chunk.data.size(), 8192u) << what;
                        }
                    }
                    const bool hasClearEntry = clear >= 0 && colourType == 3;
                    EXPECT_EQ(types.find("tRNS") != std::string::npos, hasClearEntry) << what << ": " << types;
                }
            }
        }
    }
    EXPECT_FALSE(EncodePng(Picture(3, 3, kWhite), PngOptions{PngForm::rgb, 0}));
    EXPECT_FALSE(EncodePng(Picture(3, 3, kWhite), PngOptions{PngForm::rgb, kMaxScale + 1}));
}

// A transparent background in the look: the background's pixels come out with alpha
// 0 and every text pixel in the text colour with alpha 255, whatever the colours, also
// when the text colour is the background colour (white text on the default white),
// where the drawing must keep them apart. The text pixels are those of the same art
// drawn opaque on a background of another colour.
TEST(PngOutput, TransparentBackgroundLeavesTheTextOpaque) {
    const char* art = "\x81\x40\x81\x40\x81\xC8\x81\x51\x81\xC8<br>(\x81\x4C\x83\xD6\x81\x4D) &hearts;&#x1F600;";
    const Appearance looks[] = {
        Appearance{},
        Appearance{kWhite, kWhite, 4},
        Appearance{Color{200, 30, 30}, Color{0, 64, 200}, 7, false},
        Appearance{Color{9, 9, 9}, Color{9, 9, 9}, 0},
    };
    for (Appearance look : looks) {
        look.transparentBack = true;
        Appearance opaque = look;
        opaque.transparentBack = false;
        opaque.backColor = Color{static_cast<std::uint8_t>(look.textColor.red ^ 0x80), 0, 0};
        const Picture mask = RenderPicture(art, opaque);
        const Picture drawn = RenderPicture(art, look);
        ASSERT_EQ(drawn.width, mask.width);
        ASSERT_EQ(drawn.height, mask.height);
        for (int scale : {1, 2}) {
            for (PngForm form : {PngForm::rgb, PngForm::indexed}) {
                look.scale = scale;
                const std::string what = "text " + std::to_string(look.textColor.red) + ", back " +
                                         std::to_string(look.backColor.red) + ", scale " + std::to_string(scale);
                Picture decoded;
                std::vector<std::uint8_t> alpha;
                ASSERT_TRUE(test::DecodePngBytes(EncodePng(drawn, PngOptionsFor(look, form)).value(), decoded, &alpha));
                ASSERT_EQ(decoded.width, drawn.width * scale) << what;
                int text = 0, wrong = 0;
                for (int y = 0; y < decoded.height; ++y) {
                    for (int x = 0; x < decoded.width; ++x) {
                        const bool isText = mask.pixel(x / scale, y / scale) == look.textColor;
                        const std::uint8_t a = alpha[static_cast<std::size_t>(y) * decoded.width + x];
                        text += isText;
                        if (isText ? a != 255 || decoded.pixel(x, y) != look.textColor : a != 0) ++wrong;
                    }
                }
                EXPECT_GT(text, 100 * scale * scale) << what;
                EXPECT_EQ(wrong, 0) << what;
            }
        }
    }
}

// Pictures the RGB writer once made up to three times bigger than libpng (rules and
// underlines across wide blank rows, tones, sparse marks, small art on wide lines) and
// dense ones: no file in either form over 1.25 times what libpng's defaults make of
// the same pixels (tests/support/libpng_reference.h), and the RGB files together no bigger.
TEST(PngOutput, NoBiggerThanLibpngMakesThem) {
    // Art of UTF-8 lines, 50 of them at most, drawn with the default look.
    auto art = [](auto line) {
        std::string text;
        for (int i = 0; i < 50; ++i) text += line(i) + "<br>";
        return RenderPicture(Utf8ToCp932WithReferences(text).c_str(), Appearance{});
    };
    auto times = [](const char* s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    std::mt19937 random(31);
    Picture noise(300, 100, kWhite);
    for (int y = 0; y < noise.height; ++y)
        for (int x = 0; x < noise.width; ++x)
            if (random() % 3 == 0) noise.fill(x, y, x + 1, y + 1, kBlack);
    const std::vector<std::pair<std::string, Picture>> cases = {
        {"underlines", art([&](int i) { return i % 3 ? times("￣", 30) + times("　", 70) : times("＿", 100); })},
        {"rules", art([&](int i) { return "┃" + (i % 5 ? times("　", 90) : times("━", 90)) + "┃"; })},
        {"tones",
         art([&](int i) { return i % 2 ? std::string(":;:;").substr(i % 4) + times(":;:;", 60) : times("'、", 80); })},
        {"sparse marks", art([&](int i) {
             std::string line;
             for (int k = 0; k < 100; ++k) line += (k * 7 + i * 13) % 23 == 0 ? "・" : (k + i) % 31 == 0 ? "∴" : "　";
             return line;
         })},
        {"small art on wide lines", art([&](int i) {
             const char* lines[] = {"　 ∧＿∧", "　（　´∀｀）", "　（　　　　）", "　｜ ｜　|", "　（_＿)＿）"};
             return std::string(lines[i % 5]) + (i % 10 ? "" : times("　", 100) + "|");
         })},
        {"dense art", art([&](int i) {
             return times("（´・ω・｀）ｼｮﾎﾞｰﾝ∧＿∧", 1 + i % 4) + std::to_string(i) + times("ﾓﾅｰ画像アート", 3);
         })},
        {"random pixels", noise},
    };
    std::size_t rgbBytes = 0, libpngBytes = 0;
    for (const auto& [name, picture] : cases) {
        const std::string rgb = EncodePng(picture, PngForm::rgb).value();
        const std::string indexed = EncodePng(picture, PngForm::indexed).value();
        const std::string libpngRgb = test::LibpngRgb(picture), libpngPalette = test::LibpngPalette(picture);
        EXPECT_LE(rgb.size(), libpngRgb.size() * 5 / 4)
            << name << ": " << rgb.size() << " against " << libpngRgb.size();
        EXPECT_LE(indexed.size(), libpngPalette.size() * 5 / 4)
            << name << ": " << indexed.size() << " against " << libpngPalette.size();
        rgbBytes += rgb.size();
        libpngBytes += libpngRgb.size();
    }
    EXPECT_LE(rgbBytes, libpngBytes);
}

}  // namespace
}  // namespace quarvel::render
