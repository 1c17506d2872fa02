#pragma once
// What the engine tells the user: a failure as the program's message, the path
// concerned and what failed, in UTF-8, shown through the progress interface. This and
// the command line's printer are the only places where a failure becomes words.

#include <exception>
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace quarvel::engine {

// The message of a failure (UTF-8): the path as ShownPath shows it, a line break and
// what failed (for example "could not make the folder"), then what it has to add (the
// other document, the text of something thrown) and the system's reason, each on a
// line of its own; without a path, only what failed and the rest.
std::string MessageText(const Failure& failure);

// A message on one line, its lines joined by ": ", as a terminal or a log shows it.
std::string OneLine(std::string_view message);

// The failure of something thrown while working on `path`: memory that ran out, or
// something unexpected, with its text.
Failure FailureOfThrown(std::exception_ptr thrown, std::string path = {});

// Native text with its control characters (C0, DEL, and C1 in UTF-8) written as
// `ls -b` writes them ("\033"), so that a name shown on a terminal never acts on it.
std::string EscapeControls(std::string_view native);

// A path as progress texts and messages show it: the system's bytes, escaped.
std::string ShownPath(std::string_view native);

// A native path (UTF-8 bytes) as code page 932 text; what the code page cannot hold
// becomes '?'.
std::string NativeToCp932(std::string_view native);

// Reasons, in the language chosen (their words: messages.cpp).
std::string TextFolderCreateFailed();
std::string TextFileOpenFailed();
std::string TextFileWriteFailed();
std::string TextFolderNotFound();
std::string TextNoFolderGiven();
std::string TextNoFileGiven();
std::string TextFolderReadFailed();
std::string TextLinkRefused();
std::string TextChangedMeanwhile();
std::string TextOutOfMemory();
std::string TextUnexpectedError();
std::string TextWrongCode();
std::string TextCodeThatFits();
std::string TextNoBackup();
std::string TextNoImageFolderName();
std::string TextImageFolderShared();
std::string TextLinkedDocument();
std::string TextNoPictureNumberLeft();
std::string TextTooLarge();
std::string TextTooDeep();
std::string TextFontUnusable();
std::string TextBadSettingsName();
std::string TextCopyDamaged();
std::string TextEditedSinceConversion();
std::string TextNoRecord();
std::string TextNotTrusted();
std::string TextLocked();
std::string TextWaitingForLock();

}  // namespace quarvel::engine
