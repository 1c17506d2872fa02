// The settings-file reader and writer on random files, in a folder of their own on
// a tmpfs (/dev/shm when there is one).
//
// Input: one byte of options, the existing file (up to the first NUL), then entries
// to write, each "section \x01 key \x01 value", separated by \x02.
//   bits 0-1  0: also save and load the settings records over the file
//   bit 2     every entry sets only a key the file already has
//
// Invariants:
// - names the writer must refuse (empty, line breaks, surrounding blanks; in a
//   section ']' or a lone lead byte at its end; in a key '=' or a leading '[') are
//   refused and the file keeps its bytes; otherwise the write succeeds;
// - after a write every entry reads back as written (for values that survive a line
//   of their own: no line breaks, no surrounding blanks, no enclosing quotes, at most
//   511 bytes) unless a later entry names the same key;
// - keys not written read as before, and so do keys the file lacked when the
//   entries set only keys already there;
// - settings records saved over the file load back as saved (strings that can be
//   saved: no line breaks, at most 511 bytes; an empty
//   one leaves the member as it was).

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "settings/profile.h"
#include "settings/settings_file.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/settings_test_support.h"

namespace quarvel {

using settings::AllSettings;
using settings::CommonSettings;
using settings::kMaxProfileValueLength;
using settings::ProfileEntry;
using settings::WriteProfileValues;
using test::LoadAllSettings;
using test::ReadProfileValue;
using test::SaveAllSettings;

using engine::Separators;

using platform::IsLeadByte;

namespace {

namespace stdfs = std::filesystem;
namespace keys = settings::keys;

stdfs::path g_file;

void WriteBytes(const stdfs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

std::string ReadBytes(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }
bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool ValidName(std::string_view name) {
    return !name.empty() && !HasLineBreak(name) && !IsBlank(name.front()) && !IsBlank(name.back());
}
bool EndsInLeadByte(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) i += IsLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
    return i > s.size();
}
bool ValidSection(std::string_view s) {
    return ValidName(s) && s.find(']') == std::string_view::npos && !EndsInLeadByte(s);
}
bool ValidKey(std::string_view k) { return ValidName(k) && k.find('=') == std::string_view::npos && k.front() != '['; }

// Values that a line holds exactly as given.
bool KeepsValue(std::string_view v) {
    if (v.size() > kMaxProfileValueLength || HasLineBreak(v)) return false;
    if (!v.empty() && (IsBlank(v.front()) || IsBlank(v.back()))) return false;
    return !(v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front());
}

// Names that may be the same key: equal but for the case of ASCII letters anywhere
// (the reader is stricter: the second byte of a double-byte character keeps its case).
bool MaybeSameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (up(a[i]) != up(b[i])) return false;
    }
    return true;
}

// What the reader returns for a key the file lacks: no line of a file can hold a
// line break, so no value read from one is mistaken for it.
constexpr const char* kMissing = "\n(missing)";

struct Name {
    std::string section, key;
};

std::vector<Name> SettingsNames() {
    std::vector<Name> list;
    for (auto key : {keys::kTextColor, keys::kBackColor, keys::kMargin, keys::kCollapseSpaces, keys::kIndexedPng})
        list.push_back({std::string(keys::kGeneral), std::string(key)});
    for (auto section : {keys::kFilePage, keys::kFolderPage}) {
        std::vector<std::string_view> sectionKeys(keys::kStartSeparators.begin(), keys::kStartSeparators.end());
        sectionKeys.insert(sectionKeys.end(), keys::kEndSeparators.begin(), keys::kEndSeparators.end());
        for (auto key : {keys::kBackup, keys::kCode, keys::kFileFilter, keys::kSubFolders}) sectionKeys.push_back(key);
        for (auto key : sectionKeys) list.push_back({std::string(section), std::string(key)});
    }
    return list;
}

// With `onlyWhenPresent` every entry sets only keys the file already has.
void CheckWrite(std::string_view file, std::string_view entryText, bool onlyWhenPresent) {
    std::vector<ProfileEntry> entries;
    bool valid = true;
    for (std::size_t at = 0; at <= entryText.size() && entries.size() < 8;) {
        std::size_t end = entryText.find('\x02', at);
        if (end == std::string_view::npos) end = entryText.size();
        const std::string_view one = entryText.substr(at, end - at);
        at = end + 1;
        const std::size_t a = one.find('\x01'), b = a == std::string_view::npos ? a : one.find('\x01', a + 1);
        if (b == std::string_view::npos) continue;
        entries.push_back({one.substr(0, a), one.substr(a + 1, b - a - 1), one.substr(b + 1), onlyWhenPresent});
        valid = valid && ValidSection(entries.back().section) && ValidKey(entries.back().key);
    }
    if (entries.empty()) return;

    std::vector<Name> probes = SettingsNames();
    for (const ProfileEntry& e : entries) probes.push_back({std::string(e.section), std::string(e.key)});
    std::vector<std::string> before;
    for (const Name& p : probes) before.push_back(ReadProfileValue(g_file, p.section, p.key, kMissing));

    const Result<void> written = WriteProfileValues(g_file, entries);
    FUZZ_CHECK(written.ok() == valid);
    if (!valid) {
        FUZZ_CHECK(ReadBytes(g_file) == file);
        return;
    }
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const Name& p = probes[i];
        const std::string after = ReadProfileValue(g_file, p.section, p.key, kMissing);
        // The last entry that may name this key decides.
        const ProfileEntry* last = nullptr;
        for (const ProfileEntry& e : entries)
            if (MaybeSameName(e.section, p.section) && MaybeSameName(e.key, p.key)) last = &e;
        if (!last || (onlyWhenPresent && before[i] == kMissing)) {
            FUZZ_CHECK(after == before[i]);
        } else if (last->section == p.section && last->key == p.key && KeepsValue(last->value)) {
            FUZZ_CHECK(after == last->value);
        }
    }
}

// A string member made savable: no line breaks.
std::string Savable(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != '\r' && c != '\n') out += c;
    return out.substr(0, kMaxProfileValueLength);
}

// The string members of a record, in one order.
std::vector<std::string*> Strings(AllSettings& settings) {
    std::vector<std::string*> strings;
    for (CommonSettings* c : {&settings.filePage, &settings.folderPage.common}) {
        for (Separators* separators : {&c->startSeparators, &c->endSeparators})
            for (std::string& s : *separators) strings.push_back(&s);
    }
    strings.push_back(&settings.folderPage.fileFilter);
    return strings;
}

void CheckRecords(std::string_view file, std::string_view entryText) {
    WriteBytes(g_file, file);
    AllSettings saved;
    FUZZ_CHECK(LoadAllSettings(g_file, saved).ok());
    // Strings from the entries where there are some, else as loaded.
    fuzz::FieldReader pieces(entryText);
    for (std::string* s : Strings(saved)) {
        if (!pieces.rest().empty()) *s = std::string(pieces.Until('\x02'));
        *s = Savable(*s);
    }

    FUZZ_CHECK(SaveAllSettings(g_file, saved).ok());
    AllSettings loaded;
    FUZZ_CHECK(LoadAllSettings(g_file, loaded).ok());
    // An empty string leaves the member as it was: at its default here.
    AllSettings expected = saved, defaults;
    const std::vector<std::string*> expectedStrings = Strings(expected), defaultStrings = Strings(defaults);
    for (std::size_t i = 0; i < expectedStrings.size(); ++i)
        if (expectedStrings[i]->empty()) *expectedStrings[i] = *defaultStrings[i];
    FUZZ_CHECK(loaded == expected);
}

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    namespace stdfs = std::filesystem;
    std::error_code ec;
    stdfs::path base = stdfs::is_directory("/dev/shm", ec) ? stdfs::path("/dev/shm") : stdfs::temp_directory_path();
    static const stdfs::path folder = base / ("quarvel-fuzz-profile-" + std::to_string(getpid()));
    stdfs::create_directories(folder);
    quarvel::g_file = folder / "settings.ini";
    std::atexit([] {
        std::error_code ignored;
        stdfs::remove_all(folder, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarvel;
    fuzz::FieldReader input(fuzz::AsText(data, size));
    const std::uint8_t options = input.Byte();
    const std::string_view file = input.Until('\0');
    const std::string_view entries = input.rest();

    WriteBytes(g_file, file);
    CheckWrite(file, entries, (options & 4) != 0);
    if ((options & 3) == 0) CheckRecords(file, entries);
    return 0;
}
