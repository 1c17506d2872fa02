#pragma once
// Fakes shared by the engine tests: a progress interface that records what the
// engine reports, and a file system whose single operations can be made to fail.

#include <functional>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/progress.h"
#include "platform/fs.h"

namespace quarvel::test {

// Code page 932 bytes of a UTF-8 literal.
inline std::string Sjis(std::string_view utf8) { return NativeToCp932(utf8); }

class RecordingProgress : public JobProgress {
public:
    std::vector<std::string> texts;
    std::vector<std::string> messages;
    int endJobs = 0;
    int abortAtText = -1;  // raise bAbort when this many texts have arrived

    RecordingProgress() { bInitialized = true; }
    void SetProgressText(const std::string& text) override {
        texts.push_back(text);
        if (static_cast<int>(texts.size()) == abortAtText) bAbort = true;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void EndJob() override {
        ++endJobs;
        JobProgress::EndJob();
    }
};

// The real file system with a log of what changed and hooks to make calls fail.
class HookedFileSystem : public fs::FileSystem {
public:
    std::vector<std::string> log;  // "copy <to>", "write <path>", "mkdir <path>"
    std::function<bool(const std::string&)> failMkdir = [](const std::string&) { return false; };
    std::function<bool(const std::string&)> failWrite = [](const std::string&) { return false; };
    std::function<bool(const std::string&)> failPicture = [](const std::string&) { return false; };
    std::function<void(const std::string&)> onCopy = [](const std::string&) {};

    bool MakeDirectory(const std::string& path) override {
        if (failMkdir(path)) return false;
        return fs::FileSystem::MakeDirectory(path);
    }
    fs::CopyResult CopyNoOverwrite(const std::string& from, const std::string& to) override {
        log.push_back("copy " + to);
        onCopy(to);
        return fs::FileSystem::CopyNoOverwrite(from, to);
    }
    fs::WriteResult ReplaceAtomically(const std::string& path, std::string_view bytes) override {
        log.push_back("write " + path);
        if (failWrite(path)) return fs::WriteResult::failed;
        return fs::FileSystem::ReplaceAtomically(path, bytes);
    }
    std::FILE* OpenForWriting(const std::string& path) override {
        if (failPicture(path)) return nullptr;
        return fs::FileSystem::OpenForWriting(path);
    }
};

// Default separators as the window prepares them: "<dd>"; CR LF, "<dt>", "</dl>".
inline ConversionSettings DefaultSettings(JobProgress* progress) {
    ConversionSettings settings;
    settings.startSeparators = {"<dd>", "", ""};
    settings.endSeparators = {"\r\n", "<dt>", "</dl>"};
    settings.progress = progress;
    return settings;
}

}  // namespace quarvel::test
