// Jobs whose pictures are drawn by several workers: the same results as one worker,
// abort, and the number of pictures under way.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include <gtest/gtest.h>

#include "engine/image_tags.h"
#include "engine/jobs.h"
#include "support/engine_test_support.h"
#include "support/test_support.h"

namespace quarvel::engine {

namespace fs = platform::fs;

namespace {

using test::ReadFile;
using test::RecordingProgress;
using test::Sjis;
using test::TempDir;
using test::WriteFile;

// A document of `count` stretches of art that differs from stretch to stretch.
std::string Thread(int count, const std::string& tag) {
    std::string document = "<dl>\r\n";
    for (int i = 1; i <= count; ++i)
        document += "<dt>" + std::to_string(i) + "<dd>" + tag + " " + std::to_string(i * 7919) + "<br>" +
                    std::string(static_cast<std::size_t>(i % 9), '#') + "\r\n";
    return document + "</dl>\r\n";
}

// Every file under a folder with its bytes; folders with an empty string.
std::map<std::string, std::string> FilesOf(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& entry : test::TreeOf(folder))
        files[entry] = entry.ends_with('/') ? std::string() : ReadFile(folder / entry);
    return files;
}

struct JobRecord {
    std::map<std::string, std::string> files;
    std::vector<std::string> texts;
    std::vector<std::string> messages;
    std::vector<std::string> documents;  // path, outcome, pictures, kept, failure of each
    bool aborted = false;
};

using Hook =
    std::function<void(test::HookedFileSystem&, const std::filesystem::path&, RecordingProgress&, ConversionSettings&)>;

// A folder job over a fresh copy of `documents` (relative path to bytes) with
// `workers` workers and the file-system hooks that `hook` sets.
JobRecord RunFolderJob(const std::map<std::string, std::string>& documents, int workers, const Hook& hook) {
    TempDir dir;
    for (const auto& [name, bytes] : documents) {
        std::filesystem::create_directories((dir / name).parent_path());
        WriteFile(dir / name, bytes);
    }
    RecordingProgress progress;
    test::HookedFileSystem hooked;
    FolderConversionJob job;
    job.folder = dir.path().string();
    job.settings = test::DefaultSettings(&progress);
    job.settings.fileSystem = &hooked;
    job.settings.workers = workers;
    hook(hooked, dir.path(), progress, job.settings);
    StartFolderJob(job).join();

    // Paths without the folder, which differs from run to run.
    auto relative = [&](std::string text) {
        for (std::size_t at; (at = text.find(dir.path().string())) != std::string::npos;)
            text.replace(at, dir.path().string().size(), "DIR");
        return text;
    };
    JobRecord run;
    run.files = FilesOf(dir.path());
    // A record of a conversion names its pictures by inode and time, which differ from
    // run to run; what it names is the same.
    for (auto& [name, bytes] : run.files)
        if (name.ends_with(".record")) bytes = std::to_string(std::count(bytes.begin(), bytes.end(), '\n'));
    // The texts name the folder by its own name.
    for (std::string text : progress.texts) {
        const std::string name = dir.path().filename().string();
        if (text.starts_with(name)) text.replace(0, name.size(), "DIR");
        run.texts.push_back(text);
    }
    for (const std::string& message : progress.messages) run.messages.push_back(relative(message));
    for (const DocumentResult& d : job.result.documents)
        run.documents.push_back(relative(d.path) + " " + std::to_string(static_cast<int>(d.outcome)) + " " +
                                std::to_string(d.pictures) + " " + std::to_string(d.kept) + " " +
                                (d.failure ? relative(MessageText(*d.failure)) : ""));
    run.aborted = job.result.aborted;
    return run;
}

TEST(ParallelJobs, EveryNumberOfWorkersGivesTheResultsOfOne) {
    // Several documents, among them failures in the middle of a document and a disk
    // that fills up: the files (documents, every picture, backups), the progress texts
    // in order, the messages and the results are those of one worker.
    const std::string own = "<dd><img src=\"./d/007.png\">\r\n";
    const std::map<std::string, std::string> documents = {
        {"a.htm", Thread(30, "plain")},
        {"b.htm", Thread(12, "fails at 5")},
        {"c.htm", Thread(12, "edited meanwhile")},
        {"d.htm", own + Thread(9, "own tags") + own},
        {"e.htm", "<p>no stretch</p>"},
        {"f.htm", Thread(10, "throws at 4")},
        {"locked/g.htm", Thread(3, "unread")},
        {"sub/h.htm", Thread(20, "deeper")},
        {"sub/i.htm", Thread(15, "fine")},
        {"sub/j.htm", Thread(30, "disk full")},
    };
    const auto hook = [](test::HookedFileSystem& hooked, const std::filesystem::path& dir, RecordingProgress&,
                         ConversionSettings&) {
        // Room for the first 11 of j's pictures, whichever are written first.
        auto written = std::make_shared<int>(0);
        hooked.failWrite = [written](const std::string& path) {
            if (path.find("/j/") != std::string::npos && ++*written > 11) return ENOSPC;
            return path.ends_with("/b/005.png") ? ENOSPC : 0;
        };
        hooked.failList = [](const std::string& folder) { return folder.ends_with("/locked") ? EACCES : 0; };
        hooked.beforeWrite = [dir](const std::string& path) {
            if (path.ends_with("/c/003.png")) WriteFile(dir / "c.htm", "edited by another program");
            if (path.ends_with("/f/004.png")) throw std::bad_alloc();
        };
    };
    const JobRecord one = RunFolderJob(documents, 1, hook);
    // What one worker does, in short: the failures each have their message.
    ASSERT_EQ(one.messages.size(), 5u);
    const std::string writeFailed = "\ncould not write the file\n";
    EXPECT_EQ(one.messages[0], "DIR/locked\ncould not read the folder\nPermission denied");
    EXPECT_EQ(one.messages[1], "DIR/sub/j/012.png" + writeFailed + "No space left on device");
    EXPECT_EQ(one.messages[2], "DIR/b/005.png" + writeFailed + "No space left on device");
    EXPECT_EQ(one.messages[3], "DIR/f.htm\nout of memory");
    // c.htm, edited meanwhile, is found so when the batch puts the documents in place.
    EXPECT_EQ(one.messages[4], "DIR/c.htm\nchanged by another program during the conversion, so not written");
    EXPECT_EQ(one.files.at("sub/j.htm"), documents.at("sub/j.htm"));
    EXPECT_EQ(one.files.at("b.htm"), documents.at("b.htm"));
    // A document that failed keeps its art, and no picture of it stays.
    EXPECT_FALSE(one.files.contains("b/") || one.files.contains("b/004.png") || one.files.contains("sub/j/"));
    EXPECT_TRUE(one.files.contains("a/030.png") && one.files.contains("d/016.png") &&
                one.files.contains("sub/h/020.png"));

    for (int workers : {2, 4, 7}) {
        const JobRecord many = RunFolderJob(documents, workers, hook);
        EXPECT_EQ(many.files, one.files) << workers;
        EXPECT_EQ(many.texts, one.texts) << workers;
        EXPECT_EQ(many.messages, one.messages) << workers;
        EXPECT_EQ(many.documents, one.documents) << workers;
        EXPECT_FALSE(many.aborted);
    }
}

TEST(ParallelJobs, AbortLeavesEveryDocumentAsItWas) {
    // The abort comes while workers draw (raised on one of them): the document under
    // way and those after it stay as they were, with no picture of theirs, no
    // temporary file remains, and no more pictures are drawn than were under way.
    const std::map<std::string, std::string> documents = {
        {"a.htm", Thread(10, "a")}, {"b.htm", Thread(40, "b")}, {"c.htm", Thread(10, "c")}};
    constexpr int kWorkers = 3;
    for (int at : {13, 27, 48}) {
        std::atomic<int> drawn{0}, drawnAfterAbort{0};
        const JobRecord run = RunFolderJob(documents, kWorkers,
                                           [&](test::HookedFileSystem&, const std::filesystem::path&,
                                               RecordingProgress& progress, ConversionSettings& settings) {
                                               settings.pictureDrawn = [&] {
                                                   if (progress.abortRequested) ++drawnAfterAbort;
                                                   if (++drawn == at) progress.abortRequested = true;
                                               };
                                           });
        EXPECT_TRUE(run.aborted) << at;
        EXPECT_TRUE(run.messages.empty()) << at;
        EXPECT_LE(drawnAfterAbort, 2 * kWorkers) << at;
        EXPECT_NE(run.files.at("a.htm"), documents.at("a.htm")) << at;  // finished before
        EXPECT_EQ(run.files.at("b.htm"), documents.at("b.htm")) << at;
        EXPECT_EQ(run.files.at("c.htm"), documents.at("c.htm")) << at;
        EXPECT_FALSE(run.files.contains("c/")) << at;
        // b's pictures were never named: nothing of b is left, and no temporary file.
        for (const auto& [name, bytes] : run.files) {
            EXPECT_FALSE(fs::IsTemporaryName(std::filesystem::path(name).filename().string())) << name;
            EXPECT_FALSE(name.starts_with("b/")) << name << " " << at;
        }
    }
}

TEST(ParallelJobs, NoMorePicturesUnderWayThanTwiceTheWorkers) {
    // Each result is taken only once the workers have run as far ahead as they may:
    // pictures drawn but not yet taken never number more than twice the workers, and
    // the workers do reach that many (a pipeline that held them back would hang here
    // and end the test with a message).
    class SlowTaking : public RecordingProgress {
    public:
        std::atomic<int> taken{0}, drawn{0};
        int ahead = 0;  // drawn beyond the one being taken, to wait for
        void SetProgressText(const std::string& text) override {
            RecordingProgress::SetProgressText(text);
            const int now = ++taken;
            test::WaitUntil([&] { return drawn >= std::min(now + ahead, 40); },
                            "the workers to run ahead of the picture being taken");
        }
    };
    for (int workers : {1, 2, 3}) {
        TempDir dir;
        WriteFile(dir / "t.htm", Thread(40, "t"));
        SlowTaking progress;
        progress.ahead = workers == 1 ? 0 : 2 * workers - 1;
        std::mutex mutex;
        int most = 0;
        ConversionSettings settings = test::DefaultSettings(&progress);
        settings.workers = workers;
        settings.pictureDrawn = [&] {
            std::lock_guard lock(mutex);
            most = std::max(most, ++progress.drawn - progress.taken);
        };
        EXPECT_EQ(ConvertDocument((dir / "t.htm").string(), settings).outcome, Outcome::converted);
        EXPECT_EQ(progress.drawn, 40);
        EXPECT_LE(most, 2 * workers) << workers;
        if (workers > 1) {
            EXPECT_GE(most, 2 * workers - 1) << workers;  // they did run ahead
        }
    }
}

}  // namespace
}  // namespace quarvel::engine
