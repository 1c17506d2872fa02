#pragma once
// The note a document's image folder holds while pictures of a conversion have their
// names and the document that shows them has not yet been replaced. A run killed in
// between leaves pictures that no tag names; the next run of the same document, still
// as it was, finds the note and removes exactly those files, so that its pictures take
// their numbers again and no picture of the killed run is left behind.

#include <string>

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

// Before a document's first change: when its image folder holds a note and the
// document is still the one the note names, the pictures the note lists are removed
// where they are still the same files (identity, size and modification time). The note goes either way. Returns how
// many pictures were removed.
int RemovePicturesOfAKilledRun(platform::fs::FileSystem& files, const std::string& imageFolder,
                               const platform::fs::FileInfo& document);

}  // namespace quarvel::engine
