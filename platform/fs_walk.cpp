#include "platform/fs_walk.h"

#include <algorithm>
#include <utility>

#include "platform/paths.h"

namespace quarvel::platform::fs {

// One folder on the way down to the one the walk is in: what it is, where its name
// ends in the walk's path, the sub-folders it has left to walk, and, while it is held,
// its handle. The same few bytes at every level, besides the names left.
struct FolderWalk::Level {
    FileId id;
    std::size_t pathLength = 0;
    std::vector<std::string> toWalk;  // the next one last
    HeldFolder folder;
    bool held = false;  // `folder` is this level's (a file system that keeps its own folders
                        // holds them without a descriptor)
};

FolderWalk::FolderWalk(FileSystem& fileSystem, std::string root, WalkDepth depth,
                       std::function<bool(std::string_view)> enters)
    : fileSystem_(fileSystem), depth_(depth), enters_(std::move(enters)), path_(std::move(root)) {}

FolderWalk::~FolderWalk() = default;

FolderWalk::Step FolderWalk::Next() {
    if (!started_) {
        started_ = true;
        Result<HeldFolder> held = fileSystem_.Hold(path_);
        if (!held) return {Step::Kind::failure, held.failure()};
        Result<std::vector<std::string>> below = SubFolders();
        if (!below) return {Step::Kind::failure, below.failure()};
        levels_.push_back(Level{held->id(), path_.size(), std::move(*below), std::move(*held), true});
    } else if (turnGiven_) {
        turnGiven_ = false;
        if (std::optional<Failure> lost = Up()) return {Step::Kind::failure, std::move(lost)};
    }
    while (!levels_.empty()) {
        Level& top = levels_.back();
        if (top.toWalk.empty()) {
            turnGiven_ = true;
            return {Step::Kind::folder, std::nullopt};
        }
        std::string name = std::move(top.toWalk.back());
        top.toWalk.pop_back();
        if (std::optional<Failure> failure = Enter(std::move(name))) return {Step::Kind::failure, std::move(failure)};
    }
    return {};
}

// The sub-folders of the folder at path_, held, in the order they are walked.
Result<std::vector<std::string>> FolderWalk::SubFolders() {
    std::vector<std::string> names;
    if (depth_ == WalkDepth::folderOnly) return names;
    Result<std::vector<Entry>> listing = fileSystem_.List(path_, {});
    if (!listing) return listing.failure();
    for (Entry& entry : *listing)
        if (entry.kind == Kind::folder && !entry.isLink && enters_(entry.name)) names.push_back(std::move(entry.name));
    std::reverse(names.begin(), names.end());
    return names;
}

// Down into a sub-folder of the top level, opened in it (never through a link). Only
// the folder the walk started from stays held besides the new top.
std::optional<Failure> FolderWalk::Enter(std::string name) {
    const std::size_t above = path_.size();
    if (path_.empty() || path_.back() != kPathSeparator) path_ += kPathSeparator;
    path_ += name;
    auto notEntered = [&](Failure failure) {
        path_.resize(above);
        return failure;
    };
    if (levels_.size() > static_cast<std::size_t>(kMaxWalkDepth)) return notEntered({Failure::What::tooDeep, path_});
    Result<HeldFolder> held = fileSystem_.Hold(path_);
    if (!held) return notEntered(held.failure());
    Result<std::vector<std::string>> below = SubFolders();
    if (!below) return notEntered(below.failure());
    if (levels_.size() > 1) {
        levels_.back().folder = HeldFolder();
        levels_.back().held = false;
    }
    levels_.push_back(Level{held->id(), path_.size(), std::move(*below), std::move(*held), true});
    return std::nullopt;
}

// Back up from the top level, whose turn is over, to the one above: through ".." while
// it still leads there, else down again from the start.
std::optional<Failure> FolderWalk::Up() {
    const Level done = std::move(levels_.back());
    levels_.pop_back();
    if (levels_.empty()) return std::nullopt;
    Level& parent = levels_.back();
    path_.resize(parent.pathLength);
    if (parent.held) return std::nullopt;
    if (Result<HeldFolder> up = fileSystem_.HoldParent(done.folder, path_, parent.id); up) {
        parent.folder = std::move(*up);
        parent.held = true;
        return std::nullopt;
    }
    return DownAgain();
}

// From the nearest level still held down to the top, name by name, each the folder it
// was; where one is not, what lies below it is left out.
std::optional<Failure> FolderWalk::DownAgain() {
    std::size_t from = levels_.size() - 1;
    while (from > 0 && !levels_[from].held) --from;
    for (std::size_t i = from + 1; i < levels_.size(); ++i) {
        const std::string folder = path_.substr(0, levels_[i].pathLength);
        Result<HeldFolder> held = fileSystem_.Hold(folder);
        if (held && held->id() != levels_[i].id) held = Failure{Failure::What::changedMeanwhile, folder};
        if (!held) {
            levels_.resize(i);
            path_.resize(levels_.back().pathLength);
            return held.failure();
        }
        levels_[i].folder = std::move(*held);
        levels_[i].held = true;
        if (i - 1 > 0) {
            levels_[i - 1].folder = HeldFolder();
            levels_[i - 1].held = false;
        }
    }
    return std::nullopt;
}

}  // namespace quarvel::platform::fs
