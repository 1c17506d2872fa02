#include "engine/messages.h"

#include <exception>
#include <new>

#include "platform/codec.h"
#include "platform/fs.h"

namespace quarvel {

std::string WithSystemReason(const std::string& reason, int error) {
    return error == 0 ? reason : reason + "\n" + NativeToCp932(fs::SystemReason(error));
}

std::string NativeToCp932(std::string_view native) {
    if (cp932::IsValidUtf8(native)) return cp932::FromUtf16Lossy(cp932::Utf8ToUtf16(native));
    std::string out;
    for (char c : native) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
}

std::string ReasonOfThrown(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        return TextOutOfMemory();
    } catch (const std::exception& e) {
        return TextUnexpectedError() + "\n" + NativeToCp932(e.what());
    } catch (...) {
        return TextUnexpectedError();
    }
}

std::string MessageText(const Problem& problem) { return NativeToCp932(problem.path) + "\n" + problem.reason; }

const std::string& TextFolderCreateFailed() {
    static const std::string text = NativeToCp932("フォルダ作成に失敗");
    return text;
}

const std::string& TextFileOpenFailed() {
    static const std::string text = NativeToCp932("ファイルのオープンに失敗");
    return text;
}

const std::string& TextFileWriteFailed() {
    static const std::string text = NativeToCp932("ファイルの書き込みに失敗");
    return text;
}

const std::string& TextFolderNotFound() {
    static const std::string text = NativeToCp932("フォルダが見つかりません");
    return text;
}

const std::string& TextNoFolderGiven() {
    static const std::string text = NativeToCp932("フォルダを指定してください");
    return text;
}

const std::string& TextNoFileGiven() {
    static const std::string text = NativeToCp932("ファイルを指定してください");
    return text;
}

const std::string& TextFolderReadFailed() {
    static const std::string text = NativeToCp932("フォルダの読み込みに失敗");
    return text;
}

const std::string& TextLinkRefused() {
    static const std::string text = NativeToCp932("シンボリックリンクには書き込みません");
    return text;
}

const std::string& TextChangedMeanwhile() {
    static const std::string text = NativeToCp932("変換中に他で変更されたため書き込みません");
    return text;
}

const std::string& TextOutOfMemory() {
    static const std::string text = NativeToCp932("メモリが足りません");
    return text;
}

const std::string& TextUnexpectedError() {
    static const std::string text = NativeToCp932("予期しないエラー");
    return text;
}

const std::string& TextNoImageFolderName() {
    static const std::string text = NativeToCp932("文書名から画像フォルダの名前が作れません");
    return text;
}

const std::string& TextImageFolderShared() {
    static const std::string text = NativeToCp932("画像フォルダが次の文書と同じため変換しません");
    return text;
}

const std::string& TextLinkedDocument() {
    static const std::string text = NativeToCp932("シンボリックリンクの文書は変換しません");
    return text;
}

const std::string& TextNoPictureNumberLeft() {
    static const std::string text = NativeToCp932("画像の番号がこれ以上増やせません");
    return text;
}

}  // namespace quarvel
