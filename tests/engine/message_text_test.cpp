// A failure's message is UTF-8 from where it is made: names of files as the system
// gives them (control characters escaped), any character, and one line where it is
// joined.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "engine/messages.h"

namespace quarvel::engine {
namespace {

TEST(MessageText, IsUtf8WithTheNamesAsTheSystemGivesThem) {
    using What = Failure::What;
    const struct {
        Failure failure;
        std::string message;
    } cases[] = {
        // Beyond code page 932 (an emoji, a hangul syllable), and not UTF-8 at all.
        {{What::notOpened, "logs/スレ\xF0\x9F\x98\x80\xEA\xB0\x80.htm", ENOENT},
         "logs/スレ\xF0\x9F\x98\x80\xEA\xB0\x80.htm\ncould not open the file\nNo such file or directory"},
        {{What::folderNotFound, "logs/\xFF\xFE"}, "logs/\xFF\xFE\nfolder not found"},
        // A control character in a name or in what is added never reaches the terminal.
        {{What::imageFolderShared, "a\nb.htm", 0, "c\x1B[2J.htm"},
         "a\\012b.htm\nnot converted: its image folder is that of this document\nc\\033[2J.htm"},
        {{What::unexpected, {}, 0, "disk \xE2\x9C\x9D"}, "unexpected error\ndisk \xE2\x9C\x9D"},
        {{What::wrongCode, "d.htm", 0, "Shift_JIS"},
         "d.htm\nnot converted: the document is not in the character code named\nthe document's character code: "
         "Shift_JIS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageText(c.failure), c.message);
        std::string line = c.message;
        for (std::size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, ": ");
        EXPECT_EQ(OneLine(MessageText(c.failure)), line);
    }
    EXPECT_EQ(ShownPath("x/\xF0\x9F\x98\x80\t.htm"), "x/\xF0\x9F\x98\x80\\011.htm");
}

}  // namespace
}  // namespace quarvel::engine
