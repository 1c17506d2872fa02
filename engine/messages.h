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
const std::string& TextWrongCode();            // 文書の文字コードが指定と違うため変換しません
const std::string& TextCodeThatFits();         // この文書の文字コード:
const std::string& TextNoBackup();             // バックアップがありません
const std::string& TextNoImageFolderName();    // 文書名から画像フォルダの名前が作れません
const std::string& TextImageFolderShared();    // 画像フォルダが次の文書と同じため変換しません
const std::string& TextLinkedDocument();       // シンボリックリンクの文書は変換しません
const std::string& TextNoPictureNumberLeft();  // 画像の番号がこれ以上増やせません
const std::string& TextTooLarge();             // ファイルが大きすぎます
const std::string& TextTooDeep();              // フォルダの階層が深すぎるため中には入りません（4096 階層まで）
const std::string& TextFontUnusable();         // フォントファイルが使えません
const std::string& TextBadSettingsName();      // 設定ファイルに書けない名前です
const std::string& TextCopyDamaged();          // 変換前の内容と違うバックアップのため戻しません
const std::string& TextEditedSinceConversion();  // 変換後に編集されているため戻しません
const std::string& TextNoRecord();  // 変換の記録がありません（変換後の内容より新しい画像は残します）
const std::string& TextNotTrusted();  // このプログラムが書いたものではないため使わずに残します
const std::string& TextLocked();      // 他のプロセスがロックしているため処理しません
const std::string& TextWaitingForLock();  // 他のプロセスがロックを解くのを待っています

}  // namespace quarvel::engine
