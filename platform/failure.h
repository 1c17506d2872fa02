#pragma once
// What failed: the one value in which every layer reports a failure, from the file
// system up to the fronts. It says what failed, where, and the system's reason; it
// holds no words for the user. Those are made in two places only: the engine's
// messages (engine/messages.h, the texts the window and the engine show) and the
// command line's one printer.

#include <optional>
#include <string>
#include <utility>
#include <variant>

// Failure and Result stay in quarvel itself, not in quarvel::platform with the rest of
// this folder: every layer and both fronts name them, as the project's one vocabulary
// of failure.
namespace quarvel {

struct Failure {
    enum class What {
        notOpened,          // a file could not be opened, read or made
        notWritten,         // a file could not be written, flushed or put in place
        readOnly,           // a file to rewrite has no write permission at all
        exists,             // a file that may not be replaced is there (not always a failure)
        changedMeanwhile,   // another program changed the file while it was read or converted
        folderNotMade,      // a folder could not be made
        folderNotRead,      // a folder could not be listed
        folderNotFound,     // a folder to convert is not there
        noFileGiven,        // no document named
        noFolderGiven,      // no folder named
        linkRefused,        // a symbolic link where a file or folder is to be written
        linkedDocument,     // a document of a folder walk that is a symbolic link
        noImageFolderName,  // a document's name gives no name for its image folder
        imageFolderShared,  // an earlier document of the run has the image folder; `detail` names it
        noPictureNumber,    // the picture numbers of a document are used up
        wrongCode,          // a document is not in the code it is to be read in; `detail` names the one that fits
        noBackup,           // a document to put back has no copy in backup/
        copyDamaged,        // a copy in backup/ is not the text its conversion started from (`path`: the copy)
        documentEdited,     // a document to put back was changed since its conversion
        noRecord,           // a conversion is undone without its record (a warning)
        notTrusted,         // a file of the program's own that it did not write: another user's,
                            // writable by others, or no regular file (a warning; the file is left alone)
        locked,             // another process held the file locked for longer than the wait
        tooLarge,           // more bytes than the program reads of such a file
        tooDeep,            // a folder further down than a folder walk goes (its tree is left alone)
        fontUnusable,       // a font file that cannot be used; `detail` says why
        badSettingsName,    // a section or key name that a settings file cannot hold; `detail` names it
        outOfMemory,        // no memory for the work
        unexpected,         // something thrown that the program did not expect; `detail` holds its text
    };

    Failure(What kind, std::string where = {}, int systemError = 0, std::string more = {})
        : what(kind), path(std::move(where)), error(systemError), detail(std::move(more)) {}

    What what;
    std::string path;    // the file or folder concerned (native); empty when there is none
    int error = 0;       // the system's reason (an errno value); 0 when there is none
    std::string detail;  // see What

    bool Is(What kind) const { return what == kind; }
};

// A value, or the failure that stands in its place. Move-only: a failure is reported
// once, where it is taken out.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}
    Result(Result&&) noexcept = default;
    Result& operator=(Result&&) noexcept = default;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Failure& failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

// Done, or the failure.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}
    Result(Result&&) noexcept = default;
    Result& operator=(Result&&) noexcept = default;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

}  // namespace quarvel
