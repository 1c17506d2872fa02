#pragma once
// Pictures as PNG files: encoded in memory, then written whole through the file
// system, so that a failure never leaves part of a picture behind.

#include <string>

#include "platform/fs.h"
#include "platform/picture.h"
#include "render/png_writer.h"

namespace quarvel::engine {

// A picture where the user asked for it (render's -o, the copy-paste page's file):
// see FileSystem::WriteToUserPath. `options` as render::PngOptionsFor gives them for
// the look the picture was drawn in (its scale, its transparent background).
Result<void> SavePicture(platform::fs::FileSystem& fileSystem, const std::string& path,
                         const platform::Picture& picture, const render::PngOptions& options,
                         platform::fs::Flush flush = platform::fs::Flush::first);
// At scale 1 with an opaque background.
inline Result<void> SavePicture(platform::fs::FileSystem& fileSystem, const std::string& path,
                                const platform::Picture& picture, render::PngForm form,
                                platform::fs::Flush flush = platform::fs::Flush::first) {
    return SavePicture(fileSystem, path, picture, render::PngOptions{form}, flush);
}

}  // namespace quarvel::engine
