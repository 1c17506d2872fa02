// quarvel-cli's command line as a user types it: the forms of options, help and
// version, bad usage; and the warnings that leave the exit status alone.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/parser.h"
#include "render/renderer.h"
#include "support/test_support.h"

namespace quarvel::test {

using render::Appearance;
using render::RenderPicture;

using platform::Picture;

namespace {

// The arguments with @IN, @OUT and @DIR standing for paths in `dir`.
std::vector<std::string> WithPaths(std::vector<std::string> args, const TempDir& dir) {
    for (std::string& a : args) {
        for (auto [name, path] :
             {std::pair{"@IN", dir / "in.txt"}, std::pair{"@OUT", dir / "out.png"}, std::pair{"@DIR", dir.path()}}) {
            for (std::size_t at = a.find(name); at != std::string::npos; at = a.find(name, at + path.native().size()))
                a.replace(at, std::string(name).size(), path);
        }
    }
    args.insert(args.begin(), QUARVEL_CLI_PATH);
    return args;
}

TEST(UsageCli, FormsOfTheCommandLine) {
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string out;  // a regular expression for all of standard output
        std::string err;  // all of standard error
        int margin = -1;  // of the picture in OUT, when one is expected
    };
    const std::string helpOfRender =
        "draw one piece of text art[^]*--margin N +blank pixels on every side, a number"
        "[^]*default 0[^]*Exit status: 0 done[^]*2 bad usage, 130 stopped by Ctrl\\+C.\n";
    const Case cases[] = {
        // Options before or after the operand, with = or as the next word.
        {{"render", "@IN", "-o", "@OUT"}, 0, "", "", 0},
        {{"render", "-o", "@OUT", "--margin", "4", "@IN"}, 0, "", "", 4},
        {{"render", "--margin=4", "--output=@OUT", "@IN"}, 0, "", "", 4},
        {{"render", "@IN", "--output", "@OUT", "--margin=3", "--margin=4"}, 0, "", "", 4},  // the last one counts
        {{"render", "-o@OUT", "@IN"}, 0, "", "", 0},
        // "--" ends the options: what follows is an operand, whatever it begins with.
        {{"render", "-o", "@OUT", "--", "@IN"}, 0, "", "", 0},
        {{"render", "--margin=2", "-o", "@OUT", "--", "@IN"}, 0, "", "", 2},
        // A value given after "=" is what follows it, even nothing.
        {{"render", "@IN", "-o", "@OUT", "--margin=", "4"},
         2,
         "",
         "quarvel-cli: option --margin needs a number from 0 to 100 (see quarvel-cli help render)\n"},
        // A short option takes no "=": its value follows it, or is the next word.
        {{"render", "@IN", "-o=@OUT"},
         2,
         "",
         "quarvel-cli: option --output needs a file name, not '=@OUT': write -o @OUT or --output=@OUT (see "
         "quarvel-cli help render)\n"},
        // Options go after the command; before it they are bad usage, never dropped.
        {{"--margin", "9", "render", "@IN", "-o", "@OUT"},
         2,
         "",
         "quarvel-cli: option --margin goes after the command render (see quarvel-cli help render)\n"},
        {{"--zzz", "render", "@IN", "-o", "@OUT"},
         2,
         "",
         "quarvel-cli: unknown option '--zzz' (see quarvel-cli help render)\n"},
        // "-" where neither standard input nor standard output can serve.
        {{"convert", "-"},
         2,
         "",
         "quarvel-cli: convert changes documents in place, so '-' (standard input) cannot be one; ./- names a file "
         "called - (see quarvel-cli help convert)\n"},
        {{"convert-folder", "-"},
         2,
         "",
         "quarvel-cli: convert-folder takes a folder, so '-' (standard input) cannot be one; ./- names a folder "
         "called - (see quarvel-cli help convert-folder)\n"},
        {{"render-pieces", "@IN", "-o", "-"},
         2,
         "",
         "quarvel-cli: render-pieces writes a folder, so '-' (standard output) cannot be one; ./- names a folder "
         "called - (see quarvel-cli help render-pieces)\n"},
        // An operand named like a command is an operand.
        {{"render", "-o", "@OUT", "convert"},
         1,
         "",
         "quarvel-cli: convert: could not open the file: No such file or directory\n"},
        // Help and version on standard output.
        {{"--version"}, 0, "quarvel-cli [0-9]+\\.[0-9]+\\.[0-9]+\n", ""},
        {{"help", "render"}, 0, helpOfRender, ""},
        {{"render", "--help"}, 0, helpOfRender, ""},
        {{"render", "-o", "@OUT", "-h"}, 0, helpOfRender, ""},
        {{"help", "convert-folder"},
         0,
         "[^]*--pattern GLOB[^]*default \"\\*\\.htm\"[^]*130 stopped by\\s+Ctrl\\+C.\n",
         ""},
        {{"--help"}, 0, "[^]*render[^]*convert[^]*convert-folder[^]*help COMMAND[^]*", ""},
        {{"help"}, 0, "[^]*render[^]*convert[^]*convert-folder[^]*help COMMAND[^]*", ""},
        // Bad usage: one line that says what is wrong and where to look, status 2.
        {{},
         2,
         "",
         "quarvel-cli: no command given: render, render-pieces, thumbnail, convert, convert-folder, restore, "
         "restore-folder, measure, pad or help (see quarvel-cli --help)\n"},
        {{"frobnicate"}, 2, "", "quarvel-cli: unknown command 'frobnicate' (see quarvel-cli --help)\n"},
        {{"--frobnicate"}, 2, "", "quarvel-cli: unknown option '--frobnicate' (see quarvel-cli --help)\n"},
        {{"conver", "@IN"},
         2,
         "",
         "quarvel-cli: unknown command 'conver'; did you mean convert? (see quarvel-cli --help)\n"},
        {{"rendr-pieces"},
         2,
         "",
         "quarvel-cli: unknown command 'rendr-pieces'; did you mean render-pieces? (see quarvel-cli --help)\n"},
        {{"convert", "--no-bakup", "@IN"},
         2,
         "",
         "quarvel-cli: unknown option '--no-bakup'; did you mean --no-backup? (see quarvel-cli help convert)\n"},
        {{"help", "frobnicate"},
         2,
         "",
         "quarvel-cli: no command 'frobnicate'; the commands are render, render-pieces, thumbnail, convert, "
         "convert-folder, restore, restore-folder, measure, pad and help (see quarvel-cli help help)\n"},
        {{"render", "@IN"},
         2,
         "",
         "quarvel-cli: the picture's file name is missing: give -o OUT.png, or -o - for standard output (see "
         "quarvel-cli help render)\n"},
        {{"render", "@IN", "-o"}, 2, "", "quarvel-cli: option --output needs a value (see quarvel-cli help render)\n"},
        {{"render", "@IN", "-o", "@OUT", "--margin=101"},
         2,
         "",
         "quarvel-cli: option --margin needs a number from 0 to 100, not '101' (see quarvel-cli help render)\n"},
        {{"render", "@IN", "-o", "@OUT", "--fore", "red"},
         2,
         "",
         "quarvel-cli: option --fore needs a colour as RRGGBB, such as FF0000 for red, not 'red' (see quarvel-cli help "
         "render)\n"},
        {{"render", "@IN", "@IN", "-o", "@OUT"},
         2,
         "",
         "quarvel-cli: only one text file can be drawn at a time: '@IN' is one too many (see quarvel-cli help "
         "render)\n"},
        {{"render", "@IN", "-o", "@OUT", "--pattern", "*.txt"},
         2,
         "",
         "quarvel-cli: unknown option '--pattern' (see quarvel-cli help render)\n"},
        {{"convert", "--code=jis", "@IN"},
         2,
         "",
         "quarvel-cli: option --code takes auto, sjis, euc or utf8, not 'jis' (see quarvel-cli help convert)\n"},
        {{"convert", "--no-backup"}, 2, "", "quarvel-cli: no document given (see quarvel-cli help convert)\n"},
        {{"convert-folder", "@DIR", "@DIR"},
         2,
         "",
         "quarvel-cli: convert-folder takes one folder: '@DIR' is one too many (see quarvel-cli help "
         "convert-folder)\n"},
        {{"convert", "--end=a", "--end", "b", "--end=c", "--end", "d", "@IN"},
         2,
         "",
         "quarvel-cli: at most three --end separators (see quarvel-cli help convert)\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "in.txt", "abc\n");
        const std::vector<std::string> args = WithPaths(c.args, dir);
        const std::string shown = testing::PrintToString(c.args);
        auto r = RunProcess(args);
        EXPECT_EQ(r.exit_code, c.exit) << shown << r.err;
        EXPECT_TRUE(std::regex_match(r.out, std::regex(c.out))) << shown << r.out;
        EXPECT_EQ(r.err, WithPaths({c.err}, dir)[1]) << shown;
        Picture picture;
        EXPECT_EQ(DecodePng(dir / "out.png", picture), c.margin >= 0) << shown;
        if (c.margin >= 0) {
            Appearance look;
            look.margin = c.margin;
            EXPECT_TRUE(picture.rgb == RenderPicture("abc<br>", look).rgb) << shown;
        }
    }
}

// Columns a UTF-8 text takes on a terminal, wide East Asian characters two.
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;
        columns += c >= 0xE3 ? 2 : 1;  // U+3000 and beyond (kana, kanji, full-width forms)
    }
    return columns;
}

// Every line of every help fits 80 columns; the usage line shows what is required as
// required, what is optional in brackets.
TEST(UsageCli, HelpFitsEightyColumnsAndShowsWhatIsRequired) {
    const std::pair<std::vector<std::string>, std::string> usages[] = {
        {{"--help"}, "Usage: quarvel-cli COMMAND ..."},
        {{"help", "render"}, "Usage: quarvel-cli render [OPTIONS] [TEXT-FILE|-] -o OUT.png|-"},
        {{"help", "render-pieces"}, "Usage: quarvel-cli render-pieces [OPTIONS] FILE.mlt|FILE.ast|- -o DIR"},
        {{"help", "convert"}, "Usage: quarvel-cli convert [OPTIONS] DOCUMENT..."},
        {{"help", "convert-folder"}, "Usage: quarvel-cli convert-folder [OPTIONS] FOLDER"},
        {{"help", "help"}, "Usage: quarvel-cli help [OPTIONS] [COMMAND]"},
    };
    for (const auto& [args, usage] : usages) {
        std::vector<std::string> argv = args;
        argv.insert(argv.begin(), QUARVEL_CLI_PATH);
        auto r = RunProcess(argv);
        EXPECT_EQ(r.exit_code, 0) << args.back();
        EXPECT_NE(r.out.find("\n" + usage + "\n"), std::string::npos) << r.out;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) EXPECT_LE(Columns(line), 80u) << line;
    }
}

// "--" ends the options of every command, so files whose names begin with "-" can be
// named.
TEST(UsageCli, DoubleDashLetsOperandsBeginWithADash) {
    TempDir dir;
    WriteFile(dir / "-a.txt", "abc\n");
    WriteFile(dir / "-p.mlt", "a\n[SPLIT]\nb\n");
    WriteFile(dir / "-d.htm", "<dd>x\r\n");
    std::filesystem::create_directory(dir / "-f");
    WriteFile(dir / "-f/x.htm", "<dd>x\r\n");
    const std::vector<std::string> runs[] = {
        {"render", "-o", "out.png", "--", "-a.txt"},
        {"render-pieces", "-o", "pieces", "--", "-p.mlt"},
        {"convert", "--no-backup", "--", "-d.htm"},
        {"convert-folder", "--no-backup", "--", "-f"},
    };
    for (const std::vector<std::string>& args : runs) {
        std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir.path(), QUARVEL_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        auto r = RunProcess(argv);
        EXPECT_EQ(r.exit_code, 0) << args.front() << ": " << r.err;
        EXPECT_EQ(r.err, args.front() == "convert-folder"
                             ? "quarvel-cli: 1 document: 1 converted, 0 left as they were, 0 "
                               "failed; 1 picture written; 0 warnings\n"
                             : "")
            << args.front();
    }
    EXPECT_EQ(TreeOf(dir.path()), (std::vector<std::string>{"-a.txt", "-d.htm", "-d/", "-d/001.png", "-f/", "-f/x.htm",
                                                            "-f/x/", "-f/x/001.png", "-p.mlt", "out.png", "pieces/",
                                                            "pieces/001.png", "pieces/002.png", "pieces/index.html"}));
}

TEST(UsageCli, StandardOutputGetsTheSameBytesAsAFile) {
    TempDir dir;
    const std::string art = "\xEF\xBC\x88\xE3\x80\x80\xC2\xB4\xE2\x88\x80\xEF\xBD\x80\xEF\xBC\x89\n";  // （　´∀｀）
    for (const char* form : {"--margin=2", "--indexed"}) {
        auto file = RunProcess({QUARVEL_CLI_PATH, "render", form, "-o", (dir / "a.png").string()}, art);
        auto piped = RunProcess({QUARVEL_CLI_PATH, "render", "-", form, "-o", "-"}, art);
        ASSERT_EQ(file.exit_code, 0) << file.err;
        ASSERT_EQ(piped.exit_code, 0) << piped.err;
        EXPECT_EQ(piped.err, "");
        EXPECT_TRUE(piped.out == ReadFile(dir / "a.png")) << form;
        EXPECT_EQ(TreeOf(dir.path()), std::vector<std::string>{"a.png"});  // nothing named "-"
    }
}

// Each warning names the file, says what to do, and leaves the exit status 0.
TEST(UsageCli, WarningsOnStandardError) {
    std::string fiftyOne;
    for (int i = 0; i < 51; ++i) fiftyOne += "line\r\n";
    const std::string fifty = fiftyOne.substr(6);
    std::string kanji;  // 漢 64 times: 1024 pixels
    for (int i = 0; i < 64; ++i) kanji += "\xE6\xBC\xA2";
    std::string fiftyHtml;
    for (int i = 0; i < 50; ++i) fiftyHtml += "x<br>";
    struct Case {
        std::string name;
        std::vector<std::string> args;  // IN is the input file, DIR the folder
        std::string input;
        std::string err;
    };
    const std::string cut =
        ": warning: the art has more than 50 lines; only the first 50 are drawn (split it into pieces)\n";
    const Case cases[] = {
        {"51 lines", {"render", "@IN", "-o", "@OUT"}, fiftyOne, "quarvel-cli: @IN" + cut},
        {"50 lines and blanks", {"render", "@IN", "-o", "@OUT"}, fifty + "\r\n\r\n", ""},
        {"51 lines as html",
         {"render", "@IN", "--html", "-o", "@OUT"},
         fiftyHtml + "\r\n<b>b</b>",
         "quarvel-cli: @IN" + cut},
        {"50 lines and tags", {"render", "@IN", "--html", "-o", "@OUT"}, fiftyHtml + "<br>\r\n<p></p>", ""},
        {"wide",
         {"render", "@IN", "-o", "@OUT"},
         kanji + "\xE6\xBC\xA2\n",
         "quarvel-cli: @IN: warning: the art is wider than 1024 pixels; what lies beyond is not drawn (shorten its "
         "longest lines)\n"},
        {"just fits", {"render", "@IN", "-o", "@OUT"}, kanji + "\n", ""},
        {"undecodable",
         {"render", "@IN", "--encoding", "cp932", "-o", "@OUT"},
         "A\x94-B\xA0",
         "quarvel-cli: @IN: warning: 2 characters could not be decoded and are drawn blank (check --encoding)\n"},
        {"not utf-8",
         {"render", "@IN", "--encoding=utf-8", "-o", "@OUT"},
         "a\xFF",
         "quarvel-cli: @IN: warning: the text is not all UTF-8; what is not is drawn as U+FFFD (check --encoding)\n"},
        {"no face",  // private use characters of plane 15, twice, and a control character
         {"render", "@IN", "-o", "@OUT"},
         "\xF3\xB0\x80\x80\xF3\xB0\x80\x81\xF3\xB0\x80\x80\x01",
         "quarvel-cli: @IN: warning: no installed font has U+F0000 U+F0001, drawn blank (install a font that has "
         "them)\n"},
        // A declaration decides only where the bytes fit several codes alike (plain
        // ASCII here), and is warned about where the bytes tell another code.
        {"euc-jp declared, ascii",
         {"convert", "--no-backup", "@IN"},
         "<HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\"></HEAD><dd>a\r\n",
         ""},
        {"utf-8 declared, shift-jis bytes",
         {"convert-folder", "--no-backup", "--pattern=*.txt", "@DIR"},
         "<meta charset=utf-8>\n<dd>\x82\xA0\x82\xA2\x82\xA4\r\n",
         "quarvel-cli: @IN: warning: it declares the character set utf-8 but its bytes are Shift_JIS, and were read "
         "so\nquarvel-cli: 1 document: 1 converted, 0 left as they were, 0 failed; 1 picture written; 1 warning\n"},
        {"shift_jis declared, read as euc-jp",
         {"convert", "--code=euc", "--no-backup", "@IN"},
         "<meta charset='Shift_JIS'><dd>a\r\n",
         "quarvel-cli: @IN: warning: it declares the character set shift_jis but it was read with --code euc, which "
         "its bytes fit\n"},
        {"declared alike", {"convert", "--no-backup", "@IN"}, "<meta content=\"text/html;charset=x-sjis\"><dd>a", ""},
        {"charset outside a meta tag", {"convert", "--no-backup", "@IN"}, "<dd>charset=utf-8\r\n", ""},
        {"a cut picture",
         {"convert", "--no-backup", "--end=</pre>", "--start=<pre>", "@IN"},
         "<pre>" + fiftyHtml + "x</pre>",
         "quarvel-cli: @DIR/in/001.png" + cut},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "in.txt", c.input);
        std::vector<std::string> args = WithPaths(c.args, dir);
        auto r = RunProcess(args);
        EXPECT_EQ(r.exit_code, 0) << c.name << ": " << r.err;
        EXPECT_EQ(r.err, WithPaths({c.err}, dir)[1]) << c.name;
    }

    // A settings file with the program's sections but none of their keys changes
    // nothing, and is said to.
    TempDir dir;
    WriteFile(dir / "in.txt", "<dd>a\r\n");
    for (auto [settings, err] :
         {std::pair{"[General]\r\nbSpace=\r\n[TargetFilePage]\r\nstrSepalater=<p>\r\n[TargetFolderPage]\r\niCode=1\r\n",
                    "quarvel-cli: @DIR/s.ini: warning: none of the keys of the sections General and TargetFilePage is "
                    "in it, so it changes nothing; the defaults are used (save the settings from the window to make "
                    "one)\n"},
          std::pair{"[TargetFilePage]\r\nbBackup=FALSE\r\n", ""}, std::pair{"[General]\r\niScale=2\r\n", ""},
          std::pair{"[General]\r\nbTransparent=TRUE\r\n", ""}}) {
        WriteFile(dir / "s.ini", settings);
        auto r = RunProcess(WithPaths({"convert", "--settings", "@DIR/s.ini", "--no-backup", "@IN"}, dir));
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, WithPaths({err}, dir)[1]);
    }
}

}  // namespace
}  // namespace quarvel::test
