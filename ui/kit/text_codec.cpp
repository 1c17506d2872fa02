#include "ui/kit/text_codec.h"

#include "engine/messages.h"
#include "platform/codec.h"
#include "render/references.h"

namespace quarvel::ui {

using engine::MessageText;
using render::Utf16ToCp932WithReferences;

namespace cp932 = platform::cp932;

QString FromCp932(std::string_view bytes) { return QString::fromStdU16String(cp932::ToUtf16(bytes)); }

std::string ToCp932(const QString& text) { return Utf16ToCp932WithReferences(text.toStdU16String()); }

QString WithReferences(const QString& text) { return FromCp932(ToCp932(text)); }

QString FailureMessage(const QString& shownName, const Failure& failure) {
    Failure unnamed = failure;
    unnamed.path.clear();
    return shownName + QLatin1Char('\n') + QString::fromStdString(MessageText(unnamed));
}

}  // namespace quarvel::ui
