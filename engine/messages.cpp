#include "engine/messages.h"

#include <exception>
#include <new>

#include "engine/progress.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/language.h"

namespace quarvel::engine {

namespace cp932 = platform::cp932;
namespace fs = platform::fs;

namespace {

// What failed, in the words of the program's messages.
std::string Reason(const Failure& failure) {
    using What = Failure::What;
    switch (failure.what) {
    case What::notOpened: return TextFileOpenFailed();
    case What::notWritten:
    case What::readOnly:
    case What::exists: return TextFileWriteFailed();
    case What::changedMeanwhile: return TextChangedMeanwhile();
    case What::folderNotMade: return TextFolderCreateFailed();
    case What::folderNotRead: return TextFolderReadFailed();
    case What::folderNotFound: return TextFolderNotFound();
    case What::noFileGiven: return TextNoFileGiven();
    case What::noFolderGiven: return TextNoFolderGiven();
    case What::linkRefused: return TextLinkRefused();
    case What::linkedDocument: return TextLinkedDocument();
    case What::noImageFolderName: return TextFolderCreateFailed() + "\n" + TextNoImageFolderName();
    case What::imageFolderShared: return TextImageFolderShared();
    case What::noPictureNumber: return TextNoPictureNumberLeft();
    case What::wrongCode: return TextWrongCode();
    case What::noBackup: return TextNoBackup();
    case What::copyDamaged: return TextCopyDamaged();
    case What::documentEdited: return TextEditedSinceConversion();
    case What::noRecord: return TextNoRecord();
    case What::notTrusted: return TextNotTrusted();
    case What::locked: return TextLocked();
    case What::tooLarge: return TextTooLarge();
    case What::fontUnusable: return TextFontUnusable();
    case What::badSettingsName: return TextBadSettingsName();
    case What::outOfMemory: return TextOutOfMemory();
    case What::unexpected: return TextUnexpectedError();
    }
    return TextUnexpectedError();
}

}  // namespace

void JobProgress::ShowFailure(const Failure& failure) { ShowMessage(MessageText(failure)); }

std::string MessageText(const Failure& failure) {
    std::string text = failure.path.empty() ? std::string() : ShownPath(failure.path) + "\n";
    text += Reason(failure);
    if (failure.Is(Failure::What::wrongCode))
        text += "\n" + TextCodeThatFits() + failure.detail;
    else if (!failure.detail.empty())
        text += "\n" + NativeToCp932(failure.detail);
    if (failure.error != 0) text += "\n" + NativeToCp932(fs::SystemReason(failure.error));
    return text;
}

std::string NativeToCp932(std::string_view native) {
    if (cp932::IsValidUtf8(native)) return cp932::FromUtf16Lossy(cp932::Utf8ToUtf16(native));
    std::string out;
    for (char c : native) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
}

std::string EscapeControls(std::string_view native) {
    std::string shown;
    shown.reserve(native.size());
    auto escape = [&](unsigned char byte) {
        const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                              static_cast<char>('0' + (byte & 7))};
        shown.append(octal, sizeof octal);
    };
    for (std::size_t at = 0; at < native.size(); ++at) {
        const auto byte = static_cast<unsigned char>(native[at]);
        const bool c1 = byte == 0xC2 && at + 1 < native.size() && static_cast<unsigned char>(native[at + 1]) >= 0x80 &&
                        static_cast<unsigned char>(native[at + 1]) <= 0x9F;
        if (c1) {
            escape(byte);
            escape(static_cast<unsigned char>(native[++at]));
        } else if (byte < 0x20 || byte == 0x7F) {
            escape(byte);
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

std::string ShownPath(std::string_view native) { return NativeToCp932(EscapeControls(native)); }

Failure FailureOfThrown(std::exception_ptr thrown, std::string path) {
    try {
        std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        return {Failure::What::outOfMemory, std::move(path)};
    } catch (const std::exception& e) {
        return {Failure::What::unexpected, std::move(path), 0, e.what()};
    } catch (...) {
        return {Failure::What::unexpected, std::move(path)};
    }
}

const std::string& TextFolderCreateFailed() {
    static const std::string text = NativeToCp932(_("could not make the folder"));
    return text;
}

const std::string& TextFileOpenFailed() {
    static const std::string text = NativeToCp932(_("could not open the file"));
    return text;
}

const std::string& TextFileWriteFailed() {
    static const std::string text = NativeToCp932(_("could not write the file"));
    return text;
}

const std::string& TextFolderNotFound() {
    static const std::string text = NativeToCp932(_("folder not found"));
    return text;
}

const std::string& TextNoFolderGiven() {
    static const std::string text = NativeToCp932(_("name a folder"));
    return text;
}

const std::string& TextNoFileGiven() {
    static const std::string text = NativeToCp932(_("name a file"));
    return text;
}

const std::string& TextFolderReadFailed() {
    static const std::string text = NativeToCp932(_("could not read the folder"));
    return text;
}

const std::string& TextLinkRefused() {
    static const std::string text = NativeToCp932(_("a symbolic link is not written to"));
    return text;
}

const std::string& TextChangedMeanwhile() {
    static const std::string text =
        NativeToCp932(_("changed by another program during the conversion, so not written"));
    return text;
}

const std::string& TextOutOfMemory() {
    static const std::string text = NativeToCp932(_("out of memory"));
    return text;
}

const std::string& TextUnexpectedError() {
    static const std::string text = NativeToCp932(_("unexpected error"));
    return text;
}

const std::string& TextNoImageFolderName() {
    static const std::string text = NativeToCp932(_("the document's name gives no name for its image folder"));
    return text;
}

const std::string& TextImageFolderShared() {
    static const std::string text = NativeToCp932(_("not converted: its image folder is that of this document"));
    return text;
}

const std::string& TextLinkedDocument() {
    static const std::string text = NativeToCp932(_("a document that is a symbolic link is not converted"));
    return text;
}

const std::string& TextNoPictureNumberLeft() {
    static const std::string text = NativeToCp932(_("no picture number is left"));
    return text;
}

const std::string& TextWrongCode() {
    static const std::string text = NativeToCp932(_("not converted: the document is not in the character code named"));
    return text;
}

const std::string& TextNoBackup() {
    static const std::string text = NativeToCp932(_("no backup"));
    return text;
}

const std::string& TextCodeThatFits() {
    static const std::string text = NativeToCp932(_("the document's character code: "));
    return text;
}

const std::string& TextTooLarge() {
    static const std::string text = NativeToCp932(_("file too large"));
    return text;
}

const std::string& TextFontUnusable() {
    static const std::string text = NativeToCp932(_("the font file cannot be used"));
    return text;
}

const std::string& TextBadSettingsName() {
    static const std::string text = NativeToCp932(_("a name that a settings file cannot hold"));
    return text;
}

const std::string& TextCopyDamaged() {
    static const std::string text =
        NativeToCp932(_("the copy is not the text its conversion started from; nothing is put back"));
    return text;
}

const std::string& TextEditedSinceConversion() {
    static const std::string text = NativeToCp932(_("edited since its conversion; nothing is put back"));
    return text;
}

const std::string& TextNoRecord() {
    static const std::string text =
        NativeToCp932(_("no record of the conversion; pictures newer than the converted text are kept"));
    return text;
}

const std::string& TextNotTrusted() {
    static const std::string text =
        NativeToCp932(_("not written by this program (another user's, or writable by others); left as it is, unused"));
    return text;
}

const std::string& TextLocked() {
    static const std::string text = NativeToCp932(_("locked by another process; left as it is"));
    return text;
}

const std::string& TextWaitingForLock() {
    static const std::string text = NativeToCp932(_("waiting for another process to release its lock"));
    return text;
}

}  // namespace quarvel::engine
