// quarvel-cli thumbnail: the first pieces of a template collection as one square
// picture, what a file manager shows of the file (res/quarvel.thumbnailer).

#include <string>

#include "cli/commands.h"
#include "engine/collection.h"
#include "engine/picture_file.h"
#include "engine/thumbnail.h"
#include "platform/language.h"

namespace quarvel::cli {

namespace fs = platform::fs;

int RunThumbnail(const ThumbnailOptions& o) {
    if (const Result<void> opened = OpenFaces({}); !opened) {
        PrintFailure(opened.failure());
        return kExitFailed;
    }
    Result<std::string> bytes = ReadUserFile(o.input, engine::kMaxCollectionBytes,
                                             platform::Fill(_("more than {1} MB, more than a collection is read"),
                                                            {std::to_string(engine::kMaxCollectionBytes >> 20)}));
    if (!bytes) {
        PrintFailure(bytes.failure());
        return kExitFailed;
    }
    if (!RefuseBinary(o.input, *bytes)) return kExitFailed;
    const engine::CollectionKind kind = engine::KindOfCollection(o.input, *bytes);
    const engine::Collection collection = engine::ReadCollection(std::move(*bytes), kind);
    if (collection.pieces.empty()) {
        PrintProblem(ShownName(o.input), _("no piece to draw"));
        return kExitFailed;
    }
    // A file manager draws it again from the collection whenever it is lost: no flush.
    const Result<void> written =
        engine::SavePicture(fs::RealFileSystem(), o.output, engine::DrawThumbnail(collection, o.size),
                            render::PngForm::rgb, fs::Flush::never);
    if (written) return kExitOk;
    PrintFailure(written.failure());
    return kExitFailed;
}

}  // namespace quarvel::cli
