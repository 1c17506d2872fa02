// Separators as typed made ready for the scan of a document.

#include <gtest/gtest.h>

#include "engine/document_scan.h"
#include "settings/engine_settings.h"

namespace quarvel::engine {

using settings::ScanSeparators;

namespace {

TEST(Separators, BackslashNBecomesALineBreakOnlyAsACharacterOfItsOwn) {
    EXPECT_EQ(SeparatorWithLineBreaks("\\n"), "\r\n");
    EXPECT_EQ(SeparatorWithLineBreaks("<br>\\n\\n"), "<br>\r\n\r\n");
    EXPECT_EQ(SeparatorWithLineBreaks("\\x"), "\\x");
    EXPECT_EQ(SeparatorWithLineBreaks("a\\"), "a\\");
    // 0x95 0x5C is one character whose second byte is a backslash.
    EXPECT_EQ(SeparatorWithLineBreaks("\x95\x5Cn"), "\x95\x5Cn");
    // The engine's lists: in order, empty ones kept, a backslash before \n kept.
    EXPECT_EQ(ScanSeparators({"</pre>\\n", "\\\\n", ""}), (Separators{"</pre>\r\n", "\\\r\n", ""}));
}

}  // namespace
}  // namespace quarvel::engine
