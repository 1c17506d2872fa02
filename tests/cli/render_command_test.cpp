#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/codec.h"
#include "render/renderer.h"
#include "render_cli.h"
#include "support/test_support.h"

namespace quarvel {

using render::Appearance;
using render::RenderPicture;

using platform::Color;
using platform::Picture;
namespace cp932 = platform::cp932;

namespace {

using test::RunProcess;

const char* kArtUtf8 =
    "  \xE2\x88\xA7\xEF\xBC\xBF\xE2\x88\xA7\n"                              // ∧＿∧
    "\xEF\xBC\x88\xE3\x80\x80\xC2\xB4\xE2\x88\x80\xEF\xBD\x80\xEF\xBC\x89"  // （　´∀｀）
    " \xE2\x99\xA5 <b>?\r\n";                                               // ♥ <b>?

TEST_F(RenderCli, Utf8AndShiftJisTwinsGiveIdenticalPictures) {
    test::WriteFile(dir / "art-utf8.txt", kArtUtf8);
    // The same text in code page 932, with the heart that it cannot hold as a reference.
    std::u16string wide = cp932::Utf8ToUtf16(kArtUtf8);
    std::string sjis = cp932::FromUtf16Lossy(wide);
    sjis.replace(sjis.find(" ? ") + 1, 1, "&hearts;");
    test::WriteFile(dir / "art-sjis.txt", sjis);

    ASSERT_EQ(Render({(dir / "art-utf8.txt").string(), "-o", (dir / "u.png").string()}).exit_code, 0);
    ASSERT_EQ(Render({(dir / "art-sjis.txt").string(), "-o", (dir / "s.png").string()}).exit_code, 0);
    auto from_stdin = Render({"-", "-o", (dir / "i.png").string(), "--encoding", "utf-8"}, kArtUtf8);
    ASSERT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
    Picture u = Decode("u.png"), s = Decode("s.png"), i = Decode("i.png");
    EXPECT_EQ(u.rgb, s.rgb);
    EXPECT_EQ(u.rgb, i.rgb);
    EXPECT_EQ(u.height, 2 * 18);  // "<b>" is text here, and CR LF one line break

    // The plain-text preparation: '<' is drawn, line breaks become <br>.
    std::string prepared = sjis.substr(0, sjis.find('\n')) + "<br>" + sjis.substr(sjis.find('\n') + 1);
    prepared.replace(prepared.find("<b>"), 1, "&lt;");
    prepared.replace(prepared.find("\r\n"), 2, "<br>");
    Picture expected = RenderPicture(prepared.c_str(), Appearance{});
    EXPECT_EQ(u.rgb, expected.rgb);
}

TEST_F(RenderCli, BrokenTextDrawsWhatItHolds) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> options;
        std::string expected;  // renderer input that draws the same picture
        int width;
    };
    const Case cases[] = {
        // An invalid pair (mojibake) is one blank character of .notdef width.
        {"pair",
         "A\x94-B",
         {"--html", "--encoding", "cp932"},
         "A\x80"
         "B",
         28},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-", "-o", (dir / (std::string(c.name) + ".png")).string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        auto r = Render(args, c.input);
        ASSERT_EQ(r.exit_code, 0) << c.name << ": " << r.err;
        Picture p = Decode(std::string(c.name) + ".png");
        EXPECT_TRUE(p.rgb == RenderPicture(c.expected.c_str(), Appearance{}).rgb) << c.name;
        if (c.width) {
            EXPECT_EQ(p.width, c.width) << c.name;
        }
        EXPECT_EQ(p.height, 18) << c.name;
    }
}

// A file that is no text at all is refused with what it is, and nothing is drawn; so
// is an output name that says the file is not a PNG picture.
TEST_F(RenderCli, WhatIsNotTextOrNotAPngNameIsRefused) {
    std::string zip = "PK\x03\x04";
    zip += std::string(40, '\0');
    struct Case {
        const char* name;
        std::vector<std::string> args;  // @IN: the input file, @DIR: the folder
        std::string input;
        int exit;
        std::string err;
    };
    const Case cases[] = {
        {"a picture",
         {"render", "@IN", "-o", "@DIR/out.png"},
         "\x89PNG\r\n\x1A\nIHDR",
         1,
         "quarvel-cli: @IN: not text but PNG picture; nothing drawn\n"},
        {"UTF-16 text",
         {"render", "@IN", "-o", "@DIR/out.png"},
         std::string("\xFF\xFE"
                     "a\0b\0",
                     6),
         1,
         "quarvel-cli: @IN: not text but binary data; nothing drawn\n"},
        {"an archive",
         {"render-pieces", "@IN", "-o", "@DIR/pieces"},
         zip,
         1,
         "quarvel-cli: @IN: not text but ZIP archive; nothing drawn\n"},
        {"a JPEG name",
         {"render", "@IN", "-o", "@DIR/out.JPG"},
         "art",
         2,
         "quarvel-cli: -o @DIR/out.JPG: the picture is a PNG file whatever its name; name it .png (see quarvel-cli "
         "help render)\n"},
        {"a file to convert-folder",
         {"convert-folder", "@IN"},
         "<dd>art\r\n",
         2,
         "quarvel-cli: '@IN' is a file; convert-folder takes a folder, and convert takes documents: quarvel-cli "
         "convert @IN (see quarvel-cli help convert-folder)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir / "pieces");
        test::WriteFile(dir / "in.txt", c.input);
        std::vector<std::string> args = {QUARVEL_CLI_PATH};
        auto fill = [&](std::string text) {
            for (const auto& [mark, path] :
                 {std::pair{"@IN", (dir / "in.txt").string()}, std::pair{"@DIR", dir.path().string()}})
                for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
                    text.replace(at, std::string(mark).size(), path);
            return text;
        };
        for (const std::string& arg : c.args) args.push_back(fill(arg));
        auto r = test::RunProcess(args);
        EXPECT_EQ(r.exit_code, c.exit) << r.err;
        EXPECT_EQ(r.err, fill(c.err));
        EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
        EXPECT_FALSE(std::filesystem::exists(dir / "pieces"));
        EXPECT_EQ(test::ReadFile(dir / "in.txt"), c.input);
    }
}

TEST_F(RenderCli, OptionsReachThePicture) {
    test::WriteFile(dir / "a.txt", "ab   c\n");
    ASSERT_EQ(Render({(dir / "a.txt").string(), "-o", (dir / "a.png").string(), "--fore", "FF0000", "--back", "#0000ff",
                      "--margin", "5", "--no-space-sim"})
                  .exit_code,
              0);
    Picture p = Decode("a.png");
    Picture expected = RenderPicture("ab   c<br>", Appearance{Color{255, 0, 0}, Color{0, 0, 255}, 5, false});
    EXPECT_EQ(p.rgb, expected.rgb);
    EXPECT_EQ(p.pixel(0, 0), (Color{0, 0, 255}));

    // --html takes the bytes as they are.
    test::WriteFile(dir / "h.txt", "a<br>b<i>c</i>");
    ASSERT_EQ(Render({(dir / "h.txt").string(), "--html", "-o", (dir / "h.png").string()}).exit_code, 0);
    EXPECT_EQ(Decode("h.png").height, 36);
}

// --scale N for N = 2, 3, 4, in both forms, over the examples and the art of these
// tests (with a look of its own, a margin and the 50-line cap reached): the file is N
// times the picture of scale 1 each way, and every N x N block is its pixel.
// --back none: decoded with libpng, the background has alpha 0 and the text its
// colour at alpha 255, at any scale, also white text on the default white.
TEST_F(RenderCli, ScaledPicturesAreBlocksOfTheirPixelsAndNoBackIsClear) {
    std::string tall;
    for (int i = 0; i < 60; ++i) tall += "line " + std::to_string(i) + " \xE2\x88\xA7\xEF\xBC\xBF\xE2\x88\xA7\n";
    struct Art {
        std::string name, text;
        std::vector<std::string> look;
    };
    const Art arts[] = {
        {"small.txt", test::ReadFile(std::string(QUARVEL_SOURCE_DIR) + "/examples/small.txt"), {}},
        {"medium.txt", test::ReadFile(std::string(QUARVEL_SOURCE_DIR) + "/examples/medium.txt"), {"--margin", "3"}},
        {"kArtUtf8", kArtUtf8, {"--fore", "CC0000", "--back", "FFF8E0", "--no-space-sim"}},
        {"60 lines", tall, {}},
    };
    for (const Art& art : arts) {
        test::WriteFile(dir / "art.txt", art.text);
        auto draw = [&](const std::string& name, std::vector<std::string> more) {
            std::vector<std::string> args = {(dir / "art.txt").string(), "-o", (dir / name).string()};
            args.insert(args.end(), art.look.begin(), art.look.end());
            args.insert(args.end(), more.begin(), more.end());
            const test::ProcessResult r = Render(args);
            EXPECT_EQ(r.exit_code, 0) << art.name << ": " << r.err;
        };
        draw("one.png", {});
        const Picture one = Decode("one.png");
        for (const char* form : {"", "--indexed"}) {
            for (int scale = 2; scale <= 4; ++scale) {
                const std::string what = art.name + " --scale " + std::to_string(scale) + " " + form;
                std::vector<std::string> more = {"--scale", std::to_string(scale)};
                if (*form) more.push_back(form);
                draw("n.png", more);
                std::vector<std::string> chunks;
                Picture n;
                ASSERT_TRUE(test::DecodePng(dir / "n.png", n, &chunks)) << what;
                ASSERT_EQ(n.width, one.width * scale) << what;
                ASSERT_EQ(n.height, one.height * scale) << what;
                int wrong = 0;
                for (int y = 0; y < n.height; ++y)
                    for (int x = 0; x < n.width; ++x) wrong += n.pixel(x, y) != one.pixel(x / scale, y / scale);
                EXPECT_EQ(wrong, 0) << what;
                EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "PLTE"), *form ? 1 : 0) << what;
            }
        }
    }

    // --back none over the default look, white text and a coloured one; the text's
    // pixels are those of the same art drawn on another background.
    test::WriteFile(dir / "art.txt", kArtUtf8);
    for (const std::vector<std::string>& look : std::vector<std::vector<std::string>>{
             {}, {"--fore", "FFFFFF"}, {"--fore", "CC0000", "--back", "FFF8E0", "--scale", "3", "--indexed"}}) {
        std::vector<std::string> opaque = {(dir / "art.txt").string(), "-o", (dir / "mask.png").string()};
        opaque.insert(opaque.end(), look.begin(), look.end());
        opaque.insert(opaque.end(), {"--back", "123456"});
        ASSERT_EQ(Render(opaque).exit_code, 0);
        std::vector<std::string> clear = {(dir / "art.txt").string(), "-o", (dir / "clear.png").string()};
        clear.insert(clear.end(), look.begin(), look.end());
        clear.insert(clear.end(), {"--back", "None"});
        const test::ProcessResult r = Render(clear);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Picture mask = Decode("mask.png");
        Picture decoded;
        std::vector<std::uint8_t> alpha;
        ASSERT_TRUE(test::DecodePngBytes(test::ReadFile(dir / "clear.png"), decoded, &alpha));
        ASSERT_EQ(decoded.width, mask.width);
        ASSERT_EQ(decoded.height, mask.height);
        int text = 0, wrong = 0;
        for (int y = 0; y < mask.height; ++y) {
            for (int x = 0; x < mask.width; ++x) {
                const bool isText = mask.pixel(x, y) != Color{0x12, 0x34, 0x56};
                const std::uint8_t a = alpha[static_cast<std::size_t>(y) * mask.width + x];
                text += isText;
                wrong += isText ? a != 255 || decoded.pixel(x, y) != mask.pixel(x, y) : a != 0;
            }
        }
        EXPECT_GT(text, 200) << look.size();
        EXPECT_EQ(wrong, 0) << look.size();
    }

    // Values out of range are bad usage.
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--scale", "5"}, {"--scale", "0"}, {"--scale", "2x"}, {"--back", "nothing"}}) {
        std::vector<std::string> args = {(dir / "art.txt").string(), "-o", (dir / "bad.png").string()};
        args.insert(args.end(), bad.begin(), bad.end());
        const test::ProcessResult r = Render(args);
        EXPECT_EQ(r.exit_code, 2) << bad[1];
        EXPECT_NE(r.err.find(bad[0] == "--scale" ? "needs a number from 1 to 4" : "or none for a transparent"),
                  std::string::npos)
            << r.err;
    }
}

TEST_F(RenderCli, UserFontReplacesTheShapesButNotTheAdvances) {
    const std::string font = "/usr/share/fonts/truetype/monapo/monapo.ttf";
    if (!std::filesystem::exists(font)) GTEST_SKIP() << "Monapo is not installed";
    const std::string art = "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86 abc\n";  // あいう abc
    ASSERT_EQ(Render({"-", "-o", (dir / "mona.png").string()}, art).exit_code, 0);
    ASSERT_EQ(Render({"-", "-o", (dir / "option.png").string(), "--font", font}, art).exit_code, 0);
    auto by_env =
        RunProcess({QUARVEL_CLI_PATH, "render", "-", "-o", (dir / "env.png").string()}, art, {"QUARVEL_FONT=" + font});
    ASSERT_EQ(by_env.exit_code, 0) << by_env.err;
    Picture mona = Decode("mona.png"), option = Decode("option.png"), env = Decode("env.png");
    EXPECT_EQ(option.width, mona.width);
    EXPECT_EQ(option.height, mona.height);
    EXPECT_NE(option.rgb, mona.rgb);
    EXPECT_EQ(env.rgb, option.rgb);
}

TEST_F(RenderCli, EachCharacterComesFromTheFirstFaceOfTheChainThatHasIt) {
    // A character drawn as usual looks as the face that must draw it draws it as the
    // user's font, and unlike the next face of the chain that has it too.
    struct Case {
        const char* utf8;
        const char* face;       // the first face of the chain that has it
        const char* next_face;  // a later face that has it too
    };
    const std::string monapo = "/usr/share/fonts/truetype/monapo/monapo.ttf";
    const std::string ipa = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";
    const std::string symbola = "/usr/share/fonts/truetype/ancient-scripts/Symbola_hint.ttf";
    for (const std::string& file : {monapo, ipa, symbola})
        if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is not installed";
    const Case cases[] = {
        {"\xE4\xB8\x82", monapo.c_str(), ipa.c_str()},  // 丂: not in Mona
        {"\xC2\xA9", ipa.c_str(), symbola.c_str()},     // ©: neither in Mona nor in Monapo
        {"\xC2\xB5", symbola.c_str(), nullptr},         // µ: only in the symbol face
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Render({"-", "-o", (dir / "usual.png").string()}, c.utf8).exit_code, 0);
        ASSERT_EQ(Render({"-", "-o", (dir / "face.png").string(), "--font", c.face}, c.utf8).exit_code, 0);
        EXPECT_EQ(test::ReadFile(dir / "usual.png"), test::ReadFile(dir / "face.png")) << c.utf8;
        if (c.next_face) {
            ASSERT_EQ(Render({"-", "-o", (dir / "next.png").string(), "--font", c.next_face}, c.utf8).exit_code, 0);
            EXPECT_NE(test::ReadFile(dir / "usual.png"), test::ReadFile(dir / "next.png")) << c.utf8;
        }
    }
}

TEST_F(RenderCli, FontconfigStartsOnlyForCharactersBeyondTheChain) {
    for (const char* file :
         {"/usr/share/fonts/truetype/mona/mona.ttf", "/usr/share/fonts/truetype/ancient-scripts/Symbola_hint.ttf"})
        if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is not where Debian installs it";
    // fontconfig complains on standard error when it starts without its configuration.
    // Starting it costs more than drawing a small picture: art drawn by the faces of the
    // chain must not start it; a character none of them has does.
    const std::string without_config = "FONTCONFIG_FILE=" + (dir / "missing.conf").string();
    auto render = [&](const std::string& text, const std::string& name) {
        return RunProcess({QUARVEL_CLI_PATH, "render", "-", "-o", (dir / name).string()}, text, {without_config});
    };
    const std::string art = std::string(kArtUtf8) + "\xE2\x9C\xA8\n";  // and ✨ from the last face
    auto r = render(art, "art.png");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(Render({"-", "-o", (dir / "usual.png").string()}, art).exit_code, 0);
    EXPECT_EQ(test::ReadFile(dir / "art.png"), test::ReadFile(dir / "usual.png"));
    r = render("\xD4\xB1\n", "armenian.png");  // Ա
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.err.find("Fontconfig"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quarvel
