#pragma once
// What the engine tells the user: a problem is a path and a reason in code page 932,
// shown as one message through the progress interface.

#include <exception>
#include <string>
#include <string_view>

namespace quarvel {

// Something that failed: the path concerned and what failed, the second line of
// the program's message in code page 932 (for example "フォルダ作成に失敗"), with the
// system's reason on a line of its own where there is one.
struct Problem {
    std::string path;    // native
    std::string reason;  // code page 932
};

// A reason followed by the system's text for an errno value (none for 0).
std::string WithSystemReason(const std::string& reason, int error);

// What to tell the user about something thrown while working (code page 932): that
// memory ran out, or that something unexpected happened, with its text.
std::string ReasonOfThrown(std::exception_ptr thrown);

// The message shown for a problem: the path, a line break, the reason (code page 932).
std::string MessageText(const Problem& problem);

// A native path (UTF-8 bytes) as code page 932 text for progress texts and
// messages; what the code page cannot hold becomes '?'.
std::string NativeToCp932(std::string_view native);

// Reasons, in code page 932.
const std::string& TextFolderCreateFailed();   // フォルダ作成に失敗
const std::string& TextFileOpenFailed();       // ファイルのオープンに失敗
const std::string& TextFileWriteFailed();      // ファイルの書き込みに失敗
const std::string& TextFolderNotFound();       // フォルダが見つかりません
const std::string& TextNoFolderGiven();        // フォルダを指定してください
const std::string& TextNoFileGiven();          // ファイルを指定してください
const std::string& TextFolderReadFailed();     // フォルダの読み込みに失敗
const std::string& TextLinkRefused();          // シンボリックリンクには書き込みません
const std::string& TextChangedMeanwhile();     // 変換中に他で変更されたため書き込みません
const std::string& TextOutOfMemory();          // メモリが足りません
const std::string& TextUnexpectedError();      // 予期しないエラー
const std::string& TextNoImageFolderName();    // 文書名から画像フォルダの名前が作れません
const std::string& TextImageFolderShared();    // 画像フォルダが次の文書と同じため変換しません
const std::string& TextLinkedDocument();       // シンボリックリンクの文書は変換しません
const std::string& TextNoPictureNumberLeft();  // 画像の番号がこれ以上増やせません

}  // namespace quarvel
