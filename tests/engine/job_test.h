#pragma once
// What the tests of file and folder jobs share: a job run on a folder of its own through a
// file system whose steps a test can hook, and its documents and pictures checked.

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/jobs.h"
#include "platform/picture.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

inline constexpr const char* kDoc = "<dd>art\r\n";
inline constexpr const char* kConverted = "<dd><img src=\"./%s/001.png\">\r\n";

inline void ExpectPictureIsPng(const std::filesystem::path& path) {
    platform::Picture picture;
    EXPECT_TRUE(test::DecodePng(path, picture)) << path;
}

inline std::string ConvertedDoc(const std::string& base) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, kConverted, base.c_str());
    return buffer;
}

class JobTest : public ::testing::Test {
protected:
    JobResult RunFolder(const std::string& folder, SubFolders sub = SubFolders::yes, Backup backup = Backup::yes,
                        const std::string& pattern = "*.htm") {
        FolderConversionJob job;
        job.folder = folder;
        job.fileFilter = pattern;
        job.subFolders = sub;
        job.backup = backup;
        job.settings = settings;
        std::thread worker = StartFolderJob(job);
        worker.join();
        EXPECT_FALSE(progress.running);
        return std::move(job.result);
    }
    std::string Path(const std::string& relative) const { return (dir / relative).string(); }

    test::TempDir dir;
    test::RecordingProgress progress;
    test::HookedFileSystem hooked;
    ConversionSettings settings = [this] {
        auto s = test::DefaultSettings(&progress);
        s.fileSystem = &hooked;
        return s;
    }();
};

}  // namespace quarvel::engine
