#include "platform/memory.h"

#include <malloc.h>

namespace quarvel {

void KeepFreedMemoryForReuse() {
    // The largest picture is 1224 x 1100 x 3 bytes (about 4 MB); blocks below the
    // mmap threshold come from the heap and stay there when freed.
    constexpr int kMmapThreshold = 16 << 20;
    constexpr int kTrimThreshold = 64 << 20;
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
}

}  // namespace quarvel
