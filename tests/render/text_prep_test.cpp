// Plain text art made renderer input: the one rule for the window's box and for text
// files.

#include <gtest/gtest.h>

#include <string>

#include "render/text_prep.h"

namespace quarvel::render {
namespace {

TEST(TextPrep, PlainTextInTheRenderersForm) {
    EXPECT_EQ(PreparePlainText("<b>&hearts;\r\n<br>\r\n>&amp;\t"),
              std::string("&lt;b>&hearts;<br>&lt;br><br>>&amp;\t"));
}

}  // namespace
}  // namespace quarvel::render
