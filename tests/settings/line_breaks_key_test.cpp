// bLineBreaks, each page's switch for line ends drawn as line breaks: written as TRUE
// only when on (FALSE only over a key the file has), so that a file saved with it off
// holds the same lines as one saved before the key existed, and loads the same.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "settings/settings_file.h"
#include "support/settings_test_support.h"
#include "support/test_support.h"

namespace quarvel::settings {

namespace {

using test::LoadAllSettings;
using test::SaveAllSettings;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// The fresh file with `line` after the iCode of the page section `nth` (0: file page).
std::string FreshWith(const std::string& line, int nth) {
    std::string file = test::kFreshSettingsFile;
    std::size_t at = file.find("iCode=0\r\n");
    if (nth == 1) at = file.find("iCode=0\r\n", at + 1);
    return file.insert(at + 9, line);
}

TEST(LineBreaksKey, WrittenOnlyWhenOnAndReadBack) {
    const std::string fresh = test::kFreshSettingsFile;
    struct Case {
        const char* what;
        std::string before;  // the file saved over; empty: none
        bool filePage, folderPage;
        std::string after;
        // Loaded over the other values: a page without the key keeps its switch.
        bool filePageLoaded, folderPageLoaded;
    } cases[] = {
        {"off: the lines as before", "", false, false, fresh, true, true},
        {"on for the file page", "", true, false, FreshWith("bLineBreaks=TRUE\r\n", 0), true, true},
        {"on for the folder page", "", false, true, FreshWith("bLineBreaks=TRUE\r\n", 1), true, true},
        {"off over a key the file has", FreshWith("bLineBreaks=TRUE\r\n", 0), false, false,
         FreshWith("bLineBreaks=FALSE\r\n", 0), false, true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::filesystem::path path = dir / "s.ini";
        if (!c.before.empty()) WriteFile(path, c.before);
        AllSettings saved;
        saved.filePage.lineBreaks = c.filePage;
        saved.folderPage.common.lineBreaks = c.folderPage;
        ASSERT_TRUE(SaveAllSettings(path, saved)) << c.what;
        EXPECT_EQ(ReadFile(path), c.after) << c.what;

        AllSettings loaded;
        loaded.filePage.lineBreaks = !c.filePage;
        loaded.folderPage.common.lineBreaks = !c.folderPage;
        const Result<SettingsLoad> load = LoadAllSettings(path, loaded);
        ASSERT_TRUE(load) << c.what;
        EXPECT_TRUE(load->notUnderstood.empty()) << c.what;
        EXPECT_EQ(loaded.filePage.lineBreaks, c.filePageLoaded) << c.what;
        EXPECT_EQ(loaded.folderPage.common.lineBreaks, c.folderPageLoaded) << c.what;
    }
}

}  // namespace
}  // namespace quarvel::settings
