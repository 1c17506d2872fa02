#pragma once
// What the engine tells the user: a failure as the program's message, the path
// concerned and what failed, in code page 932, shown through the progress interface.
// This and the command line's printer are the only places where a failure becomes
// words.

#include <exception>
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace quarvel::engine {

// The message of a failure: the path, a line break and what failed (for example
// "フォルダ作成に失敗"), then what it has to add (the other document, the text of
// something thrown) and the system's reason, each on a line of its own; without a
// path, only what failed and the rest (code page 932).
std::string MessageText(const Failure& failure);

// The failure of something thrown while working on `path`: memory that ran out, or
// something unexpected, with its text.
Failure FailureOfThrown(std::exception_ptr thrown, std::string path = {});

// A native path (UTF-8 bytes) as code page 932 text for progress texts and
// messages; what the code page cannot hold becomes '?'.
std::string NativeToCp932(std::string_view native);

// Native text with its control characters (C0, DEL, and C1 in UTF-8) written as
// `ls -b` writes them ("\033"), so that a name shown on a terminal never acts on it.
std::string EscapeControls(std::string_view native);

// A path as progress texts and messages show it: escaped, then in code page 932.
std::string ShownPath(std::string_view native);

// Reasons, in code page 932 (their words: messages.cpp).
const std::string& TextFolderCreateFailed();
const std::string& TextFileOpenFailed();
const std::string& TextFileWriteFailed();
const std::string& TextFolderNotFound();
const std::string& TextNoFolderGiven();
const std::string& TextNoFileGiven();
const std::string& TextFolderReadFailed();
const std::string& TextLinkRefused();
const std::string& TextChangedMeanwhile();
const std::string& TextOutOfMemory();
const std::string& TextUnexpectedError();
const std::string& TextWrongCode();
const std::string& TextCodeThatFits();
const std::string& TextNoBackup();
const std::string& TextNoImageFolderName();
const std::string& TextImageFolderShared();
const std::string& TextLinkedDocument();
const std::string& TextNoPictureNumberLeft();
const std::string& TextTooLarge();
const std::string& TextFontUnusable();
const std::string& TextBadSettingsName();
const std::string& TextCopyDamaged();
const std::string& TextEditedSinceConversion();
const std::string& TextNoRecord();
const std::string& TextNotTrusted();
const std::string& TextLocked();
const std::string& TextWaitingForLock();

}  // namespace quarvel::engine
