#include "engine/picture_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "render/png_writer.h"

namespace quarvel {
namespace {

fs::WriteStatus NotEncoded() { return {fs::WriteResult::notCreated, ENOMEM}; }

}  // namespace

fs::WriteStatus SavePicture(fs::FileSystem& fileSystem, const std::string& path, const Picture& picture, PngForm form,
                            fs::Flush flush) {
    const std::optional<std::string> png = EncodePng(picture, form);
    return png ? fileSystem.WriteToUserPath(path, *png, flush) : NotEncoded();
}

}  // namespace quarvel
