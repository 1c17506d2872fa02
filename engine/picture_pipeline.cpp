#include "engine/picture_pipeline_internal.h"

#include <cerrno>

#include "engine/messages.h"
#include "engine/naming_note.h"
#include "engine/ordered_pipeline.h"
#include "platform/paths.h"
#include "render/png_writer.h"

namespace quarvel::engine {

using render::EncodePng;
using render::PngOptionsFor;
using render::RenderPicture;

namespace fs = platform::fs;

void FailDocument(DocumentResult& result, JobProgress& progress, Failure failure) {
    result.outcome = Outcome::failed;
    progress.ShowFailure(failure);
    result.failure = std::move(failure);
}

PicturePipeline::PicturePipeline(const ConversionSettings& settings, fs::FileSystem& files, DocumentResult& result,
                                 fs::PendingFlush& pending)
    : settings_(settings), files_(files), result_(result), unflushed_(pending) {}

PicturesEnd PicturePipeline::Run(const std::function<bool(PictureWork&)>& next) {
    auto scan = [&](PictureWork& work) {
        if (Ended()) return false;
        try {
            return next(work);
        } catch (...) {
            work = PictureWork();
            work.kind = PictureWork::Kind::thrown;
            work.thrown = std::current_exception();
            return true;
        }
    };
    auto draw = [&](PictureWork& work) {
        if (work.kind == PictureWork::Kind::picture && !Ended() &&
            !settings_.progress->abortRequested.load(std::memory_order_relaxed))
            Draw(work);
    };
    // One worker takes one stretch at a time through all three, as the scan always did.
    RunInOrder(settings_.workers, slots_, scan, draw, [&](PictureWork& work) { Take(work); });
    End(PicturesEnd::done);  // unless it ended before
    return end_.load();
}

void PicturePipeline::End(PicturesEnd end) {
    PicturesEnd underWay = PicturesEnd::underWay;
    end_.compare_exchange_strong(underWay, end);
}

// On a worker: nothing here is shared but the glyph cache.
void PicturePipeline::Draw(PictureWork& work) const {
    try {
        Result<std::string> png =
            EncodePng(RenderPicture(work.art.c_str(), settings_.look, settings_.collectNotes ? &work.report : nullptr),
                      PngOptionsFor(settings_.look, settings_.pngForm));
        if (png) work.png = std::move(*png);  // else no memory to encode it
        work.drawn = true;
        if (settings_.pictureDrawn) settings_.pictureDrawn();
    } catch (...) {
        work.thrown = std::current_exception();
    }
}

// In document order, one at a time: what one worker would have shown and made.
void PicturePipeline::Take(PictureWork& work) {
    if (Ended()) return;  // after a failure or an abort: dropped
    result_.kept = work.keptBefore;
    switch (work.kind) {
    case PictureWork::Kind::failure:
        FailDocument(result_, *settings_.progress, std::move(*work.failure));
        return End(PicturesEnd::failed);
    case PictureWork::Kind::abort: return End(PicturesEnd::aborted);
    case PictureWork::Kind::thrown: thrown_ = work.thrown; return End(PicturesEnd::threw);
    case PictureWork::Kind::picture: break;
    }
    if (settings_.progress->abortRequested.load(std::memory_order_relaxed) || (!work.drawn && !work.thrown))
        return End(PicturesEnd::aborted);
    settings_.progress->SetProgressText(work.progressText);
    ++result_.pictures;
    if (work.thrown) {
        thrown_ = work.thrown;
        return End(PicturesEnd::threw);
    }
    // Written now, unnamed, and flushed and named later with the batch, never over a
    // file that is there: its number was free when the image folder was looked at, so
    // another program has put that file there meanwhile. Without its picture the
    // stretch keeps its art: the document is then not rewritten.
    try {
        Result<void> written = Failure{Failure::What::notOpened, work.path, ENOMEM};  // no memory to encode it
        if (work.png) {
            Written& picture = written_.emplace_back();
            picture.path = work.path;
            fs::WriteOptions options;
            options.existing = fs::Existing::keep;
            options.like = madeFor_;
            options.likeness = fs::Likeness::madeFor;
            options.flush = fs::Flush::later;
            options.pending = &unflushed_;
            options.stage = &picture.staged;
            options.placed = &picture.id;
            options.placedAs = &picture.file;
            written = files_.WriteNewFile(work.path, *work.png, options);
            if (!written) written_.pop_back();
        }
        work.png.reset();
        if (!written) {
            FailDocument(result_, *settings_.progress, written.failure());
            return End(PicturesEnd::failed);
        }
        // Each waiting picture holds descriptors: a document of thousands flushes and
        // names some before the process runs out of them.
        if (unflushed_.size() >= unflushed_.MostWaiting()) {
            Result<void> flushed = files_.FlushPending(unflushed_);
            if (flushed) flushed = NameWritten(unflushed_);
            if (!flushed) {
                FailDocument(result_, *settings_.progress, flushed.failure());
                return End(PicturesEnd::failed);
            }
        }
        if (work.report.Any()) result_.pictureNotes.push_back({work.path, std::move(work.report)});
    } catch (...) {
        thrown_ = std::current_exception();
        End(PicturesEnd::threw);
    }
}

Result<void> PicturePipeline::NameWritten(fs::PendingFlush& names) {
    // Before the first of them has a name, the note that lists them all: a run killed
    // before the document shows them leaves them to the next run to remove.
    bool unnamed = false;
    for (; noted_ < written_.size(); ++noted_) {
        const Written& picture = written_[noted_];
        if (picture.staged.path().empty()) continue;
        unnamed = true;
        if (const std::optional<fs::FileInfo> info = picture.staged.Info())
            noteLines_ += NamingNoteLine(picture.path, *info);
    }
    if (unnamed && madeFor_ && !leaveNote_) {
        notedIn_ = platform::GetDirectoryPart(written_.front().path);
        if (Result<void> noted = WriteNamingNote(files_, notedIn_, *madeFor_, noteLines_); !noted) return noted;
    }
    for (; named_ < written_.size(); ++named_) {
        Written& picture = written_[named_];
        if (picture.staged.path().empty()) continue;
        if (Result<void> named = files_.Place(picture.staged, &names); !named) {
            if (named.failure().Is(Failure::What::exists))
                return Failure{Failure::What::changedMeanwhile, picture.path};
            return named;
        }
    }
    return {};
}

std::vector<PicturePipeline::Named> PicturePipeline::NamedPictures() const {
    std::vector<Named> named;
    for (const Written& picture : written_)
        if (picture.staged.path().empty() && picture.file.inode != 0) named.push_back({picture.path, picture.file});
    return named;
}

void PicturePipeline::RemoveWritten() {
    for (Written& picture : written_) {
        if (!picture.staged.path().empty())
            picture.staged.Drop();
        else if (picture.id.inode != 0)
            files_.Remove(picture.path, &picture.id);
    }
    written_.clear();
    named_ = 0;
    Shown();
}

void PicturePipeline::Shown() {
    if (!notedIn_.empty()) RemoveNamingNote(files_, notedIn_);
    notedIn_.clear();
    noteLines_.clear();
    noted_ = 0;
}

}  // namespace quarvel::engine
