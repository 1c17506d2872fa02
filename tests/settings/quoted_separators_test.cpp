// Separators and filters that hold double quotes, as saved settings files keep them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/settings_file.h"
#include "support/settings_test_support.h"
#include "support/test_support.h"

namespace quarvel::settings {
namespace {

using test::LoadAllSettings;
using test::SaveAllSettings;
using test::TempDir;
using test::WriteFile;

// What the program writes comes back as it was typed, double quotes and all.
TEST(QuotedSeparators, SavedTextsComeBackWithTheirDoubleQuotes) {
    const std::string texts[] = {"<pre class=\"aa\">", "<div class=\"aa\" id=\"x\">", "\"", "a\"b", "\"\"", "'x'"};
    for (const std::string& text : texts) {
        TempDir dir;
        AllSettings saved;
        saved.filePage.startSeparators[0] = text;
        saved.folderPage.common.endSeparators[2] = text;
        saved.folderPage.fileFilter = text;
        ASSERT_TRUE(SaveAllSettings(dir / "s.ini", saved));
        AllSettings loaded;
        ASSERT_TRUE(LoadAllSettings(dir / "s.ini", loaded).ok());
        EXPECT_EQ(loaded.filePage.startSeparators[0], text);
        EXPECT_EQ(loaded.folderPage.common.endSeparators[2], text);
        EXPECT_EQ(loaded.folderPage.fileFilter, text);
    }
}

// Files written by hand or by the first programs read as they always did.
TEST(QuotedSeparators, ValuesNotEnclosedInDoubleQuotesReadAsBefore) {
    const struct {
        const char* line;
        const char* read;
    } cases[] = {
        {"<dd>", "<dd>"},              // no quotes at all
        {"x\"<dl>\"y", "<dl>"},        // the text between the first and the last
        {"'<dt>'", "<dt>"},            // single quotes enclosing the value
        {"a\"b", "a\"b"},              // one double quote
        {"\"<pre class=\"aa\">\"", "<pre class=\"aa\">"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir / "s.ini", std::string("[TargetFilePage]\r\nstrSepalaterStart1=") + c.line + "\r\n");
        AllSettings loaded;
        ASSERT_TRUE(LoadAllSettings(dir / "s.ini", loaded).ok());
        EXPECT_EQ(loaded.filePage.startSeparators[0], c.read) << c.line;
    }
}

}  // namespace
}  // namespace quarvel::settings
