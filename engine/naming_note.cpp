#include "engine/naming_note.h"

#include <string_view>

#include "platform/paths.h"

namespace quarvel::engine {

namespace fs = platform::fs;

namespace {

std::string NotePath(const std::string& imageFolder) {
    return imageFolder + platform::kPathSeparator + std::string(kNamingNoteName);
}

// A picture's own name: digits and ".png", nothing that could lead elsewhere.
bool IsPictureName(std::string_view name) {
    constexpr std::string_view kSuffix = ".png";
    if (!name.ends_with(kSuffix) || name.size() == kSuffix.size()) return false;
    for (char c : name.substr(0, name.size() - kSuffix.size()))
        if (c < '0' || c > '9') return false;
    return true;
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
    return IsPictureName(name) ? name : std::string_view();
}

}  // namespace

std::string NamingNoteLine(const std::string& picturePath, const fs::FileInfo& picture) {
    const std::string name = platform::GetFileNameWithExtension(picturePath);
    if (picture.inode == 0 || !IsPictureName(name)) return {};
    return Identity(picture) + ' ' + name + '\n';
}

Result<void> WriteNamingNote(fs::FileSystem& files, const std::string& imageFolder, const fs::FileInfo& document,
                             const std::string& pictureLines) {
    fs::WriteOptions options;
    options.like = &document;
    options.likeness = fs::Likeness::madeFor;
    // It only has to be there before the pictures' names are: a crash of the machine
    // loses both.
    options.flush = fs::Flush::never;
    return files.WriteNewFile(NotePath(imageFolder), "document " + Identity(document) + '\n' + pictureLines, options);
}

void RemoveNamingNote(fs::FileSystem& files, const std::string& imageFolder) { files.Remove(NotePath(imageFolder)); }

int RemovePicturesOfAKilledRun(fs::FileSystem& files, const std::string& imageFolder, const fs::FileInfo& document) {
    const std::string notePath = NotePath(imageFolder);
    if (files.Status(notePath) != fs::Kind::file) return 0;
    Result<std::string> note = files.ReadWhole(notePath);
    if (!note) return 0;
    int removed = 0;
    std::string_view rest = *note;
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
            fs::FileBytes bytes;
            Result<fs::FileInfo> there = files.ReadFileBytes(picture, bytes);
            if (!there || Identity(*there) + ' ' + std::string(name) != line) continue;
            const fs::FileId id = there->id();
            if (files.Remove(picture, &id)) ++removed;
        }
    }
    files.Remove(notePath);
    return removed;
}

}  // namespace quarvel::engine
