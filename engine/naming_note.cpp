#include "engine/naming_note.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "engine/image_tags.h"
#include "platform/paths.h"

namespace quarvel::engine {

namespace fs = platform::fs;

namespace {

std::string NotePath(const std::string& imageFolder) {
    return imageFolder + platform::kPathSeparator + std::string(kNamingNoteName);
}

// What the note says of a file: identity, size and modification time.
std::string Identity(const fs::FileInfo& file) {
    return std::to_string(file.device) + ' ' + std::to_string(file.inode) + ' ' + std::to_string(file.size) + ' ' +
           std::to_string(file.modified.tv_sec) + ' ' + std::to_string(file.modified.tv_nsec);
}

// "IDENTITY NAME" of a listed picture: the name when the line is one.
std::string_view ListedName(std::string_view line) {
    const std::size_t space = line.rfind(' ');
    if (space == std::string_view::npos) return {};
    const std::string_view name = line.substr(space + 1);
    return IsPictureFileName(name) ? name : std::string_view();
}

// A note lists one line of a hundred bytes or less for each picture.
std::size_t MostNoteBytes(std::size_t pictures) { return 256 * (pictures + 1); }

}  // namespace

std::string NamingNoteLine(const std::string& picturePath, const fs::FileInfo& picture) {
    const std::string name = platform::GetFileNameWithExtension(picturePath);
    if (picture.inode == 0 || !IsPictureFileName(name)) return {};
    return Identity(picture) + ' ' + name + '\n';
}

Result<void> WriteNamingNote(fs::FileSystem& files, const std::string& imageFolder, const fs::FileInfo& document,
                             const std::string& pictureLines) {
    // The document's owner's, and writable by no one else, as the next run requires
    // of a note it takes.
    fs::FileInfo like = document;
    like.mode &= ~0022u;
    fs::WriteOptions options;
    options.like = &like;
    options.likeness = fs::Likeness::madeFor;
    // It only has to be there before the pictures' names are: a crash of the machine
    // loses both.
    options.flush = fs::Flush::never;
    return files.WriteNewFile(NotePath(imageFolder), "document " + Identity(document) + '\n' + pictureLines, options);
}

void RemoveNamingNote(fs::FileSystem& files, const std::string& imageFolder) { files.Remove(NotePath(imageFolder)); }

KilledRun RemovePicturesOfAKilledRun(fs::FileSystem& files, const std::string& imageFolder,
                                     const fs::FileInfo& document, std::size_t pictures) {
    KilledRun run;
    const std::string notePath = NotePath(imageFolder);
    std::string note;
    Result<fs::FileInfo> read = files.ReadSmallFile(notePath, MostNoteBytes(pictures), note);
    if (!read) {
        const Failure& failure = read.failure();
        if (failure.Is(Failure::What::notOpened) && failure.error == ENOENT) return run;
        run.noteLeft = true;
        run.warning = failure.Is(Failure::What::tooLarge) ? failure : Failure{Failure::What::notTrusted, notePath};
        return run;
    }
    // Only what this program could have written: anyone who may write a note, or owns
    // it, could name any file there.
    if ((read->mode & 022) != 0 || (read->owner != ::geteuid() && read->owner != document.owner)) {
        run.noteLeft = true;
        run.warning = Failure{Failure::What::notTrusted, notePath};
        return run;
    }
    std::string_view rest = note;
    const std::size_t firstEnd = rest.find('\n');
    // Pictures of a killed run are only those of the document as it still is: once it
    // was replaced (or edited), they are what it shows, or another's to decide on.
    if (firstEnd != std::string_view::npos && rest.substr(0, firstEnd) == "document " + Identity(document)) {
        rest.remove_prefix(firstEnd + 1);
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            const std::string_view name = ListedName(line);
            if (name.empty()) continue;
            const std::string picture = imageFolder + platform::kPathSeparator + std::string(name);
            const std::optional<fs::FileInfo> there = files.Look(picture);
            // The note's owner made the pictures it lists; no one else's file is taken.
            if (!there || there->owner != read->owner || Identity(*there) + ' ' + std::string(name) != line) continue;
            if (files.RemoveIfStill(picture, *there, false)) run.removed.emplace_back(name);
        }
    }
    const fs::FileId id = read->id();
    files.Remove(notePath, &id);
    return run;
}

}  // namespace quarvel::engine
