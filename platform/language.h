#pragma once
// The language the programs speak: English, the language of their texts in the
// sources, or Japanese, their translation. Chosen once at start from the user's locale as gettext reads it, then
// asked by every text that is shown. Only shown words depend on it: settings files,
// documents and pictures are the same bytes in every locale.

#include <initializer_list>
#include <string>
#include <string_view>

namespace quarvel::platform {

enum class Language { japanese, english };

// The language for the locale that messages are shown in (setlocale's name for
// LC_MESSAGES) and the list of $LANGUAGE, as gettext reads them: the C and POSIX
// locales speak English, the texts' own language, whatever $LANGUAGE says; any other
// locale (C.UTF-8 too) the first language of $LANGUAGE that the program has, else the
// locale's language: Japanese for "ja", English for any other language.
Language ChooseLanguage(std::string_view messagesLocale, std::string_view languageList);

// The language of the locale the C library has taken for messages (LC_MESSAGES) and
// of $LANGUAGE, as ChooseLanguage chooses it.
Language LocaleLanguage();

// A folder of the program's translations: share/`underShare` beside the program's
// folder (the build tree, any install prefix) when it exists, else `installed`, the
// one of the prefix the program was built for.
std::string TranslationsFolder(std::string_view underShare, const char* installed);

// Takes the user's locale (setlocale(LC_ALL, "")) with numbers kept in the C form,
// chooses the language and points gettext at the program's catalogues of `domain` in
// it: those beside the program (../share/locale from its folder: the build tree and
// any install prefix), else those of the system's locale folder. Returns the language.
Language SetUpLanguage(const char* domain);

// The language chosen; English before SetUpLanguage.
Language CurrentLanguage();
// "ja" or "en".
const char* LanguageCode(Language language);

// A text of the program in the language chosen: itself before SetUpLanguage, or
// where the catalogue has no translation of it.
const char* Translate(const char* text);

// While one lives, Translate and TranslatePlural give this thread the texts as they
// stand in the sources: for answers whose words must not depend on the locale.
class SourceTexts {
public:
    SourceTexts();
    ~SourceTexts();
    SourceTexts(const SourceTexts&) = delete;
    SourceTexts& operator=(const SourceTexts&) = delete;

private:
    bool before_;
};

// A text of the program that counts `n` of something, in the form for `n`.
const char* TranslatePlural(const char* singular, const char* plural, unsigned long n);

// The pattern with {1}, {2}, ... replaced by the values in order, so that a
// translation may put them in its own order.
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values);

// The system's reason for an errno value in the language chosen (the C library's own
// translation).
std::string SystemReasonText(int error);

}  // namespace quarvel::platform

// Marks a text for translation where it is shown (_), or only for the catalogue (N_),
// for a text translated later by Translate.
#define _(text) ::quarvel::platform::Translate(text)
#define N_(text) text
