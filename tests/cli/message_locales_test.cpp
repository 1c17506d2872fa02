// Each command's usage error, failure and closing summary in the language of the
// locale, word for word: English, the texts' own, under C (in ASCII) and en_US.UTF-8,
// Japanese under ja_JP.UTF-8.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarvel {
namespace {

using test::RunProcess;

// What one run prints on standard error and standard output, "{dir}" standing for
// the run's folder.
struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string english;
    std::string japanese;
};

// In order: the summaries restore what convert and convert-folder converted just before.
std::vector<Case> Cases() {
    std::vector<Case> cases;
    // Each command's usage error, and its failure on a file that is not there.
    const std::vector<std::vector<std::string>> missing = {{"render", "{dir}/none.htm", "-o", "{dir}/x.png"},
                                                           {"render-pieces", "{dir}/none.htm", "-o", "{dir}/pieces"},
                                                           {"thumbnail", "{dir}/none.htm", "-o", "{dir}/t.png"},
                                                           {"measure", "{dir}/none.htm"},
                                                           {"pad", "--to", "100", "{dir}/none.htm"},
                                                           {"convert", "{dir}/none.htm"},
                                                           {"restore", "{dir}/none.htm"}};
    for (const std::string command : {"render", "render-pieces", "thumbnail", "measure", "pad", "convert",
                                      "convert-folder", "restore", "restore-folder"})
        cases.push_back({{command, "--bogus"},
                         2,
                         "quarvel-cli: unknown option '--bogus' (see quarvel-cli help " + command + ")\n",
                         "quarvel-cli: 不明なオプション '--bogus'（quarvel-cli help " + command + " を参照）\n"});
    for (const std::vector<std::string>& args : missing)
        cases.push_back(
            {args, 1, "quarvel-cli: {dir}/none.htm: could not open the file: No such file or directory\n",
             "quarvel-cli: {dir}/none.htm: ファイルのオープンに失敗: そのようなファイルやディレクトリはありません\n"});
    const std::vector<Case> others = {
        {{"render", "{dir}/picture.png", "-o", "{dir}/x.png"},
         1,
         "quarvel-cli: {dir}/picture.png: not text but PNG picture; nothing drawn\n",
         "quarvel-cli: {dir}/picture.png: テキストではなく、PNG 画像です。何も描きません\n"},
        {{"pad", "{dir}/art.txt"},
         2,
         "quarvel-cli: the width is missing: give --to PIXELS (see quarvel-cli help pad)\n",
         "quarvel-cli: 幅がありません。--to PIXELS を指定してください（quarvel-cli help pad を参照）\n"},
        {{"convert", "{dir}/doc.htm"}, 0, "", ""},
        {{"convert-folder", "{dir}/none"},
         1,
         "quarvel-cli: {dir}/none: folder not found\n"
         "quarvel-cli: 0 documents: 0 converted, 0 left as they were, 0 failed; 0 pictures written; 0 warnings; "
         "1 failure outside the documents\n",
         "quarvel-cli: {dir}/none: フォルダが見つかりません\n"
         "quarvel-cli: 文書 0 件: 変換 0、変更なし 0、失敗 0 ／ 画像 0 枚 ／ 警告 0 件 ／ 文書以外の失敗 1 件\n"},
        {{"convert-folder", "{dir}/folder"},
         0,
         "quarvel-cli: 1 document: 1 converted, 0 left as they were, 0 failed; 2 pictures written; 0 warnings\n",
         "quarvel-cli: 文書 1 件: 変換 1、変更なし 0、失敗 0 ／ 画像 2 枚 ／ 警告 0 件\n"},
        {{"restore", "{dir}/art.txt"},
         1,
         "quarvel-cli: {dir}/art.txt: no backup\n",
         "quarvel-cli: {dir}/art.txt: バックアップがありません\n"},
        {{"restore", "{dir}/doc.htm"},
         0,
         "{dir}/doc.htm: put back from backup/doc.htm; 2 pictures of the conversion removed; the converted text kept "
         "as backup/doc.htm.converted\n",
         "{dir}/doc.htm: backup/doc.htm から戻しました。変換の画像 2 枚を削除しました。変換後の内容は "
         "backup/doc.htm.converted に残しました\n"},
        {{"restore-folder", "{dir}/none"},
         1,
         "quarvel-cli: {dir}/none: folder not found\n",
         "quarvel-cli: {dir}/none: フォルダが見つかりません\n"},
        {{"restore-folder", "{dir}/folder"},
         0,
         "{dir}/folder/a.htm: put back from backup/a.htm; 2 pictures of the conversion removed; the converted text "
         "kept as backup/a.htm.converted\n",
         "{dir}/folder/a.htm: backup/a.htm から戻しました。変換の画像 2 枚を削除しました。変換後の内容は "
         "backup/a.htm.converted に残しました\n"},
    };
    cases.insert(cases.end(), others.begin(), others.end());
    return cases;
}

std::string WithDir(std::string text, const std::string& dir) {
    for (std::size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir);
    return text;
}

bool IsAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

TEST(CliMessageLocales, EachCommandSpeaksTheLocalesLanguage) {
    const struct {
        const char* locale;
        bool japanese;
    } locales[] = {{"C", false}, {"en_US.UTF-8", false}, {"ja_JP.UTF-8", true}};
    for (const auto& locale : locales) {
        test::TempDir temp;
        const std::string dir = temp.path().string();
        const std::string document = "<dl><dt>1<dd>(a)<dt>2<dd>(b)\r\n</dl>\r\n";
        test::WriteFile(temp / "doc.htm", document);
        std::filesystem::create_directory(temp / "folder");
        test::WriteFile(temp / "folder/a.htm", document);
        test::WriteFile(temp / "art.txt", "(a)\n");
        test::WriteFile(temp / "picture.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
        for (const Case& c : Cases()) {
            std::vector<std::string> args{QUARVEL_CLI_PATH};
            for (const std::string& arg : c.args) args.push_back(WithDir(arg, dir));
            const auto r = RunProcess(args, {}, {std::string("LC_ALL=") + locale.locale, "LANGUAGE="});
            const std::string said = r.err + r.out;
            const std::string where = std::string(locale.locale) + ": quarvel-cli " + c.args[0] + " " + c.args[1];
            EXPECT_EQ(r.exit_code, c.exitCode) << where;
            EXPECT_EQ(said, WithDir(locale.japanese ? c.japanese : c.english, dir)) << where;
            if (std::string(locale.locale) == "C") {
                EXPECT_TRUE(IsAscii(said)) << where;
            }
        }
    }
}

}  // namespace
}  // namespace quarvel
