// quarvel-cli measure and pad on every line of the test suite's collections: widths
// as an independent reading of the width tables gives them, and lines filled to a
// width that a board keeps, with the picture's ink unchanged.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/collection.h"
#include "platform/codec.h"
#include "render/art_lines.h"
#include "render/references.h"
#include "render/renderer.h"
#include "render/text_prep.h"
#include "support/test_support.h"

namespace quarvel {

using render::TextEncoding;
namespace cp932 = platform::cp932;
namespace stdfs = std::filesystem;

namespace {

using test::RunProcess;

// The test suite's collections and pieces of text art, read as the tools read them.
std::vector<stdfs::path> Collections() {
    const stdfs::path source = QUARVEL_SOURCE_DIR;
    std::vector<stdfs::path> files = {source / "tests/support/art.mlt"};
    for (const auto& folder : {source / "tests/fuzz/corpus/collection", source / "examples"})
        for (const auto& entry : stdfs::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The widths of the original font and of the shading characters, as the tables say.
const std::map<char32_t, int>& TableWidths() {
    static const std::map<char32_t, int> widths = [] {
        std::map<char32_t, int> table;
        for (const char* name : {"res/mspgothic16-widths.tsv", "res/unicode-aa-widths.tsv"}) {
            std::ifstream in(stdfs::path(QUARVEL_SOURCE_DIR) / name);
            std::string line;
            std::getline(in, line);  // the heading
            while (std::getline(in, line)) {
                std::istringstream fields(line);
                std::string code;
                int width = 0;
                if (fields >> code >> width) table[static_cast<char32_t>(std::stoul(code, nullptr, 16))] = width;
            }
        }
        return table;
    }();
    return widths;
}

// A line of plain text art measured from the tables alone: references decoded, a
// half-width space left out at the line's start, after another and after a character
// that code page 932 cannot hold (drawn on its own); nothing for a line that holds a
// character the tables lack (its advance is a face's).
std::optional<int> TableWidth(const std::string& line, bool utf8) {
    std::u32string chars;
    if (utf8) {
        cp932::ForEachUtf8CodePoint(line, [&](char32_t c) { chars += c; });
    } else {
        const std::u16string wide = cp932::ToUtf16(line);
        cp932::ForEachUtf16CodePoint(wide, [&](char32_t c) { chars += c; });
    }
    std::string ascii;  // references are ASCII: read them from the characters
    int width = 0;
    bool afterRun = false, afterSpace = false;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        char32_t c = chars[i];
        bool ownToken = false;
        if (c == '&') {
            std::string rest;
            for (std::size_t k = i; k < chars.size() && k < i + 40 && chars[k] < 0x80; ++k) rest += static_cast<char>(chars[k]);
            char32_t decoded = 0;
            if (const std::size_t n = render::DecodeReference(rest.c_str(), decoded)) {
                c = decoded;
                i += n - 1;
                char encoded[16];
                ownToken = render::EncodeChar(c, encoded) > 2;
            }
        } else if (c == '\t' || c == 0) {
            continue;
        } else {
            ownToken = (c >= 0x7F && c <= 0xFF) || !cp932::EncodeOne(c);
            if (c == 0xFFFD) return std::nullopt;
        }
        if (c == 0) continue;
        if (c == ' ' && (!afterRun || afterSpace)) continue;
        const auto found = TableWidths().find(c);
        if (found == TableWidths().end()) return std::nullopt;
        width += found->second;
        afterRun = !ownToken;
        afterSpace = c == ' ';
    }
    return width;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += text[i];
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

TEST(MeasureCli, EveryLineOfTheCollectionsAsTheWidthTablesGiveIt) {
    int compared = 0;
    for (const stdfs::path& file : Collections()) {
        const std::string bytes = test::ReadFile(file);
        if (render::BinaryFormat(bytes)) continue;  // refused, as render refuses it
        const bool utf8 = cp932::IsValidUtf8(bytes);
        const test::ProcessResult r = RunProcess({QUARVEL_CLI_PATH, "measure", file.string()});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const std::vector<std::string> lines = Lines(bytes), printed = Lines(r.out);
        // A last line of blanks only draws nothing, and is no line.
        ASSERT_GE(printed.size() + 1, lines.size()) << file;
        for (std::size_t i = 0; i < printed.size(); ++i) {
            SCOPED_TRACE(file.string() + ": line " + std::to_string(i + 1));
            const std::size_t tab = printed[i].find('\t');
            ASSERT_NE(tab, std::string::npos);
            EXPECT_EQ(printed[i].substr(tab + 1), lines[i]);
            const std::optional<int> wanted = TableWidth(lines[i], utf8);
            if (!wanted) continue;
            EXPECT_EQ(std::stoi(printed[i].substr(0, tab)), *wanted);
            ++compared;
        }
    }
    EXPECT_GE(compared, 100);
}

// The pixels of the picture of `text` that are ink, as (x, y).
std::set<std::pair<int, int>> Ink(const std::string& text, TextEncoding encoding) {
    const std::string input = render::PrepareTextFile(text, encoding, render::TextForm::plain);
    const platform::Picture picture = render::RenderPicture(input.c_str(), render::Appearance{});
    std::set<std::pair<int, int>> ink;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.row(y)[x * 3] == 0) ink.emplace(x, y);
    return ink;
}

// The line without the blanks at its end (as written: characters or references).
std::string Content(std::string line, bool utf8) {
    static const std::vector<std::string> blanks = [] {
        std::vector<std::string> written = {" ", "&ensp;", "&emsp;", "&thinsp;"};
        for (char32_t c = 0x2002; c <= 0x200A; ++c) written.push_back("&#" + std::to_string(c) + ";");
        written.push_back("&#12288;");
        return written;
    }();
    const std::string full = utf8 ? "\xE3\x80\x80" : "\x81\x40";
    for (bool found = true; found;) {
        found = false;
        for (const std::string& b : blanks) {
            if (line.ends_with(b)) {
                line.resize(line.size() - b.size());
                found = true;
            }
        }
        if (line.ends_with(full) && (utf8 || line.size() < 4 || !platform::IsLeadByte(line[line.size() - 4]))) {
            line.resize(line.size() - full.size());
            found = true;
        }
    }
    return line;
}

TEST(PadCli, EveryPieceFilledToEachWidthThatABoardKeepsWithItsInk) {
    for (const stdfs::path& file : Collections()) {
        const std::string bytes = test::ReadFile(file);
        const bool utf8 = cp932::IsValidUtf8(bytes);
        const TextEncoding encoding = utf8 ? TextEncoding::utf8 : TextEncoding::cp932;
        std::vector<std::string> pieces = {bytes};
        if (file.extension() != ".txt") {
            const engine::Collection collection =
                engine::ReadCollection(bytes, engine::KindOfCollection(file.string(), bytes));
            pieces.clear();
            for (const engine::Piece& piece : collection.pieces) pieces.emplace_back(collection.Text(piece));
        }
        for (const std::string& piece : pieces) {
            if (render::BinaryFormat(piece)) continue;  // refused, as render refuses it
            for (const int width : {64, 150, 333, 1024}) {
                SCOPED_TRACE(file.string() + " to " + std::to_string(width) + ": " + piece.substr(0, 40));
                const test::ProcessResult r = RunProcess({QUARVEL_CLI_PATH, "pad", "--to", std::to_string(width), "-"}, piece);
                const std::vector<std::string> before = Lines(piece), after = Lines(r.out);
                int tooWide = 0;
                for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
                    const std::string content = Content(before[i], utf8);
                    ASSERT_TRUE(after[i].starts_with(content)) << after[i];
                    const std::string tail = after[i].substr(content.size());
                    // No blank that a board folds or drops.
                    EXPECT_EQ(tail.find("  "), std::string::npos) << after[i];
                    EXPECT_FALSE(tail.ends_with(' ')) << after[i];
                    EXPECT_FALSE(content.empty() && tail.starts_with(' ')) << after[i];
                    // Lines with a character the tables lack, as the program measures them.
                    const render::WrittenForm form{encoding, render::TextForm::plain, true};
                    const int was = TableWidth(content, utf8).value_or(render::MeasureWritten(content, form));
                    const int now = TableWidth(after[i], utf8).value_or(render::MeasureWritten(after[i], form));
                    if (was > width) {
                        ++tooWide;
                        EXPECT_EQ(now, was);
                    } else {
                        EXPECT_EQ(now, width) << after[i];
                    }
                }
                EXPECT_EQ(r.exit_code, tooWide > 0 ? 1 : 0) << r.err;
                if (tooWide == 0) {
                    EXPECT_EQ(r.err, "");
                }
                EXPECT_EQ(Ink(r.out, encoding), Ink(piece, encoding));
            }
        }
    }
}

TEST(PadCli, WhatItTakesAndWhatItRefuses) {
    const struct {
        std::vector<std::string> args;
        std::string input;
        int exit;
        std::string out;
        std::string err;  // a part of it
    } cases[] = {
        {{"--to", "16"}, "a\r\n\r\nb", 0, "a&ensp;\r\n&emsp;\r\nb&ensp;", ""},  // a is 8 pixels
        {{"--to", "16", "--encoding", "cp932"}, "\x82\xA0\n", 0, "\x82\xA0&#8202;\n", ""},  // あ is 15
        {{"--to", "8"}, "abc\nd", 1, "abc\nd", "(standard input): line 1: 24 pixels wide, 16 more than 8"},
        {{"--to", "20", "--html"}, "a <br>b", 0, "a　&#8202;<br>b　&#8202;", ""},
        {{"--to", "20", "--html", "--line-breaks"}, "\na\nbb\n", 0, "\na　&#8202;\nbb&#8197;\n", ""},
        {{}, "a", 2, "", "give --to PIXELS"},
        {{"--to", "1025"}, "a", 2, "", "from 0 to 1024"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {QUARVEL_CLI_PATH, "pad"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const test::ProcessResult r = RunProcess(args, c.input);
        EXPECT_EQ(r.exit_code, c.exit) << c.input << r.err;
        if (c.exit != 2) {
            EXPECT_EQ(r.out, c.out) << c.input;
        }
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace quarvel
