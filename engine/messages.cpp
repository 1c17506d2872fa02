#include "engine/messages.h"

#include <exception>
#include <new>

#include "engine/progress.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/fs_walk.h"
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
    case What::tooDeep: return TextTooDeep();
    case What::fontUnusable: return TextFontUnusable();
    case What::badSettingsName: return TextBadSettingsName();
    case What::outOfMemory: return TextOutOfMemory();
    case What::unexpected: return TextUnexpectedError();
    }
    return TextUnexpectedError();
}

}  // namespace

void JobProgress::ShowWaiting(const std::string& text) { SetProgressText(OneLine(text)); }

void JobProgress::ShowFailure(const Failure& failure) { ShowMessage(MessageText(failure)); }

std::string MessageText(const Failure& failure) {
    std::string text = failure.path.empty() ? std::string() : ShownPath(failure.path) + "\n";
    text += Reason(failure);
    if (failure.Is(Failure::What::wrongCode))
        text += "\n" + TextCodeThatFits() + failure.detail;
    else if (!failure.detail.empty())
        text += "\n" + EscapeControls(failure.detail);
    if (failure.error != 0) text += "\n" + fs::SystemReason(failure.error);
    return text;
}

std::string OneLine(std::string_view message) {
    std::string line;
    line.reserve(message.size());
    for (char c : message) c == '\n' ? line += ": " : line += c;
    return line;
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

std::string ShownPath(std::string_view native) { return EscapeControls(native); }

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

std::string TextFolderCreateFailed() { return _("could not make the folder"); }

std::string TextFileOpenFailed() { return _("could not open the file"); }

std::string TextFileWriteFailed() { return _("could not write the file"); }

std::string TextFolderNotFound() { return _("folder not found"); }

std::string TextNoFolderGiven() { return _("name a folder"); }

std::string TextNoFileGiven() { return _("name a file"); }

std::string TextFolderReadFailed() { return _("could not read the folder"); }

std::string TextLinkRefused() { return _("a symbolic link is not written to"); }

std::string TextChangedMeanwhile() { return _("changed by another program during the conversion, so not written"); }

std::string TextOutOfMemory() { return _("out of memory"); }

std::string TextUnexpectedError() { return _("unexpected error"); }

std::string TextNoImageFolderName() { return _("the document's name gives no name for its image folder"); }

std::string TextImageFolderShared() { return _("not converted: its image folder is that of this document"); }

std::string TextLinkedDocument() { return _("a document that is a symbolic link is not converted"); }

std::string TextNoPictureNumberLeft() { return _("no picture number is left"); }

std::string TextWrongCode() { return _("not converted: the document is not in the character code named"); }

std::string TextNoBackup() { return _("no backup"); }

std::string TextCodeThatFits() { return _("the document's character code: "); }

std::string TextTooLarge() { return _("file too large"); }

std::string TextTooDeep() {
    return platform::Fill(_("the folders go too deep to enter (at most {1} levels)"), {std::to_string(fs::kMaxWalkDepth)});
}

std::string TextFontUnusable() { return _("the font file cannot be used"); }

std::string TextBadSettingsName() { return _("a name that a settings file cannot hold"); }

std::string TextCopyDamaged() { return _("the copy is not the text its conversion started from; nothing is put back"); }

std::string TextEditedSinceConversion() { return _("edited since its conversion; nothing is put back"); }

std::string TextNoRecord() { return _("no record of the conversion; pictures newer than the converted text are kept"); }

std::string TextNotTrusted() {
    return _("not written by this program (another user's, or writable by others); left as it is, unused");
}

std::string TextLocked() { return _("locked by another process; left as it is"); }

std::string TextWaitingForLock() { return _("waiting for another process to release its lock"); }

}  // namespace quarvel::engine
