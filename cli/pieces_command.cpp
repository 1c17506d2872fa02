// quarvel-cli render-pieces: every piece of a template collection (.mlt, .ast) to a
// picture of its own, and a page that shows them all.

#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "engine/collection.h"
#include "engine/conversion.h"
#include "engine/pieces.h"
#include "platform/fonts.h"
#include "platform/language.h"
#include "platform/paths.h"

namespace quarvel::cli {

using engine::AllCores;
using engine::Collection;
using engine::CollectionKind;
using engine::DrawCollection;
using engine::DrawnPiece;
using engine::KindOfCollection;
using engine::kMaxCollectionBytes;
using engine::PieceFileName;
using engine::PiecesSettings;
using engine::ReadCollection;

using platform::GetFileNameWithExtension;
using platform::JoinPath;

int RunRenderPieces(const PiecesOptions& o) {
    if (const Result<void> opened = OpenFaces(o.look.font); !opened) {
        PrintFailure(opened.failure());
        return kExitFailed;
    }

    Result<platform::fs::FileBytes> bytes =
        ReadUserBytes(o.input, kMaxCollectionBytes,
                      platform::Fill(_("more than {1} MB, more than a collection is read"),
                                     {std::to_string(kMaxCollectionBytes >> 20)}));
    if (!bytes) {
        PrintFailure(bytes.failure());
        return kExitFailed;
    }
    if (!RefuseBinary(o.input, bytes->view())) return kExitFailed;
    const CollectionKind kind = KindOfCollection(o.input, bytes->view());
    const Collection collection = ReadCollection(std::move(*bytes), kind);
    if (collection.emptyPieces > 0)
        PrintProblem(ShownName(o.input), Warning(platform::Fill(platform::TranslatePlural("{1} empty piece left out",
                                                                                          "{1} empty pieces left out",
                                                                                          collection.emptyPieces),
                                                                {std::to_string(collection.emptyPieces)})));
    if (collection.pieces.empty()) PrintProblem(ShownName(o.input), Warning(_("no piece to draw")));

    PiecesSettings settings;
    o.look.ApplyTo(settings.look);
    o.look.ApplyTo(settings.pngForm);
    settings.workers = o.jobs ? *o.jobs : AllCores();
    // What each picture does not show of its piece, under the picture's name, as it is
    // in place.
    const Result<void> written = DrawCollection(
        collection, o.output, o.input == "-" ? ShownName(o.input) : GetFileNameWithExtension(o.input), settings,
        [&](std::size_t i, const DrawnPiece& piece) {
            PrintNotes(JoinPath(o.output, PieceFileName(i)), piece.report, _("the collection's character code"));
        });
    if (written) return kExitOk;
    PrintFailure(written.failure());
    return kExitFailed;
}

}  // namespace quarvel::cli
