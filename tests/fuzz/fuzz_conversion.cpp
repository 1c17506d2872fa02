// One document converted in memory: Shift-JIS or EUC-JP, separators taken from the
// input, files kept in a map, pictures drawn into a stream that drops them.
//
// Input: one byte of options, then the three start and the three end separators as
// typed (each ended by a NUL; "\n" stands for CR LF), then the document.
//   bit 0     EUC-JP document
//   bits 1-2  0: every picture file is written; otherwise the first one cannot be
//             written
//   bit 3     space collapsing
//   bits 4-5  which document name
//
// Invariants, checked against a plain character-by-character scan of the text:
// the new document is the old one with exactly the stretches between separators
// replaced by tags (tags this program wrote before kept as they are), every byte
// outside the stretches unchanged (in EUC-JP mode: the original bytes, valid or
// not); picture numbers follow the highest number already in the document; one
// picture file written per new tag, in the image folder, which is made only then; a
// document without new tags is neither rewritten nor given a folder; a picture that
// cannot be written is reported once and leaves the document as it was; a PNG
// picture is never a document.
//
// The PNG writer is replaced for this harness (below): compressing every picture
// took more than half of each run and says nothing about the conversion. The
// render harness keeps the real writer under the fuzzer.

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/code_convert.h"
#include "engine/conversion.h"
#include "engine/document_code.h"
#include "engine/document_scan.h"
#include "engine/image_tags.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "render/png_writer.h"
#include "render/text_prep.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {

using engine::ConversionSettings;
using engine::ConvertDocument;
using engine::DocumentCode;
using engine::DocumentResult;
using engine::EucToShiftJis;
using engine::JobProgress;
using engine::kLastPictureNumber;
using engine::Outcome;
using engine::SeparatorWithLineBreaks;
using engine::ShiftJisToEuc;
using engine::TagBaseName;

using render::PngForm;

using platform::GetBaseName;
using platform::GetDirectoryPart;
using platform::IsLeadByte;
using platform::Picture;
namespace fs = platform::fs;

// Stands in for render/png_writer.cpp, which the linker then leaves out of the core
// library: the PNG signature and the picture's size, so that pictures still start
// as PNG files and differ by size. Defined by its qualified name, so that it compiles
// only as the function the header declares.
Result<std::string> render::EncodePng(const Picture& picture, const PngOptions&) {
    if (picture.width <= 0 || picture.height <= 0) return Failure{Failure::What::unexpected};
    return "\x89PNG\r\n\x1A\n" + std::to_string(picture.width) + "x" + std::to_string(picture.height);
}
namespace {

constexpr const char* kFolder = "/memory";

// Documents, pictures and folders in maps.
class MemoryFileSystem : public fs::FileSystem {
public:
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> staged;  // written, waiting for their places
    std::set<std::string> folders{kFolder};
    std::vector<std::string> pictures;  // picture paths asked for, in order
    int rewrites = 0;
    bool firstPictureFails = false;

    fs::Kind Status(const std::string& path) override {
        if (folders.count(path)) return fs::Kind::folder;
        return files.count(path) ? fs::Kind::file : fs::Kind::none;
    }
    Result<bool> MakeDirectory(const std::string& path, const fs::FileInfo*) override {
        if (path.empty() || files.count(path) || !folders.count(GetDirectoryPart(path)))
            return Failure{Failure::What::folderNotMade, path, ENOENT};
        return folders.insert(path).second;
    }
    Result<fs::FileInfo> ReadFileBytes(const std::string& path, fs::FileBytes& bytes) override {
        auto it = files.find(path);
        if (it == files.end() || !bytes.Allocate(it->second.size()))
            return Failure{Failure::What::notOpened, path, ENOENT};
        std::memcpy(bytes.data(), it->second.data(), it->second.size());
        bytes.SetSize(it->second.size());
        return fs::FileInfo{};
    }
    Result<void> WriteNewFile(const std::string& path, std::string_view bytes,
                              const fs::WriteOptions& options) override {
        if (path.ends_with(".png")) {
            pictures.push_back(path);
            if (firstPictureFails && pictures.size() == 1) return Failure{Failure::What::notWritten, path, ENOSPC};
        }
        if (!folders.count(GetDirectoryPart(path))) return Failure{Failure::What::notOpened, path, ENOENT};
        if (options.stage) {
            staged[path] = std::string(bytes);
            MarkStaged(*options.stage, path);
            return {};
        }
        files[path] = std::string(bytes);
        return {};
    }
    Result<void> Place(fs::StagedFile& file, fs::PendingFlush*) override {
        const std::string path = file.path();
        file.Drop();
        if (!path.ends_with(".png")) ++rewrites;
        files[path] = std::move(staged[path]);
        staged.erase(path);
        return {};
    }
    Result<void> FlushPending(fs::PendingFlush& pending) override {
        pending.Clear();
        return {};
    }
    void RemoveStaleTemporaries(const std::string&, std::string_view, const fs::Temporaries*) override {}
    // Nothing here moves while it is worked on.
    Result<fs::HeldFolder> Hold(const std::string& folder) override {
        if (!folders.count(folder)) return Failure{Failure::What::folderNotRead, folder, ENOENT};
        return fs::HeldFolder();
    }
    Result<fs::FileLock> LockFile(const std::string&, const std::atomic<bool>&, const fs::LockWait&) override {
        return fs::FileLock();
    }
    Result<std::vector<fs::Entry>> List(const std::string& folder, std::string_view) override {
        std::vector<fs::Entry> entries;
        for (const auto& [path, bytes] : files)
            if (GetDirectoryPart(path) == folder) entries.push_back({path.substr(folder.size() + 1), fs::Kind::file});
        return entries;
    }
    Result<void> CheckWritable(const std::string&) override { return {}; }
    bool Remove(const std::string& path, const fs::FileId*) override {
        if (files.erase(path)) return true;
        for (const auto& [name, bytes] : files)
            if (name.starts_with(path + "/")) return false;
        return folders.erase(path) > 0;
    }
};

class CountingProgress : public JobProgress {
public:
    int texts = 0;
    int messages = 0;
    void SetProgressText(const std::string&) override { ++texts; }
    void ShowMessage(const std::string&) override { ++messages; }
};

struct Stretch {
    std::size_t from, to;  // in the scanned (Shift-JIS) text
};

// The end of what `sep` matches at `pos`, or npos; a line break in it (CR LF) matches
// CR LF or a bare LF.
std::size_t MatchEnd(std::string_view text, std::size_t pos, std::string_view sep) {
    if (sep.empty()) return pos;
    if (sep.starts_with("\r\n") && text.substr(pos, 1) == "\n") return MatchEnd(text, pos + 1, sep.substr(2));
    return text.substr(pos, 1) == sep.substr(0, 1) ? MatchEnd(text, pos + 1, sep.substr(1)) : std::string_view::npos;
}

// The stretches of the text, found the slow and obvious way.
std::vector<Stretch> ScanStretches(std::string_view text, const ConversionSettings& settings) {
    std::vector<Stretch> stretches;
    std::size_t pos = 0, pending = 0;
    bool inside = false;
    while (pos < text.size()) {
        bool matched = false;
        for (const std::string& sep : inside ? settings.endSeparators : settings.startSeparators) {
            const std::size_t end = sep.empty() ? std::string_view::npos : MatchEnd(text, pos, sep);
            if (end == std::string_view::npos) continue;
            if (inside) {
                stretches.push_back({pending, pos});
                pending = pos;
            } else {
                pos = end;
                pending = pos;
            }
            inside = !inside;
            matched = true;
            break;
        }
        if (!matched) pos = std::min(text.size(), pos + (IsLeadByte(static_cast<unsigned char>(text[pos])) ? 2 : 1));
    }
    if (inside) stretches.push_back({pending, text.size()});
    return stretches;
}

// For each byte of the Shift-JIS form of an EUC-JP text, where it came from.
std::vector<std::size_t> EucOrigins(std::string_view euc) {
    std::vector<std::size_t> origin;
    for (std::size_t i = 0; i < euc.size();) {
        const auto b = static_cast<unsigned char>(euc[i]);
        if (b == 0x8E) {
            if (i + 1 < euc.size()) origin.push_back(i);
            i += 2;
        } else if (b >= 0xA1 && b <= 0xFE) {
            origin.push_back(i);
            if (i + 1 < euc.size()) origin.push_back(i + 1);
            i += 2;
        } else {
            origin.push_back(i++);
        }
    }
    return origin;
}

// The number of a tag this program writes for the document, standing at text[at],
// or 0; only the form "%03d" counts, of any length. Numbers beyond the last picture
// number count as one past it.
long OwnNumber(std::string_view text, std::size_t at, std::string_view prefix, std::size_t* end) {
    if (text.substr(at, prefix.size()) != prefix) return 0;
    std::size_t digits = at + prefix.size(), stop = digits;
    while (stop < text.size() && text[stop] >= '0' && text[stop] <= '9') ++stop;
    const std::string_view number = text.substr(digits, stop - digits);
    if (number.size() < 3 || (number.size() > 3 && number[0] == '0') || number == "000" ||
        text.substr(stop, 6) != ".png\">")
        return 0;
    *end = stop + 6;
    if (number.size() > 18) return kLastPictureNumber + 1;
    return std::stol(std::string(number));
}

std::string Number(long n) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%03ld", n);
    return buffer;
}

const char* const kNames[] = {"thread.htm", "スレッド.html", "a b#%.htm", "ｱｲｳ.htm"};

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarvel;
    fuzz::FieldReader input(fuzz::AsText(data, size));
    const std::uint8_t options = input.Byte();

    CountingProgress progress;
    MemoryFileSystem files;
    files.firstPictureFails = (options & 6) != 0;
    ConversionSettings settings;
    for (std::string& separator : settings.startSeparators) separator = SeparatorWithLineBreaks(input.Until('\0'));
    for (std::string& separator : settings.endSeparators) separator = SeparatorWithLineBreaks(input.Until('\0'));
    settings.code = options & 1 ? DocumentCode::eucJp : DocumentCode::shiftJis;
    settings.look.collapseSpaces = options & 8;
    settings.progress = &progress;
    settings.fileSystem = &files;
    const std::string_view document = input.rest();
    const std::string name = kNames[(options >> 4) & 3];
    const std::string path = std::string(kFolder) + "/" + name;
    files.files[path] = std::string(document);

    const DocumentResult result = ConvertDocument(path, settings);
    // Pictures, archives and programs are never documents.
    if (quarvel::render::SignedBinaryFormat(document)) {
        FUZZ_CHECK(result.outcome == Outcome::skipped && files.pictures.empty() && files.rewrites == 0);
        return 0;
    }
    const std::string base = GetBaseName(path);
    const std::string imageFolder = std::string(kFolder) + "/" + base;

    // What it should have done.
    const bool euc = settings.code == DocumentCode::eucJp;
    const std::string text = euc ? EucToShiftJis(document) : std::string(document);
    const std::vector<std::size_t> origins = euc ? EucOrigins(document) : std::vector<std::size_t>{};
    FUZZ_CHECK(!euc || origins.size() == text.size());
    auto source = [&](std::size_t pos) { return !euc ? pos : pos < origins.size() ? origins[pos] : document.size(); };
    const std::string prefix = "<img src=\"./" + TagBaseName(base, settings.code) + "/";
    long highest = 0;
    for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
        std::size_t end = 0;
        highest = std::max(highest, OwnNumber(text, at, prefix, &end));
    }

    std::string expected;
    std::vector<std::string> pictures;
    int kept = 0;
    std::size_t copied = 0;  // in the scanned text
    for (const Stretch& s : ScanStretches(text, settings)) {
        expected += document.substr(source(copied), source(s.from) - source(copied));
        std::size_t end = 0;
        if (OwnNumber(text, s.from, prefix, &end) != 0 && end == s.to) {
            expected += document.substr(source(s.from), source(s.to) - source(s.from));
            ++kept;
        } else {
            const std::string number = Number(highest + 1 + static_cast<long>(pictures.size()));
            pictures.push_back(imageFolder + "/" + number + ".png");
            const std::string tag = prefix + number + ".png\">";
            expected += euc ? ShiftJisToEuc(tag) : tag;
        }
        copied = s.to;
    }
    expected += document.substr(source(copied));

    // Bytes that the code named does not fit: the document is never rewritten in it,
    // and nothing is made for it.
    if (!pictures.empty() && !CodeForDocument(document, settings.code, path).ok()) {
        FUZZ_CHECK(result.outcome == Outcome::failed && result.failure && progress.messages == 1);
        FUZZ_CHECK(result.failure->Is(Failure::What::wrongCode));
        FUZZ_CHECK(files.rewrites == 0 && files.files[path] == document && files.folders.count(imageFolder) == 0);
        FUZZ_CHECK(files.pictures.empty());
        return 0;
    }

    // The stretches that get a number: past the last one the document cannot change.
    std::size_t numbered = pictures.size();
    // A document with nothing to number converts whatever its tags hold.
    const bool exhausted = numbered > 0 && highest + static_cast<long>(numbered) > kLastPictureNumber;
    if (exhausted)
        numbered = highest >= kLastPictureNumber ? 0 : static_cast<std::size_t>(kLastPictureNumber - highest);
    const bool fails = (files.firstPictureFails && numbered > 0) || exhausted;
    if (fails) {
        // Reported, the document stays, and no picture of it nor the image folder is left.
        FUZZ_CHECK(result.outcome == Outcome::failed && result.failure && progress.messages == 1);
        FUZZ_CHECK(files.rewrites == 0 && files.files[path] == document);
        FUZZ_CHECK(files.folders.count(imageFolder) == 0);
        for (const std::string& picture : pictures) FUZZ_CHECK(files.files.count(picture) == 0);
        if (files.firstPictureFails && numbered > 0) {
            FUZZ_CHECK(result.failure->path == pictures.front());
            FUZZ_CHECK(files.pictures == std::vector<std::string>{pictures.front()} && progress.texts == 1);
        } else {
            FUZZ_CHECK(result.failure->path == path && progress.texts == static_cast<int>(numbered));
            FUZZ_CHECK(files.pictures == std::vector<std::string>(pictures.begin(), pictures.begin() + numbered));
        }
        return 0;
    }
    FUZZ_CHECK(files.folders.count(imageFolder) == (pictures.empty() ? 0u : 1u));
    FUZZ_CHECK(result.outcome == Outcome::converted && !result.failure && progress.messages == 0);
    FUZZ_CHECK(result.kept == kept);
    FUZZ_CHECK(result.pictures == static_cast<int>(pictures.size()) && progress.texts == result.pictures);
    FUZZ_CHECK(files.pictures == pictures);
    FUZZ_CHECK(files.rewrites == (pictures.empty() ? 0 : 1));
    FUZZ_CHECK(files.files[path] == (pictures.empty() ? std::string(document) : expected));
    return 0;
}
