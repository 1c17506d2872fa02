#pragma once
// A template collection as one small square picture, for file managers: its first
// pieces side by side, each shrunk to fit its part of the square.

#include "engine/collection.h"
#include "platform/picture.h"
#include "render/appearance.h"

namespace quarvel::engine {

inline constexpr int kMinThumbnailSize = 16;
inline constexpr int kMaxThumbnailSize = 1024;
// The pieces a thumbnail shows at most: one fills it, two are stacked, three or four
// share it as a 2 x 2 grid.
inline constexpr std::size_t kThumbnailPieces = 4;

// A size x size picture (size within [kMinThumbnailSize, kMaxThumbnailSize]) in the
// look's background colour, with the collection's first pieces drawn in `look` and
// each shrunk, never enlarged, to fit its cell, centred, by the average of the pixels
// it covers; more than one piece, each cell framed in grey. A collection without a
// piece gives the background alone.
platform::Picture DrawThumbnail(const Collection& collection, int size, const render::Appearance& look = {});

// `picture` shrunk to width x height (each at most the picture's own, at least 1):
// each pixel the average of the part of the picture it covers.
platform::Picture Shrink(const platform::Picture& picture, int width, int height);

}  // namespace quarvel::engine
