#include "platform/language.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef QUARVEL_LOCALE_DIR
#define QUARVEL_LOCALE_DIR "/usr/share/locale"
#endif

namespace quarvel::platform {

namespace {

Language chosen = Language::english;
const char* domainName = nullptr;
thread_local bool sourceTexts = false;

// "ja" of "ja_JP.UTF-8@x", "en" of "en".
std::string_view LanguageOfLocale(std::string_view locale) { return locale.substr(0, locale.find_first_of("_.@")); }

// The locales in which gettext reads no catalogue, whatever $LANGUAGE says (C.UTF-8
// is not one of them).
bool IsCLocale(std::string_view locale) { return locale.empty() || locale == "C" || locale == "POSIX"; }

}  // namespace

std::string TranslationsFolder(std::string_view underShare, const char* installed) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path().parent_path() / "share" / underShare;
        if (std::filesystem::is_directory(beside, error)) return beside.string();
    }
    return installed;
}

Language LocaleLanguage() {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    const char* list = std::getenv("LANGUAGE");
    return ChooseLanguage(messages ? messages : "C", list ? list : "");
}

Language ChooseLanguage(std::string_view messagesLocale, std::string_view languageList) {
    if (IsCLocale(messagesLocale)) return Language::english;
    while (!languageList.empty()) {
        const std::size_t colon = languageList.find(':');
        const std::string_view language = LanguageOfLocale(languageList.substr(0, colon));
        if (language == "ja") return Language::japanese;
        if (language == "en") return Language::english;
        languageList = colon == std::string_view::npos ? std::string_view() : languageList.substr(colon + 1);
    }
    return LanguageOfLocale(messagesLocale) == "ja" ? Language::japanese : Language::english;
}

Language SetUpLanguage(const char* domain) {
    std::setlocale(LC_ALL, "");
    // Numbers are read and written in one form in every locale ("1.5", never "1,5").
    std::setlocale(LC_NUMERIC, "C");
    chosen = LocaleLanguage();
    // gettext reads the catalogues in the order of $LANGUAGE: the language chosen is
    // made the one it reads (in C and POSIX it reads none, and English needs none).
    ::setenv("LANGUAGE", LanguageCode(chosen), 1);
    domainName = domain;
    ::bindtextdomain(domain, TranslationsFolder("locale", QUARVEL_LOCALE_DIR).c_str());
    // The programs write UTF-8 whatever the locale's character set.
    ::bind_textdomain_codeset(domain, "UTF-8");
    ::bind_textdomain_codeset("libc", "UTF-8");
    return chosen;
}

Language CurrentLanguage() { return chosen; }

const char* LanguageCode(Language language) { return language == Language::japanese ? "ja" : "en"; }

const char* Translate(const char* text) { return domainName && !sourceTexts ? ::dgettext(domainName, text) : text; }

SourceTexts::SourceTexts() : before_(sourceTexts) { sourceTexts = true; }

SourceTexts::~SourceTexts() { sourceTexts = before_; }

const char* TranslatePlural(const char* singular, const char* plural, unsigned long n) {
    if (domainName && !sourceTexts) return ::dngettext(domainName, singular, plural, n);
    return n == 1 ? singular : plural;
}

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        const std::size_t index = at + 2 < pattern.size() && pattern[at] == '{' && pattern[at + 2] == '}'
                                      ? static_cast<std::size_t>(pattern[at + 1] - '1')
                                      : values.size();
        if (index < values.size()) {
            out += values.begin()[index];
            at += 2;
        } else {
            out += pattern[at];
        }
    }
    return out;
}

std::string SystemReasonText(int error) {
    const char* english = ::strerrordesc_np(error);
    if (!english) return std::error_code(error, std::system_category()).message();
    return chosen == Language::english || !domainName ? english : ::dgettext("libc", english);
}

}  // namespace quarvel::platform
