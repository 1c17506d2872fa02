#pragma once
// Fakes shared by the engine tests: a progress interface that records what the
// engine reports, and a file system whose single operations can be made to fail.

#include <functional>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/jobs.h"
#include "engine/messages.h"
#include "engine/progress.h"
#include "platform/fs.h"

namespace quarvel::test {

// The job ran to its end and nothing failed.
inline bool Succeeded(const engine::JobResult& result) { return !result.aborted && !result.AnyFailure(); }

// Code page 932 bytes of a UTF-8 literal.
inline std::string Sjis(std::string_view utf8) { return engine::NativeToCp932(utf8); }

class RecordingProgress : public engine::JobProgress {
public:
    std::vector<std::string> texts;
    std::vector<std::string> messages;
    int endJobs = 0;
    int abortAtText = -1;  // raise abortRequested when this many texts have arrived

    RecordingProgress() { initialized = true; }
    void SetProgressText(const std::string& text) override {
        texts.push_back(text);
        if (static_cast<int>(texts.size()) == abortAtText) abortRequested = true;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void EndJob() override {
        ++endJobs;
        engine::JobProgress::EndJob();
    }
};

// The real file system with a log of what changed and hooks to make calls fail:
// each fail hook gives the errno that the call on that path fails with, 0 for none.
class HookedFileSystem : public platform::fs::FileSystem {
public:
    // "mkdir <path>", "keep <path>" (a new file that never replaces one: backup
    // copies), "write <path>" (every other new file: pictures, documents and pages,
    // also those written in pieces), "flush
    // <folder>" (files written and flushed together, named by the first one's folder),
    // "place <path>" (a file written before takes its name).
    std::vector<std::string> log;
    std::function<int(const std::string&)> failMkdir = [](const std::string&) { return 0; };
    std::function<int(const std::string&)> failWrite = [](const std::string&) { return 0; };
    std::function<int(const std::string&)> failList = [](const std::string&) { return 0; };
    // Pictures put in place now and flushed later: their flush, by their folder.
    std::function<int(const std::string&)> failFlush = [](const std::string&) { return 0; };
    // Runs before each new file is written (and may throw, or change files meanwhile).
    std::function<void(const std::string&)> beforeWrite = [](const std::string&) {};
    // Runs before each Status call.
    std::function<void(const std::string&)> beforeStatus = [](const std::string&) {};
    // Runs while a file is read: after its bytes, before the look at it that ends the read.
    std::function<void(const std::string&)> whileReading = [](const std::string&) {};
    // Runs before each folder is held open.
    std::function<void(const std::string&)> beforeHold = [](const std::string&) {};
    // Runs after each folder is listed.
    std::function<void(const std::string&)> afterList = [](const std::string&) {};

    platform::fs::Kind Status(const std::string& path) override {
        beforeStatus(path);
        return platform::fs::FileSystem::Status(path);
    }
    Result<bool> MakeDirectory(const std::string& path, const platform::fs::FileInfo* madeFor) override {
        log.push_back("mkdir " + path);
        if (int error = failMkdir(path)) return Failure{Failure::What::folderNotMade, path, error};
        return platform::fs::FileSystem::MakeDirectory(path, madeFor);
    }
    bool Remove(const std::string& path, const platform::fs::FileId* onlyIf) override {
        log.push_back("remove " + path);
        return platform::fs::FileSystem::Remove(path, onlyIf);
    }
    Result<platform::fs::HeldFolder> Hold(const std::string& folder) override {
        beforeHold(folder);
        return platform::fs::FileSystem::Hold(folder);
    }
    Result<std::vector<platform::fs::Entry>> List(const std::string& folder, std::string_view pattern) override {
        if (int error = failList(folder)) return Failure{Failure::What::folderNotRead, folder, error};
        auto listed = platform::fs::FileSystem::List(folder, pattern);
        afterList(folder);
        return listed;
    }
    Result<void> WriteNewFile(const std::string& path, std::string_view bytes,
                              const platform::fs::WriteOptions& options) override {
        log.push_back((options.existing == platform::fs::Existing::keep ? "keep " : "write ") + path);
        beforeWrite(path);
        if (int error = failWrite(path)) return Failure{Failure::What::notWritten, path, error};
        return platform::fs::FileSystem::WriteNewFile(path, bytes, options);
    }
    Result<void> BeginNewFile(const std::string& path, const platform::fs::WriteOptions& options,
                              platform::fs::StagedFile& file) override {
        log.push_back((options.existing == platform::fs::Existing::keep ? "keep " : "write ") + path);
        beforeWrite(path);
        if (int error = failWrite(path)) return Failure{Failure::What::notWritten, path, error};
        return platform::fs::FileSystem::BeginNewFile(path, options, file);
    }
    Result<void> Place(platform::fs::StagedFile& staged, platform::fs::PendingFlush* names) override {
        log.push_back("place " + staged.path());
        return platform::fs::FileSystem::Place(staged, names);
    }
    Result<void> FlushPending(platform::fs::PendingFlush& pending) override {
        if (pending.size() == 0) return platform::fs::FileSystem::FlushPending(pending);
        log.push_back("flush " + pending.folder());
        if (int error = failFlush(pending.folder())) {
            const std::string folder = pending.folder();
            pending.Clear();
            return Failure{Failure::What::notWritten, folder, error};
        }
        return platform::fs::FileSystem::FlushPending(pending);
    }

    void WhileReading(const std::string& path) override { whileReading(path); }

    // The log without the pictures.
    std::vector<std::string> Changes() const {
        std::vector<std::string> changes;
        for (const std::string& entry : log)
            if (!entry.ends_with(".png")) changes.push_back(entry);
        return changes;
    }
};

// Default separators as the window prepares them: "<dd>"; CR LF, "<dt>", "</dl>".
inline engine::ConversionSettings DefaultSettings(engine::JobProgress* progress) {
    engine::ConversionSettings settings;
    settings.startSeparators = {"<dd>", "", ""};
    settings.endSeparators = {"\r\n", "<dt>", "</dl>"};
    settings.progress = progress;
    return settings;
}

}  // namespace quarvel::test
