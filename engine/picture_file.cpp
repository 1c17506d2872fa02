#include "engine/picture_file.h"

#include <cerrno>

#include "render/png_writer.h"

namespace quarvel::engine {

using render::EncodePng;
using render::PngOptions;

using platform::Picture;
namespace fs = platform::fs;

Result<void> SavePicture(fs::FileSystem& fileSystem, const std::string& path, const Picture& picture,
                         const PngOptions& options, fs::Flush flush) {
    Result<std::string> png = EncodePng(picture, options);
    if (!png) return Failure{Failure::What::notOpened, path, ENOMEM};  // no memory to encode it
    return fileSystem.WriteToUserPath(path, *png, flush);
}

}  // namespace quarvel::engine
