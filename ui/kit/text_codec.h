#pragma once
// Crossing between window texts (QString) and the code page 932 bytes the core works
// in. Every such crossing goes through these calls, never through Qt's locale codecs.

#include <QString>

#include <string>
#include <string_view>

#include "platform/failure.h"

namespace quarvel::ui {

// Code page 932 bytes as a window text.
QString FromCp932(std::string_view bytes);

// A window text in code page 932; each character the code page cannot hold becomes
// its character reference, so nothing is lost.
std::string ToCp932(const QString& text);

// The same text with every character outside code page 932 written as its reference,
// as the text-art box holds it.
QString WithReferences(const QString& text);

// A failure as the window shows it: the name as the user chose it, then the engine's
// words for what failed and the system's reason, each on a line of its own.
QString FailureMessage(const QString& shownName, const Failure& failure);

}  // namespace quarvel::ui
