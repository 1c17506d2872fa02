#pragma once
// A document converted up to its putting in place, as DocumentBatch (conversion.h)
// holds it until the files it depends on are on disk. Nothing outside the engine uses it.

#include <memory>
#include <string>

#include "engine/conversion.h"
#include "platform/fs.h"

namespace quarvel::engine {

class PreparedDocument {
public:
    virtual ~PreparedDocument() = default;

    virtual DocumentResult& result() = 0;
    // Whether a new document waits to be put in place.
    virtual bool Waiting() const = 0;
    // Gives the pictures and the untouched copy their names (their folders join `names`,
    // to be flushed before any document is replaced); a failure fails the document.
    virtual void PlacePicturesAndBackup(platform::fs::PendingFlush& names) = 0;
    // Puts the new document in place, while the document is still the one that was
    // read; sets the outcome.
    virtual void PlaceDocument() = 0;
    // Fails the document: its message, and what the run made for it removed.
    virtual void Fail(Failure failure) = 0;
    // The descriptors it keeps until it is put in place: folders held, its lock, and
    // the files written and waiting for their names.
    virtual std::size_t OpenFiles() const = 0;
};

// Converts the document as far as its putting in place: the pictures, the untouched
// copy and the new document written unnamed, their bytes waiting in `pending`. A
// document that failed, was aborted or does not change has its outcome already.
// `temporaries`, when given, are what was found in the document's folder.
std::unique_ptr<PreparedDocument> PrepareDocument(const std::string& path, const ConversionSettings& settings,
                                                  Backup backup, platform::fs::PendingFlush& pending,
                                                  const FolderTemporaries* temporaries = nullptr);

}  // namespace quarvel::engine
