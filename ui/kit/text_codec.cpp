#include "ui/kit/text_codec.h"

#include "platform/codec.h"
#include "render/references.h"

namespace quarvel::ui {

QString FromCp932(std::string_view bytes) {
    return QString::fromStdU16String(cp932::ToUtf16(bytes));
}

std::string ToCp932(const QString& text) {
    const std::u16string utf16 = text.toStdU16String();
    return GetUnicoder().MergeWideText(cp932::FromUtf16Lossy(utf16), utf16);
}

QString WithReferences(const QString& text) { return FromCp932(ToCp932(text)); }

}  // namespace quarvel::ui
