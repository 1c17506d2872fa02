#include <exception>
#include <utility>

#include "engine/conversion.h"
#include "engine/conversion_internal.h"

namespace quarvel::engine {

namespace fs = platform::fs;

DocumentBatch::DocumentBatch(const ConversionSettings& settings, std::vector<DocumentResult>& results)
    : settings_(settings),
      fileSystem_(settings.fileSystem ? *settings.fileSystem : fs::RealFileSystem()),
      results_(results) {}

DocumentBatch::~DocumentBatch() {
    try {
        Commit();
    } catch (...) {
        // Not even a message could be made: what waits stays as it was, unplaced.
    }
}

Outcome DocumentBatch::Convert(const std::string& path, Backup backup, const FolderTemporaries* temporaries) {
    std::unique_ptr<PreparedDocument> document = PrepareDocument(path, settings_, backup, pending_, temporaries);
    results_.push_back(document->result());
    if (!document->Waiting()) return results_.back().outcome;
    if (waiting_.empty()) firstWaiting_ = std::chrono::steady_clock::now();
    waiting_.push_back({std::move(document), results_.size() - 1});
    if (waiting_.size() >= kMaxDocuments || std::chrono::steady_clock::now() - firstWaiting_ >= kMaxWait ||
        OpenFiles() >= pending_.MostOpen() / 2)
        Commit();
    return Outcome::converted;
}

std::size_t DocumentBatch::OpenFiles() const {
    std::size_t open = pending_.size();
    for (const Waiting& waiting : waiting_) open += waiting.document->OpenFiles();
    return open;
}

// The bytes of every waiting file first; then the pictures and the copies take their
// names, which reach the disk too; only then are the documents replaced. A flush that
// fails fails every document that waited on it.
void DocumentBatch::Commit() {
    if (waiting_.empty()) {
        pending_.Clear();  // the files of documents that failed or were aborted
        return;
    }
    std::vector<Waiting> batch = std::exchange(waiting_, {});
    Result<void> flushed = fileSystem_.FlushPending(pending_);
    fs::PendingFlush names;
    // A flush that failed is each document's failure, told under its own name.
    auto failEach = [&](const Failure& failure) {
        for (Waiting& waiting : batch) waiting.document->Fail({failure.what, {}, failure.error});
    };
    if (!flushed) failEach(flushed.failure());
    for (Waiting& waiting : batch) waiting.document->PlacePicturesAndBackup(names);
    if (Result<void> named = fileSystem_.FlushPending(names); !named) failEach(named.failure());
    for (Waiting& waiting : batch) {
        waiting.document->PlaceDocument();
        results_[waiting.result] = std::move(waiting.document->result());
    }
}

DocumentResult ConvertDocument(const std::string& path, const ConversionSettings& settings, Backup backup) {
    std::vector<DocumentResult> results;
    {
        DocumentBatch batch(settings, results);
        batch.Convert(path, backup);
    }
    return std::move(results.front());
}

}  // namespace quarvel::engine
