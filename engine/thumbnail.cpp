#include "engine/thumbnail.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "render/renderer.h"

namespace quarvel::engine {

using platform::Color;
using platform::Picture;

namespace {

constexpr Color kFrame{0xC0, 0xC0, 0xC0};

// Which pixels of a row of `from` make each of `to` pixels, and by how much: the
// picture's pixel i covers [i * to, (i + 1) * to) and the new pixel o covers
// [o * from, (o + 1) * from) on one scale, so that every weight is a whole number and
// the weights of a new pixel add up to `from`.
struct Span {
    int first = 0;
    std::vector<std::uint32_t> weights;
};

std::vector<Span> Spans(int from, int to) {
    std::vector<Span> spans(static_cast<std::size_t>(to));
    for (int o = 0; o < to; ++o) {
        const std::int64_t lo = std::int64_t{o} * from, hi = std::int64_t{o + 1} * from;
        Span& span = spans[static_cast<std::size_t>(o)];
        span.first = static_cast<int>(lo / to);
        for (std::int64_t i = span.first; i * to < hi; ++i)
            span.weights.push_back(static_cast<std::uint32_t>(std::min(hi, (i + 1) * to) - std::max(lo, i * to)));
    }
    return spans;
}

void Put(Picture& onto, const Picture& piece, int x0, int y0) {
    for (int y = 0; y < piece.height; ++y)
        std::copy_n(piece.row(y), static_cast<std::size_t>(piece.width) * 3, onto.row(y0 + y) + x0 * 3);
}

}  // namespace

Picture Shrink(const Picture& picture, int width, int height) {
    width = std::clamp(width, 1, picture.width);
    height = std::clamp(height, 1, picture.height);
    const std::vector<Span> across = Spans(picture.width, width), down = Spans(picture.height, height);
    // Across first: each row of the picture becomes `width` sums of weight picture.width.
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* in = picture.row(y);
        std::uint32_t* out = rows.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            const Span& span = across[static_cast<std::size_t>(x)];
            for (std::size_t k = 0; k < span.weights.size(); ++k)
                for (int c = 0; c < 3; ++c)
                    out[x * 3 + c] += span.weights[k] * in[(span.first + static_cast<int>(k)) * 3 + c];
        }
    }
    Picture shrunk(width, height, platform::kWhite);
    const std::uint64_t whole = std::uint64_t{static_cast<std::uint32_t>(picture.width)} * picture.height;
    for (int y = 0; y < height; ++y) {
        const Span& span = down[static_cast<std::size_t>(y)];
        std::uint8_t* out = shrunk.row(y);
        for (int i = 0; i < width * 3; ++i) {
            std::uint64_t sum = 0;
            for (std::size_t k = 0; k < span.weights.size(); ++k)
                sum += std::uint64_t{span.weights[k]} *
                       rows[static_cast<std::size_t>(span.first + static_cast<int>(k)) * width * 3 + i];
            out[i] = static_cast<std::uint8_t>((sum + whole / 2) / whole);
        }
    }
    return shrunk;
}

Picture DrawThumbnail(const Collection& collection, int size, const render::Appearance& look) {
    size = std::clamp(size, kMinThumbnailSize, kMaxThumbnailSize);
    Picture sheet(size, size, look.backColor);
    const std::size_t count = std::min(collection.pieces.size(), kThumbnailPieces);
    if (count == 0) return sheet;
    const int columns = count > 2 ? 2 : 1, rows = count > 1 ? 2 : 1;
    const int gap = count > 1 ? std::max(1, size / 64) : 0;
    const int cellWidth = (size - gap * (columns + 1)) / columns, cellHeight = (size - gap * (rows + 1)) / rows;
    // Drawn as it is shown, at scale 1 on an opaque background.
    render::Appearance drawn = look;
    drawn.scale = 1;
    drawn.transparentBack = false;
    for (std::size_t i = 0; i < count; ++i) {
        const int x0 = gap + static_cast<int>(i % columns) * (cellWidth + gap);
        const int y0 = gap + static_cast<int>(i / columns) * (cellHeight + gap);
        if (gap > 0) {
            sheet.fill(x0 - 1, y0 - 1, x0 + cellWidth + 1, y0, kFrame);
            sheet.fill(x0 - 1, y0 + cellHeight, x0 + cellWidth + 1, y0 + cellHeight + 1, kFrame);
            sheet.fill(x0 - 1, y0, x0, y0 + cellHeight, kFrame);
            sheet.fill(x0 + cellWidth, y0, x0 + cellWidth + 1, y0 + cellHeight, kFrame);
        }
        const std::string input = collection.RendererInput(collection.pieces[i]);
        Picture piece = render::RenderPicture(input.c_str(), drawn);
        // The largest size that keeps the piece's proportions within its cell.
        int width = piece.width, height = piece.height;
        if (width > cellWidth || height > cellHeight) {
            if (std::int64_t{width} * cellHeight > std::int64_t{height} * cellWidth) {
                height = static_cast<int>(std::int64_t{height} * cellWidth / width);
                width = cellWidth;
            } else {
                width = static_cast<int>(std::int64_t{width} * cellHeight / height);
                height = cellHeight;
            }
            piece = Shrink(piece, width, height);
        }
        Put(sheet, piece, x0 + (cellWidth - piece.width) / 2, y0 + (cellHeight - piece.height) / 2);
    }
    return sheet;
}

}  // namespace quarvel::engine
