#pragma once
#include <cstdio>

#include "platform/picture.h"

namespace quarvel {

// Writes the picture as an 8-bit RGB PNG to an open stream (which stays open).
// Returns 1 when the whole file was written, 0 otherwise.
int WritePngFile(const Picture& picture, std::FILE* stream);

}  // namespace quarvel
