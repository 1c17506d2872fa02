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

std::optional<std::string> EncodePng(const Picture& picture, PngForm form) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = ::open_memstream(&buffer, &size);
    if (!stream) return std::nullopt;
    const bool written = WritePngFile(picture, stream, form) == 1;
    const bool closed = std::fclose(stream) == 0;
    const std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
    if (!written || !closed) return std::nullopt;
    return std::string(buffer, size);
}

fs::WriteStatus SavePicture(fs::FileSystem& fileSystem, const std::string& path, const Picture& picture, PngForm form,
                            fs::Flush flush) {
    const std::optional<std::string> png = EncodePng(picture, form);
    return png ? fileSystem.WriteToUserPath(path, *png, flush) : NotEncoded();
}

}  // namespace quarvel
