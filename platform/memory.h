#pragma once

#include <cstddef>
#include <memory>

namespace quarvel::platform {

// Tells the C library to keep freed memory for reuse instead of handing it back to
// the system after every picture. Each picture allocates and frees a few hundred
// kilobytes (its pixels, the PNG encoder's state); returned at once, those pages
// are unmapped and faulted in again for the next picture, which costs more than
// drawing it. Call once at start-up, before any thread starts.
void KeepFreedMemoryForReuse();

// Pages mapped with mmap, unmapped when let go.
struct PagesRelease {
    std::size_t bytes = 0;
    void operator()(void* pages) const;
};
using Pages = std::unique_ptr<void, PagesRelease>;

// Zero-filled memory straight from the kernel, which provides each page only when it
// is first touched: for a large table of which a run uses a few entries, where the
// heap would clear (and so fault in) all of it up front. Throws std::bad_alloc.
Pages MapZeroedPages(std::size_t bytes);

}  // namespace quarvel::platform
