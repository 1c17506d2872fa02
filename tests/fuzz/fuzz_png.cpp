// The PNG writers alone, on pictures of any bits: random bytes as a picture of one,
// two or three colours, of any width from 1 to past the renderer's widest and any
// height, written in both forms and read back through libpng.
//
// Invariants: both files decode to exactly the picture's pixels; the RGB file is
// IHDR (8-bit, colour type 2), IDAT chunks of at most 8192 bytes and IEND; the
// indexed file of a picture of one or two colours has a palette of them.

#include <png.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "render/png_writer.h"
#include "tests/fuzz/fuzz_check.h"

namespace quarvel {

using render::EncodePng;
using render::PngForm;

using platform::Color;
using platform::Picture;

namespace {

std::uint32_t Be32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(
        static_cast<unsigned char>(bytes[at]) << 24 | static_cast<unsigned char>(bytes[at + 1]) << 16 |
        static_cast<unsigned char>(bytes[at + 2]) << 8 | static_cast<unsigned char>(bytes[at + 3]));
}

// The chunk types in file order; the RGB form's are checked on the way.
void CheckChunks(const std::string& file, PngForm form, bool twoColours) {
    FUZZ_CHECK(file.compare(0, 8, "\x89PNG\r\n\x1A\n", 8) == 0);
    std::string types;
    for (std::size_t at = 8; at < file.size();) {
        FUZZ_CHECK(at + 12 <= file.size());
        const std::uint32_t length = Be32(file, at);
        const std::string type = file.substr(at + 4, 4);
        FUZZ_CHECK(at + 12 + length <= file.size());
        if (type == "IHDR") {
            const bool indexed = form == PngForm::indexed && twoColours;
            FUZZ_CHECK(file[at + 16] == (indexed ? 1 : 8) && file[at + 17] == (indexed ? 3 : 2));
        }
        if (type == "IDAT" && form == PngForm::rgb) FUZZ_CHECK(length <= 8192);
        types += type[0];
        at += 12 + length;
    }
    FUZZ_CHECK(types.front() == 'I' && types.back() == 'I' && types.size() >= 3);
}

}  // namespace
}  // namespace quarvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarvel;
    fuzz::FieldReader input(fuzz::AsText(data, size));
    const int width = 1 + (input.Byte() | (input.Byte() & 3) << 8) % 1300;
    const Color colours[3] = {{input.Byte(), input.Byte(), input.Byte()},
                              {input.Byte(), input.Byte(), input.Byte()},
                              {input.Byte(), input.Byte(), input.Byte()}};
    const std::uint8_t mode = input.Byte();
    const std::string_view bits = input.rest();
    // Rows of the bits, repeated now and then (the rows of text art often are); a
    // third colour where a byte says so, when the mode asks for one.
    const int height = 1 + static_cast<int>(bits.size() * 8 / static_cast<std::size_t>(width)) % 120;
    Picture picture(width, height, colours[0]);
    std::size_t bit = 0;
    for (int y = 0; y < height; ++y) {
        const bool repeat = y > 0 && (mode & 1) && !bits.empty() &&
                            static_cast<unsigned char>(bits[static_cast<std::size_t>(y) % bits.size()]) % 3 == 0;
        if (repeat) {
            std::memcpy(picture.row(y), picture.row(y - 1), 3 * static_cast<std::size_t>(width));
            continue;
        }
        for (int x = 0; x < width; ++x, ++bit) {
            if (bits.empty()) break;
            const auto byte = static_cast<unsigned char>(bits[(bit / 8) % bits.size()]);
            int colour = (byte >> (bit % 8)) & 1;
            if ((mode & 2) && byte == 0xA5) colour = 2;
            const Color c = colours[colour];
            std::uint8_t* p = picture.row(y) + 3 * x;
            p[0] = c.red;
            p[1] = c.green;
            p[2] = c.blue;
        }
    }
    std::vector<Color> seen;
    for (std::size_t i = 0; i < picture.rgb.size() && seen.size() <= 2; i += 3) {
        const Color c{picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]};
        if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
    }
    const bool twoColours = seen.size() <= 2;

    for (PngForm form : {PngForm::rgb, PngForm::indexed}) {
        const Result<std::string> file = EncodePng(picture, form);
        FUZZ_CHECK(file.ok());
        CheckChunks(*file, form, twoColours);
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        FUZZ_CHECK(png_image_begin_read_from_memory(&image, file->data(), file->size()) != 0);
        image.format = PNG_FORMAT_RGB;
        FUZZ_CHECK(static_cast<int>(image.width) == width && static_cast<int>(image.height) == height);
        static std::string pixels;
        pixels.resize(PNG_IMAGE_SIZE(image));
        FUZZ_CHECK(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0);
        png_image_free(&image);
        FUZZ_CHECK(pixels.size() == picture.rgb.size() &&
                   std::memcmp(pixels.data(), picture.rgb.data(), pixels.size()) == 0);
    }
    return 0;
}
