#pragma once
// One document converted in place: every stretch between a start separator and an
// end separator becomes a numbered PNG file in the document's image folder, and an
// image tag pointing at it takes the stretch's place.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/progress.h"
#include "platform/fs.h"
#include "platform/picture.h"

namespace quarvel {

inline constexpr int kCodeEucJp = 1;  // iCode of EUC-JP documents; any other value is Shift-JIS

// Whether a document's untouched copy goes to the folder "backup" beside it before it
// is first changed.
enum class Backup { no, yes };

inline constexpr std::string_view kBackupFolderName = "backup";

// A job's settings. The starter fills it before the worker starts; the engine only reads it.
struct ConversionSettings {
    std::vector<std::string> startSeparators;  // code page 932, line breaks already CR LF
    std::vector<std::string> endSeparators;    // empty entries are skipped
    int iCode = 0;
    JobProgress* progress = nullptr;  // never null while a job runs
    COLORREF colFore = 0x000000;
    COLORREF colBack = 0xFFFFFF;
    int iMargin = 0;
    bool bSpace = true;
    fs::FileSystem* fileSystem = nullptr;  // null: the real file system
};

// Something that failed: the path concerned and what failed, the second line of
// the program's message in code page 932 (for example "フォルダ作成に失敗"), with the
// system's reason on a line of its own where there is one.
struct Problem {
    std::string path;    // native
    std::string reason;  // code page 932
};

// A reason followed by the system's text for an errno value (none for 0).
std::string WithSystemReason(const std::string& reason, int error);

// A separator as typed in the window or on the command line made ready for the
// scan: every backslash-n becomes CR LF. The backslash must be a character of its
// own, not the second byte of a double-byte one.
std::string SeparatorWithLineBreaks(std::string_view typed);

// The message shown for a problem: the path, a line break, the reason (code page 932).
std::string MessageText(const Problem& problem);

// Reasons, in code page 932.
const std::string& TextFolderCreateFailed();  // フォルダ作成に失敗
const std::string& TextFileOpenFailed();      // ファイルのオープンに失敗
const std::string& TextFileWriteFailed();     // ファイルの書き込みに失敗
const std::string& TextFolderNotFound();      // フォルダが見つかりません
const std::string& TextNoFolderGiven();       // フォルダを指定してください
const std::string& TextNoFileGiven();         // ファイルを指定してください
const std::string& TextFolderReadFailed();    // フォルダの読み込みに失敗
const std::string& TextLinkRefused();         // シンボリックリンクには書き込みません
const std::string& TextChangedMeanwhile();    // 変換中に他で変更されたため書き込みません
const std::string& TextOutOfMemory();         // メモリが足りません
const std::string& TextUnexpectedError();     // 予期しないエラー

// A native path (UTF-8 bytes) as code page 932 text for progress texts and
// messages; what the code page cannot hold becomes '?'.
std::string NativeToCp932(std::string_view native);

// skipped: not a document (a PNG picture), left alone without a message.
enum class Outcome { converted, failed, aborted, skipped };

struct DocumentResult {
    std::string path;
    Outcome outcome = Outcome::failed;
    std::optional<Problem> failure;  // the message shown when the document failed
    int iPictures = 0;               // pictures drawn
    int iKept = 0;                   // stretches that already were this program's tags
};

// Converts the document at `path` in place. Nothing is made unless the document
// changes: it is read and scanned, and only at its first change are the stale
// temporary files of earlier killed runs removed, the untouched copy written to
// backup/ (with Backup::yes; an existing copy stays), the image folder made and the
// pictures written. Any failure among these leaves the document as it is, as does a
// change made to it by another program meanwhile; each shows its message through the
// progress interface. On abort stops at once and leaves the document as it was.
DocumentResult ConvertDocument(const std::string& path, const ConversionSettings& settings,
                               Backup backup = Backup::no);

// The base name as it stands in an image tag, in code page 932: characters that
// the document's code cannot hold and bytes that are not safe in a URL path are
// percent-encoded from their UTF-8 bytes. For EUC-JP documents only ASCII, JIS
// X 0208 and half-width katakana are held.
std::string TagBaseName(std::string_view nativeBaseName, int iCode);

}  // namespace quarvel
