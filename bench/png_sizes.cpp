// quarvel-png-sizes: the PNG files of folders against libpng writing the same pixels
// with its defaults, and a check that two trees of PNG files hold the same pixels.
//
//   quarvel-png-sizes [--each] FOLDER...
//     For each folder, its *.png files: each decoded and written again by libpng
//     (an RGB file as 8-bit RGB, an indexed one as a palette at one bit per pixel,
//     tests/support/libpng_reference.h), and the bytes of both summed. Prints a line per
//     folder: pictures, bytes, libpng's bytes, their ratio and the picture of the
//     highest ratio; with --each, a line per picture too.
//   quarvel-png-sizes --same-pixels BEFORE AFTER
//     Every *.png under BEFORE has a file of the same path under AFTER, and the two
//     decode to the same pixels. Exit 1 when one differs or is missing.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/libpng_reference.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using quarvel::test::DecodePngBytes;
using quarvel::test::ReadFile;
using quarvel::platform::Picture;

std::vector<fs::path> PngFiles(const fs::path& folder, bool recursive) {
    std::vector<fs::path> files;
    auto take = [&](const fs::directory_entry& e) {
        if (e.is_regular_file() && e.path().extension() == ".png") files.push_back(e.path());
    };
    if (recursive) {
        for (const auto& e : fs::recursive_directory_iterator(folder)) take(e);
    } else {
        for (const auto& e : fs::directory_iterator(folder)) take(e);
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool Indexed(const std::string& file) { return file.size() > 25 && file[25] == 3; }

int Sizes(const std::vector<std::string>& folders, bool each) {
    std::printf("%-12s %8s %12s %12s %7s  %s\n", "set", "pictures", "bytes", "libpng", "ratio", "worst picture");
    int status = 0;
    for (const std::string& folder : folders) {
        std::uint64_t bytes = 0, reference = 0;
        double worst = 0;
        std::string worstName;
        const std::vector<fs::path> files = PngFiles(folder, false);
        for (const fs::path& path : files) {
            const std::string file = ReadFile(path);
            Picture picture;
            if (!DecodePngBytes(file, picture)) {
                std::fprintf(stderr, "%s: libpng cannot read it\n", path.c_str());
                status = 1;
                continue;
            }
            const std::string again =
                Indexed(file) ? quarvel::test::LibpngPalette(picture) : quarvel::test::LibpngRgb(picture);
            const double ratio = static_cast<double>(file.size()) / static_cast<double>(again.size());
            bytes += file.size();
            reference += again.size();
            if (ratio > worst) {
                worst = ratio;
                worstName = path.filename().string() + " (" + std::to_string(picture.width) + " x " +
                            std::to_string(picture.height) + ", " + std::to_string(file.size()) + " / " +
                            std::to_string(again.size()) + ")";
            }
            if (each)
                std::printf("  %-24s %5d x %-4d %9zu %9zu %6.3f\n", path.filename().c_str(), picture.width,
                            picture.height, file.size(), again.size(), ratio);
        }
        const std::string name = fs::path(folder).filename().string();
        std::printf("%-12s %8zu %12llu %12llu %7.3f  %.3f %s\n", name.c_str(), files.size(),
                    static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(reference),
                    reference ? static_cast<double>(bytes) / static_cast<double>(reference) : 0.0, worst,
                    worstName.c_str());
    }
    return status;
}

int SamePixels(const fs::path& before, const fs::path& after) {
    int compared = 0, differ = 0;
    for (const fs::path& path : PngFiles(before, true)) {
        const fs::path other = after / fs::relative(path, before);
        Picture a, b;
        if (!DecodePngBytes(ReadFile(path), a) || !fs::exists(other) || !DecodePngBytes(ReadFile(other), b) ||
            a.width != b.width || a.height != b.height || a.rgb != b.rgb) {
            std::printf("differs: %s\n", other.c_str());
            ++differ;
        }
        ++compared;
    }
    std::printf("%d pictures compared, %d differ\n", compared, differ);
    return differ == 0 && compared > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--same-pixels") return SamePixels(args[1], args[2]);
    const bool each = !args.empty() && args[0] == "--each";
    if (each) args.erase(args.begin());
    if (args.empty()) {
        std::fprintf(stderr, "usage: quarvel-png-sizes [--each] FOLDER... | --same-pixels BEFORE AFTER\n");
        return 2;
    }
    return Sizes(args, each);
}
