#pragma once
// What the tests of single documents share: a document converted in a folder of its own,
// with the progress it reports, and a check of a picture file against the renderer.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/conversion.h"
#include "render/renderer.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

// The picture file decodes to exactly what the renderer draws for `art`.
inline void ExpectPictureOf(const std::filesystem::path& png, const std::string& art) {
    platform::Picture decoded;
    ASSERT_TRUE(test::DecodePng(png, decoded)) << png;
    platform::Picture expected = render::RenderPicture(art.c_str(), render::Appearance{});
    EXPECT_EQ(decoded.width, expected.width) << png;
    EXPECT_EQ(decoded.height, expected.height) << png;
    EXPECT_TRUE(decoded.rgb == expected.rgb) << png;
}

class DocumentTest : public ::testing::Test {
protected:
    std::string Convert(const std::string& name, const std::string& before) {
        test::WriteFile(dir / name, before);
        result = ConvertDocument((dir / name).string(), settings);
        return test::ReadFile(dir / name);
    }

    test::TempDir dir;
    test::RecordingProgress progress;
    ConversionSettings settings = test::DefaultSettings(&progress);
    DocumentResult result;
};

}  // namespace quarvel::engine
