#include "platform/language.h"

#include <gtest/gtest.h>

namespace quarvel::platform {
namespace {

TEST(Language, ChosenAsGettextReadsTheLocale) {
    constexpr Language ja = Language::japanese, en = Language::english;
    const struct {
        const char* messages;  // setlocale's name for LC_MESSAGES
        const char* list;      // $LANGUAGE
        Language expected;
    } cases[] = {
        {"C", "", en},
        {"POSIX", "", en},
        {"C", "ja", en},  // gettext reads no catalogue in C, whatever $LANGUAGE says
        {"C.UTF-8", "", en},
        {"C.utf8", "", en},
        {"C.UTF-8", "ja", ja},  // but in C.UTF-8 it reads $LANGUAGE
        {"ja_JP.UTF-8", "", ja},
        {"ja_JP.eucJP", "", ja},
        {"ja", "", ja},
        {"en_US.UTF-8", "", en},
        {"en_GB", "", en},
        {"de_DE.UTF-8", "", en},  // a language the program lacks: English
        {"pt_BR.UTF-8@euro", "", en},
        {"ja_JP.UTF-8", "en_US:ja", en},  // $LANGUAGE first
        {"en_US.UTF-8", "ja", ja},
        {"en_US.UTF-8", "fr:de:ja_JP:en", ja},  // its first language the program has
        {"de_DE.UTF-8", "fr", en},
        {"ja_JP.UTF-8", "fr", ja},  // none in the list: the locale's own
        {"ja_JP.UTF-8", ":", ja},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLanguage(c.messages, c.list), c.expected) << c.messages << " LANGUAGE=" << c.list;
}

TEST(Language, FillPutsValuesWhereThePatternSays) {
    EXPECT_EQ(Fill("{1} (see {2})", {"a", "b"}), "a (see b)");
    EXPECT_EQ(Fill("{2}の{1}", {"a", "b"}), "bのa");
    EXPECT_EQ(Fill("{1} and {1}; {3} {", {"x"}), "x and x; {3} {");
}

}  // namespace
}  // namespace quarvel::platform
