#pragma once
// The note a document's image folder holds while pictures of a conversion have their
// names and the document that shows them has not yet been replaced. A run killed in
// between leaves pictures that no tag names; the next run of the same document, still
// as it was, finds the note and removes exactly those files, so that its pictures take
// their numbers again and no picture of the killed run is left behind.

#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/fs.h"

namespace quarvel::engine {

// The note's name in the image folder.
inline constexpr std::string_view kNamingNoteName = ".quarvel.naming";

// A picture's line of the note: its name, identity, size and modification time, as
// the file is while it waits, unnamed, for its name ("" where the file system tells
// none of it).
std::string NamingNoteLine(const std::string& picturePath, const platform::fs::FileInfo& picture);

// Writes (or rewrites) the note in `imageFolder`: the document as it was read and the
// pictures' lines.
Result<void> WriteNamingNote(platform::fs::FileSystem& files, const std::string& imageFolder,
                             const platform::fs::FileInfo& document, const std::string& pictureLines);

// Removes the note (the document is replaced, or the pictures are gone).
void RemoveNamingNote(platform::fs::FileSystem& files, const std::string& imageFolder);

// What became of the note of a killed run.
struct KilledRun {
    std::vector<std::string> removed;  // the names of the pictures removed
    // A note there that this program could not have written, left as it is: the note
    // of this run cannot take its place.
    bool noteLeft = false;
    std::optional<Failure> warning;  // why a note was left
};

// Before a document's first change: when its image folder holds a note and the
// document is still the one the note names, the pictures the note lists are removed
// where they are still the same files (identity, size and modification time, looked at
// and never read) and belong to the note's owner. The note goes either way. A note is
// taken only where this program could have written it: a regular file (never through a
// link) of the user who runs or of the document's owner, that no one else may write,
// of at most a few hundred bytes for each of the `pictures` pictures the folder holds;
// any other is left alone, with a warning.
KilledRun RemovePicturesOfAKilledRun(platform::fs::FileSystem& files, const std::string& imageFolder,
                                     const platform::fs::FileInfo& document, std::size_t pictures);

}  // namespace quarvel::engine
