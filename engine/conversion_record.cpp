#include "engine/conversion_record.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "engine/image_tags.h"
#include "platform/digest.h"

namespace quarvel::engine {

namespace fs = platform::fs;

namespace {

constexpr std::string_view kFirstLine = "quarvel conversion record 1";
constexpr std::string_view kSuffix = ".record";
// The most bytes of a file in a record's place that is read to tell whether it is one.
constexpr std::size_t kMostEarlierRecord = std::size_t{64} << 20;

// The words of a line, split at single spaces.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at <= line.size();) {
        const std::size_t space = std::min(line.find(' ', at), line.size());
        words.push_back(line.substr(at, space - at));
        at = space + 1;
    }
    return words;
}

template <typename T>
bool Number(std::string_view word, T& value) {
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return !word.empty() && error == std::errc() && end == word.data() + word.size();
}

bool IsDigest(std::string_view word) {
    return word.size() == 64 && word.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// "copy SIZE DIGEST" or "converted SIZE DIGEST".
bool ReadPrint(std::string_view line, std::string_view key, TextPrint& print) {
    const std::vector<std::string_view> words = Words(line);
    if (words.size() != 3 || words[0] != key || !Number(words[1], print.size) || !IsDigest(words[2])) return false;
    print.sha256 = std::string(words[2]);
    return print.size >= 0;
}

// "picture DEVICE INODE SIZE MTIME-S MTIME-NS CTIME-S CTIME-NS NAME".
bool ReadPicture(std::string_view line, ConversionRecord::Picture& picture) {
    const std::vector<std::string_view> words = Words(line);
    fs::FileInfo& f = picture.file;
    if (words.size() != 9 || words[0] != "picture" || !Number(words[1], f.device) || !Number(words[2], f.inode) ||
        !Number(words[3], f.size) || !Number(words[4], f.modified.tv_sec) || !Number(words[5], f.modified.tv_nsec) ||
        !Number(words[6], f.changed.tv_sec) || !Number(words[7], f.changed.tv_nsec) || !IsPictureFileName(words[8]))
        return false;
    picture.name = std::string(words[8]);
    return true;
}

std::string Line(std::string_view key, const TextPrint& print) {
    return std::string(key) + ' ' + std::to_string(print.size) + ' ' + print.sha256 + '\n';
}

}  // namespace

bool TextPrint::Of(std::string_view bytes) const {
    return size == static_cast<std::int64_t>(bytes.size()) && sha256 == platform::Sha256Hex(bytes);
}

TextPrint PrintOf(std::string_view bytes) {
    return {static_cast<std::int64_t>(bytes.size()), platform::Sha256Hex(bytes)};
}

std::string RecordPathOf(const std::string& copy) { return copy + std::string(kSuffix); }

std::string FormatRecord(const ConversionRecord& record) {
    std::string text = std::string(kFirstLine) + '\n' + Line("copy", record.copy) + Line("converted", record.converted);
    for (const ConversionRecord::Picture& picture : record.pictures) {
        const fs::FileInfo& f = picture.file;
        text += "picture " + std::to_string(f.device) + ' ' + std::to_string(f.inode) + ' ' + std::to_string(f.size) +
                ' ' + std::to_string(f.modified.tv_sec) + ' ' + std::to_string(f.modified.tv_nsec) + ' ' +
                std::to_string(f.changed.tv_sec) + ' ' + std::to_string(f.changed.tv_nsec) + ' ' + picture.name + '\n';
    }
    return text;
}

std::optional<ConversionRecord> ParseRecord(std::string_view text) {
    if (!text.ends_with('\n')) return std::nullopt;
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    ConversionRecord record;
    if (lines.size() < 3 || lines[0] != kFirstLine || !ReadPrint(lines[1], "copy", record.copy) ||
        !ReadPrint(lines[2], "converted", record.converted))
        return std::nullopt;
    for (std::size_t i = 3; i < lines.size(); ++i)
        if (!ReadPicture(lines[i], record.pictures.emplace_back())) return std::nullopt;
    return record;
}

Result<void> WriteRecord(fs::FileSystem& files, const std::string& copy, const ConversionRecord& record,
                         const fs::FileInfo& document, fs::PendingFlush& names, fs::FileId* placed) {
    // The document's owner's, as its copy is, where the system lets us, and writable by
    // no one else: a record that others may write could name anything.
    fs::FileInfo like;
    like.owner = document.owner;
    like.group = document.group;
    like.mode = (document.mode & 0644) | 0600;
    fs::WriteOptions options;
    options.like = &like;
    options.flush = fs::Flush::later;
    options.pending = &names;
    options.placed = placed;
    // Only an earlier record is replaced: a file of that name that is none (the copy of
    // a document named so, say) stays as it is.
    const std::string path = RecordPathOf(copy);
    std::optional<fs::FileInfo> earlier;
    if (files.Look(path)) {
        std::string text;
        Result<fs::FileInfo> read = files.ReadSmallFile(path, kMostEarlierRecord, text);
        if (!read || !ParseRecord(text)) return Failure{Failure::What::exists, path};
        earlier = *read;
        options.unchanged = &*earlier;
    }
    return files.WriteNewFile(path, FormatRecord(record), options);
}

std::size_t MostRecordBytes(std::size_t pictures) { return 1024 + 256 * pictures; }

RecordRead ReadRecord(fs::FileSystem& files, const std::string& copy, std::size_t most) {
    RecordRead read;
    const std::string path = RecordPathOf(copy);
    std::string text;
    Result<fs::FileInfo> got = files.ReadSmallFile(path, most, text);
    if (!got) {
        const Failure& failure = got.failure();
        if (failure.Is(Failure::What::notOpened) && failure.error == ENOENT) return read;
        read.warning = failure.Is(Failure::What::tooLarge) ? failure : Failure{Failure::What::notTrusted, path};
        return read;
    }
    if ((got->mode & 022) != 0) {
        read.warning = Failure{Failure::What::notTrusted, path};
        return read;
    }
    read.record = ParseRecord(text);
    if (!read.record) {
        read.warning = Failure{Failure::What::notTrusted, path};
        return read;
    }
    if (got->owner != ::geteuid() && got->owner != 0) read.onlyPicturesOf = got->owner;
    return read;
}

}  // namespace quarvel::engine
