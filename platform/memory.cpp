#include "platform/memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <new>

namespace quarvel::platform {

void KeepFreedMemoryForReuse() {
    // The largest picture is 1224 x 1100 x 3 bytes (about 4 MB); blocks below the
    // mmap threshold come from the heap and stay there when freed.
    constexpr int kMmapThreshold = 16 << 20;
    constexpr int kTrimThreshold = 64 << 20;
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
}

void PagesRelease::operator()(void* pages) const { munmap(pages, bytes); }

Pages MapZeroedPages(std::size_t bytes) {
    void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    return Pages(pages, PagesRelease{bytes});
}

}  // namespace quarvel::platform
