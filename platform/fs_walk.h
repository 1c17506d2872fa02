#pragma once
// A folder tree walked depth first without recursion, in few descriptors and in
// memory that grows by a constant for each level it is down, however deep the tree.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

namespace quarvel::platform::fs {

// The deepest a walk goes below the folder it starts from: a folder this many levels
// down is walked, one below it is not (a failure, tooDeep), nor anything under it. No
// real tree comes near it; a chain of folders made to be deep is left at it.
inline constexpr int kMaxWalkDepth = 4096;

// Whether a walk goes into the sub-folders.
enum class WalkDepth { folderOnly, tree };

// The folders of a tree, each sub-folder's whole tree first (in byte order of their
// names), then the folder itself, as a recursive walk takes them. The levels are kept
// on the heap; held open are the folder whose turn it is (FileSystem::Hold: every
// operation on a path in it works in it) and the folder the walk started from. A
// sub-folder is opened in the one above it and never through a symbolic link; the way
// back up is through "..", and only to the very folder that was left (its identity is
// checked): when another program has moved things meanwhile, the walk goes down again
// from the start, name by name, and where that leads elsewhere, that folder's tree is
// left out with a failure (changedMeanwhile).
class FolderWalk {
public:
    // `enters` says which sub-folders (by name) are walked; symbolic links never are.
    FolderWalk(FileSystem& fileSystem, std::string root, WalkDepth depth,
               std::function<bool(std::string_view name)> enters);
    ~FolderWalk();
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    struct Step {
        enum class Kind {
            folder,   // the turn of the folder at path(): every sub-folder's tree is done
            failure,  // a folder that is not walked, nor anything under it: `failure`
            end,      // the walk is over
        };
        Kind kind = Kind::end;
        std::optional<Failure> failure;
    };
    // The next step. The folder of a turn stays held until the next call.
    Step Next();
    // The folder whose turn it is.
    const std::string& path() const { return path_; }

private:
    struct Level;
    std::optional<Failure> Enter(std::string name);
    std::optional<Failure> Up();
    std::optional<Failure> DownAgain();
    Result<std::vector<std::string>> SubFolders();

    FileSystem& fileSystem_;
    const WalkDepth depth_;
    const std::function<bool(std::string_view)> enters_;
    std::string path_;
    std::vector<Level> levels_;
    bool started_ = false;
    bool turnGiven_ = false;
};

}  // namespace quarvel::platform::fs
