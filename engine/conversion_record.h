#pragma once
// What a conversion made, kept beside the copy of the text it started from
// (backup/NAME.record beside backup/NAME, NAME.1.record beside NAME.1, ...): the size
// and digest of the copy and of the converted text, and each picture by its identity.
// Written by the run that converted the document, and by nothing else; restore takes
// back only what a record names and is still as the run left it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"
#include "platform/fs.h"

namespace quarvel::engine {

// A text as the record holds it: its size and SHA-256 digest.
struct TextPrint {
    std::int64_t size = -1;
    std::string sha256;

    bool operator==(const TextPrint&) const = default;
    bool Of(std::string_view bytes) const;
};

TextPrint PrintOf(std::string_view bytes);

struct ConversionRecord {
    TextPrint copy;       // the text before the conversion, as its copy must hold it
    TextPrint converted;  // the text the conversion wrote in place of the document
    struct Picture {
        std::string name;             // "001.png", in the document's image folder
        platform::fs::FileInfo file;  // device, inode, size, modification and change times
    };
    std::vector<Picture> pictures;
};

// The record's path for a copy in backup/.
std::string RecordPathOf(const std::string& copy);

std::string FormatRecord(const ConversionRecord& record);
// Nothing unless the text is a whole record as FormatRecord writes it.
std::optional<ConversionRecord> ParseRecord(std::string_view text);

// Writes the record of a conversion beside its copy, in place of an earlier record
// (anything else at its name stays: exists): the document's owner's where the system
// lets us (else the user's who runs), no more open than the document and writable by
// no one else, flushed with `names`; `placed` is set to its identity.
Result<void> WriteRecord(platform::fs::FileSystem& files, const std::string& copy, const ConversionRecord& record,
                         const platform::fs::FileInfo& document, platform::fs::PendingFlush& names,
                         platform::fs::FileId* placed);

// The record of the conversion that started from `copy`, as far as it can be trusted.
struct RecordRead {
    std::optional<ConversionRecord> record;  // none: no record, or one not to be used
    // Set when the record is another user's (neither the user who runs nor root): it
    // speaks only for that user's pictures.
    std::optional<unsigned> onlyPicturesOf;
    std::optional<Failure> warning;  // a record there that is not used, and why
};

// Reads a record of at most `most` bytes: a regular file (never through a link), that
// no one but its owner may write. The record of another user than the one who runs or
// root (the document's owner, when root converted it) speaks only for that user's
// pictures. A record that is not there is no warning.
RecordRead ReadRecord(platform::fs::FileSystem& files, const std::string& copy, std::size_t most);

// The most bytes a record of a conversion of `pictures` pictures takes: a few hundred
// a picture.
std::size_t MostRecordBytes(std::size_t pictures);

}  // namespace quarvel::engine
