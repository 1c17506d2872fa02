#pragma once

namespace quarvel {

// Tells the C library to keep freed memory for reuse instead of handing it back to
// the system after every picture. Each picture allocates and frees a few hundred
// kilobytes (its pixels, the PNG encoder's state); returned at once, those pages
// are unmapped and faulted in again for the next picture, which costs more than
// drawing it. Call once at start-up, before any thread starts.
void KeepFreedMemoryForReuse();

}  // namespace quarvel
