#include "engine/conversion.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/code_convert.h"
#include "platform/paths.h"
#include "engine/picture_file.h"
#include "platform/codec.h"
#include "render/renderer.h"

namespace quarvel {
namespace {

void AppendPercent(std::string& out, std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
}

bool IsUnsafeInUrlPath(unsigned char b) {
    if (b < 0x20 || b == 0x7F) return true;
    switch (b) {
    case ' ': case '"': case '#': case '%': case '&': case '\'': case '<': case '>': case '?':
    case '\\':  // browsers read a backslash in a URL as '/'
        return true;
    default: return false;
    }
}

std::string PictureNumber(long n) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%03ld", n);
    return buffer;
}

// The number of a tag `<img src="./B/NNN.png">` that starts at `at` with the given
// prefix (up to and including the slash after B), as this program writes it, or 0.
// Numbers have at least three digits and as many more as they need.
long OwnTagNumber(std::string_view text, std::size_t at, std::string_view prefix, std::size_t* length) {
    static constexpr std::string_view kSuffix = ".png\">";
    static constexpr std::size_t kMaxDigits = 18;  // beyond any count of stretches, within a long
    if (text.compare(at, prefix.size(), prefix) != 0) return 0;
    std::size_t digits = at + prefix.size();
    std::size_t end = digits;
    while (end < text.size() && end - digits <= kMaxDigits && text[end] >= '0' && text[end] <= '9') ++end;
    std::size_t count = end - digits;
    if (count < 3 || count > kMaxDigits || text.compare(end, kSuffix.size(), kSuffix) != 0) return 0;
    long n = 0;
    for (std::size_t k = digits; k < end; ++k) n = n * 10 + (text[k] - '0');
    // Only the form "%03d" gives: no extra leading zeros, never 000.
    if (n == 0 || PictureNumber(n) != text.substr(digits, count)) return 0;
    if (length) *length = end + kSuffix.size() - at;
    return n;
}

long HighestOwnTagNumber(std::string_view text, std::string_view prefix) {
    long highest = 0;
    for (auto at = text.find(prefix); at != std::string_view::npos; at = text.find(prefix, at + 1))
        highest = std::max(highest, OwnTagNumber(text, at, prefix, nullptr));
    return highest;
}

bool IsOwnTag(std::string_view stretch, std::string_view prefix) {
    std::size_t length = 0;
    return OwnTagNumber(stretch, 0, prefix, &length) != 0 && length == stretch.size();
}

// The new document, built from pieces of the scanned text and inserted tags. In
// EUC-JP mode the pieces are copied from the original bytes, never converted back,
// so nothing outside the stretches changes, valid EUC-JP or not. Until the first tag
// the new document is the old one, so nothing is copied before it is needed.
class Output {
public:
    Output(std::string_view scanned, std::string_view original, const KanaPositions* kanaAt)
        : scanned_(scanned), original_(original), kanaAt_(kanaAt) {}

    void Copy(std::size_t from, std::size_t to) {
        if (!changed_) return;
        std::size_t a = SourceOffset(from), b = SourceOffset(to);
        bytes_.append(original_.substr(a, b - a));
    }
    // The stretch [from, to) of the scanned text is replaced by `documentBytes`.
    void Replace(std::size_t from, std::string_view documentBytes) {
        if (!changed_) {
            changed_ = true;
            bytes_.reserve(original_.size() + 4096);
            bytes_.append(original_.substr(0, SourceOffset(from)));
        }
        bytes_ += documentBytes;
    }
    bool changed() const { return changed_; }
    const std::string& bytes() const { return bytes_; }

private:
    std::size_t SourceOffset(std::size_t pos) const {
        return kanaAt_ ? EucSourceOffset(pos, scanned_.size(), original_.size(), *kanaAt_) : pos;
    }

    std::string_view scanned_;
    std::string_view original_;  // the document's bytes as read
    const KanaPositions* kanaAt_;
    bool changed_ = false;
    std::string bytes_;
};

// Which bytes can begin a separator of a list, so that most positions need no look.
struct FirstBytes {
    explicit FirstBytes(const std::vector<std::string>& separators) {
        for (const std::string& sep : separators) {
            if (sep.empty()) continue;
            auto b = static_cast<unsigned char>(sep[0]);
            if (!table[b]) ++count;
            table[b] = true;
            only = static_cast<char>(b);
        }
    }
    bool table[256] = {};
    int count = 0;
    char only = 0;  // the one first byte when `count` is 1
};

// How far the scan looks ahead between two looks at the abort flag.
constexpr std::size_t kScanChunk = 1 << 16;

// The first character start in [pos, limit) whose byte may begin a separator, or a
// character start at or before `limit` where the search stopped. `pos` is a
// character start. A position is a character start exactly when the run of lead
// bytes just before it, counted back to a known start, is even: each lead byte takes
// the byte after it, whatever that byte is.
std::size_t SkipToCandidate(std::string_view text, std::size_t pos, std::size_t limit, const FirstBytes& first) {
    std::size_t known = pos;  // a character start
    auto isStart = [&](std::size_t i) {
        std::size_t run = 0;
        while (i - run > known && IsShiftJisLeadByte(static_cast<unsigned char>(text[i - run - 1]))) ++run;
        return run % 2 == 0;
    };
    std::size_t i = pos;
    for (;;) {
        if (first.count == 0) {
            i = limit;
        } else if (first.count == 1) {
            const void* hit = std::memchr(text.data() + i, first.only, limit - i);
            i = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : limit;
        } else {
            while (i < limit && !first.table[static_cast<unsigned char>(text[i])]) ++i;
        }
        if (i >= limit) return isStart(limit) ? limit : limit - 1;
        if (isStart(i)) return i;
        known = i + 1;  // i was the second byte of a character
        i = known;
    }
}

}  // namespace

const std::string& TextFolderCreateFailed() {
    static const std::string text = NativeToCp932("フォルダ作成に失敗");
    return text;
}
const std::string& TextFileOpenFailed() {
    static const std::string text = NativeToCp932("ファイルのオープンに失敗");
    return text;
}
const std::string& TextFileWriteFailed() {
    static const std::string text = NativeToCp932("ファイルの書き込みに失敗");
    return text;
}
const std::string& TextFolderNotFound() {
    static const std::string text = NativeToCp932("フォルダが見つかりません");
    return text;
}
const std::string& TextNoFolderGiven() {
    static const std::string text = NativeToCp932("フォルダを指定してください");
    return text;
}

const std::string& TextNoFileGiven() {
    static const std::string text = NativeToCp932("ファイルを指定してください");
    return text;
}
const std::string& TextFolderReadFailed() {
    static const std::string text = NativeToCp932("フォルダの読み込みに失敗");
    return text;
}
const std::string& TextLinkRefused() {
    static const std::string text = NativeToCp932("シンボリックリンクには書き込みません");
    return text;
}
const std::string& TextChangedMeanwhile() {
    static const std::string text = NativeToCp932("変換中に他で変更されたため書き込みません");
    return text;
}
const std::string& TextOutOfMemory() {
    static const std::string text = NativeToCp932("メモリが足りません");
    return text;
}
const std::string& TextUnexpectedError() {
    static const std::string text = NativeToCp932("予期しないエラー");
    return text;
}

std::string WithSystemReason(const std::string& reason, int error) {
    return error == 0 ? reason : reason + "\n" + NativeToCp932(fs::SystemReason(error));
}

std::string NativeToCp932(std::string_view native) {
    if (cp932::IsValidUtf8(native)) return cp932::FromUtf16Lossy(cp932::Utf8ToUtf16(native));
    std::string out;
    for (char c : native) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
}

std::string SeparatorWithLineBreaks(std::string_view typed) {
    std::string out;
    out.reserve(typed.size() + 2);
    for (std::size_t i = 0; i < typed.size();) {
        if (IsLeadByte(static_cast<unsigned char>(typed[i])) && i + 1 < typed.size()) {
            out.append(typed.substr(i, 2));
            i += 2;
        } else if (typed[i] == '\\' && i + 1 < typed.size() && typed[i + 1] == 'n') {
            out += "\r\n";
            i += 2;
        } else {
            out += typed[i++];
        }
    }
    return out;
}

std::string MessageText(const Problem& problem) {
    return NativeToCp932(problem.path) + "\n" + problem.reason;
}

std::string TagBaseName(std::string_view nativeBaseName, int iCode) {
    std::string out;
    for (std::size_t i = 0; i < nativeBaseName.size();) {
        char32_t code = 0;
        const std::size_t length = cp932::DecodeUtf8(nativeBaseName, i, code);
        if (length == 0) {  // not UTF-8: the byte as it is in the file name
            AppendPercent(out, nativeBaseName.substr(i, 1));
            ++i;
            continue;
        }
        std::string_view utf8 = nativeBaseName.substr(i, length);
        i += length;
        if (code < 0x80) {
            if (IsUnsafeInUrlPath(static_cast<unsigned char>(code))) AppendPercent(out, utf8);
            else out += static_cast<char>(code);
            continue;
        }
        std::optional<std::string> bytes = cp932::EncodeOne(code);
        bool held = bytes && !bytes->empty();
        if (held && iCode == kCodeEucJp) {
            auto b0 = static_cast<unsigned char>((*bytes)[0]);
            held = bytes->size() == 1
                       ? IsHalfWidthKana(b0)
                       : ShiftJisToJis(static_cast<std::uint16_t>((b0 << 8) | static_cast<unsigned char>((*bytes)[1]))) != 0;
        }
        if (held) out += *bytes;
        else AppendPercent(out, utf8);
    }
    return out;
}

namespace {

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1A\n";

class DocumentConverter {
public:
    DocumentConverter(const std::string& path, const ConversionSettings& settings, Backup backup)
        : path_(path), settings_(settings), backup_(backup),
          fs_(settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem()) {}

    DocumentResult Run();

private:
    // Whether the scan goes on after a step; a step that stops has set the outcome
    // (and shown its message).
    enum class Step { goOn, stop };

    DocumentResult Fail(const std::string& where, const std::string& reason);
    Step Stop(const std::string& where, const std::string& reason);
    Step MakeFolder(const std::string& folder);
    Step PrepareFirstChange();
    Step MakePicture(std::size_t from, std::size_t to, Output& output);
    static bool MatchAt(std::string_view text, std::size_t pos, const std::string& separator) {
        return !separator.empty() && text.size() - pos >= separator.size() && text[pos] == separator[0] &&
               text.compare(pos, separator.size(), separator) == 0;
    }

    const std::string& path_;
    const ConversionSettings& settings_;
    const Backup backup_;
    fs::FileSystem& fs_;
    DocumentResult result_;

    std::string imageFolder_;
    std::string progressPrefix_;  // "F/B.X" in code page 932
    std::string tagPrefix_;       // `<img src="./B/` as it stands in the scanned text
    std::string_view source_;     // the document's bytes as read
    fs::FileInfo read_;           // the document as it was read
    std::string_view text_;       // the scanned text (Shift-JIS)
    fs::FileBytes converted_;     // its storage for EUC-JP documents
    long nextNumber_ = 1;
    bool prepared_ = false;       // the first change has been prepared for
};

DocumentResult DocumentConverter::Fail(const std::string& where, const std::string& reason) {
    Stop(where, reason);
    return std::move(result_);
}

DocumentConverter::Step DocumentConverter::Stop(const std::string& where, const std::string& reason) {
    result_.outcome = Outcome::failed;
    result_.failure = Problem{where, reason};
    settings_.progress->ShowMessage(MessageText(*result_.failure));
    return Step::stop;
}

DocumentResult DocumentConverter::Run() {
    result_.path = path_;
    const std::string base = GetBaseName(path_);
    imageFolder_ = SiblingPath(path_, base);
    // An empty base name (no period in the file name) would make the document's own
    // folder the image folder, shared with every other such document.
    if (base.empty()) return Fail(imageFolder_, TextFolderCreateFailed());

    fs::FileBytes file;
    const fs::ReadStatus read = fs_.ReadFileBytes(path_, file);
    if (read.result != fs::ReadResult::ok) return Fail(path_, WithSystemReason(TextFileOpenFailed(), read.error));
    read_ = read.info;
    source_ = file.view();
    // This program's own pictures are never documents, whatever the pattern found.
    if (source_.starts_with(kPngSignature)) {
        result_.outcome = Outcome::skipped;
        return std::move(result_);
    }

    const bool euc = settings_.iCode == kCodeEucJp;
    KanaPositions kanaAt;
    if (euc) {
        // Large documents get the same kind of buffer as the file itself.
        if (!converted_.Allocate(source_.size())) return Fail(path_, WithSystemReason(TextFileOpenFailed(), ENOMEM));
        converted_.SetSize(EucToShiftJis(source_, converted_.data(), &kanaAt));
        text_ = converted_.view();
    } else {
        text_ = source_;
    }

    progressPrefix_ = NativeToCp932(GetFileNameWithExtension(GetDirectoryPart(path_)) + kPathSeparator + base +
                                    "." + GetExtension(path_));
    tagPrefix_ = "<img src=\"./" + TagBaseName(base, settings_.iCode) + "/";
    // Tags written by an earlier run keep their pictures: number on from the highest.
    nextNumber_ = HighestOwnTagNumber(text_, tagPrefix_) + 1;

    Output output(text_, source_, euc ? &kanaAt : nullptr);
    const FirstBytes startBytes(settings_.startSeparators), endBytes(settings_.endSeparators);
    const std::size_t length = text_.size();
    const std::atomic<bool>& abort = settings_.progress->bAbort;
    std::size_t pos = 0, pending = 0;
    bool inside = false;
    for (;;) {
        if (abort.load(std::memory_order_relaxed)) {
            result_.outcome = Outcome::aborted;
            return std::move(result_);
        }
        if (pos >= length) {
            if (inside) {
                if (MakePicture(pending, length, output) == Step::stop) return std::move(result_);
            } else {
                output.Copy(pending, length);
            }
            break;
        }
        const FirstBytes& first = inside ? endBytes : startBytes;
        const std::size_t candidate = SkipToCandidate(text_, pos, std::min(length, pos + kScanChunk), first);
        if (candidate > pos) {
            pos = candidate;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text_[pos]);
        bool matched = false;
        if (!first.table[byte]) {
            // No separator of the current kind begins with this byte.
        } else if (!inside) {
            for (const std::string& sep : settings_.startSeparators) {
                if (!MatchAt(text_, pos, sep)) continue;
                pos += sep.size();
                output.Copy(pending, pos);
                pending = pos;
                inside = matched = true;
                break;
            }
        } else {
            for (const std::string& sep : settings_.endSeparators) {
                if (!MatchAt(text_, pos, sep)) continue;
                // The end separator stays in the text: outside again, the scan meets it
                // at the same position, as ordinary text or as the next start.
                if (MakePicture(pending, pos, output) == Step::stop) return std::move(result_);
                pending = pos;
                inside = false;
                matched = true;
                break;
            }
        }
        if (matched) continue;
        pos += IsShiftJisLeadByte(byte) ? 2 : 1;
        if (pos > length) pos = length;
    }

    if (!output.changed()) {
        // Nothing changed: leave the file alone (and its time, and a read-only one).
        result_.outcome = Outcome::converted;
        return std::move(result_);
    }
    // Only while the document is still the one that was read: an edit made by
    // another program meanwhile is in neither the result nor the backup copy.
    const fs::WriteStatus written = fs_.ReplaceFile(path_, output.bytes(), &read_);
    switch (written.result) {
    case fs::WriteResult::ok: break;
    case fs::WriteResult::changed: return Fail(path_, TextChangedMeanwhile());
    default: return Fail(path_, WithSystemReason(TextFileWriteFailed(), written.error));
    }
    result_.outcome = Outcome::converted;
    return std::move(result_);
}

DocumentConverter::Step DocumentConverter::MakeFolder(const std::string& folder) {
    const fs::FolderStatus made = fs_.MakeDirectory(folder);
    switch (made.result) {
    case fs::FolderResult::ok: return Step::goOn;
    case fs::FolderResult::isLink: return Stop(folder, TextLinkRefused());
    default: return Stop(folder, WithSystemReason(TextFolderCreateFailed(), made.error));
    }
}

DocumentConverter::Step DocumentConverter::PrepareFirstChange() {
    prepared_ = true;
    // Temporary files that runs killed while writing this document, its copy or its
    // pictures left behind.
    const std::string name = GetFileNameWithExtension(path_);
    const std::string backupFolder = SiblingPath(path_, kBackupFolderName);
    fs_.RemoveStaleTemporaries(SiblingPath(path_, "."), name);
    fs_.RemoveStaleTemporaries(backupFolder, name);
    fs_.RemoveStaleTemporaries(imageFolder_, {});

    if (backup_ == Backup::yes) {
        // No change without the untouched copy safely in place; an existing copy is
        // the oldest one and stays.
        if (MakeFolder(backupFolder) == Step::stop) return Step::stop;
        const std::string copy = backupFolder + kPathSeparator + name;
        fs::WriteOptions options;
        options.existing = fs::Existing::keep;
        options.like = &read_;
        options.bKeepTimes = true;
        const fs::WriteStatus copied = fs_.WriteNewFile(copy, source_, options);
        if (copied.result != fs::WriteResult::ok && copied.result != fs::WriteResult::exists)
            return Stop(copy, WithSystemReason(TextFileWriteFailed(), copied.error));
        if (settings_.progress->bAbort.load()) {
            result_.outcome = Outcome::aborted;
            return Step::stop;
        }
    }
    return MakeFolder(imageFolder_);
}

DocumentConverter::Step DocumentConverter::MakePicture(std::size_t from, std::size_t to, Output& output) {
    std::string_view stretch(text_.data() + from, to - from);
    if (IsOwnTag(stretch, tagPrefix_)) {
        output.Copy(from, to);
        ++result_.iKept;
        return Step::goOn;
    }
    if (!prepared_ && PrepareFirstChange() == Step::stop) return Step::stop;
    settings_.progress->SetProgressText(progressPrefix_ + "(" + PictureNumber(result_.iPictures) + ")");
    const long number = nextNumber_++;
    ++result_.iPictures;
    const std::string name = PictureNumber(number);
    const std::string picturePath = imageFolder_ + kPathSeparator + name + ".png";

    Appearance look;
    look.colFore = settings_.colFore;
    look.colBack = settings_.colBack;
    look.iMargin = settings_.iMargin;
    look.bSpace = settings_.bSpace;
    // The renderer takes the stretch up to its first NUL byte.
    const std::string art(stretch);
    // Without its picture the stretch keeps its art: the document is then not rewritten.
    const fs::WriteStatus written = WriteDocumentPicture(fs_, picturePath, RenderPicture(art.c_str(), look));
    if (written.result == fs::WriteResult::notCreated)
        return Stop(picturePath, WithSystemReason(TextFileOpenFailed(), written.error));
    if (written.result != fs::WriteResult::ok)
        return Stop(picturePath, WithSystemReason(TextFileWriteFailed(), written.error));

    std::string tag = tagPrefix_ + name + ".png\">";
    output.Replace(from, settings_.iCode == kCodeEucJp ? ShiftJisToEuc(tag) : tag);
    return Step::goOn;
}

}  // namespace

DocumentResult ConvertDocument(const std::string& path, const ConversionSettings& settings, Backup backup) {
    return DocumentConverter(path, settings, backup).Run();
}

}  // namespace quarvel
