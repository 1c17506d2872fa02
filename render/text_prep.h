#pragma once
// Turning plain text art (as typed into the window or kept in a text file) into
// renderer input.

#include <optional>
#include <string>
#include <string_view>

namespace quarvel::render {

// Plain code page 932 text art made renderer input, the one rule for the window's
// box and for text files: every '<' becomes "&lt;" and every line break (CR LF, LF
// or CR) becomes "<br>".
std::string PreparePlainText(std::string_view cp932);

// A document's stretch (code page 932 or UTF-8) whose lines end in line ends, as art
// kept in <pre> has them, made renderer input: each CR LF, LF or lone CR becomes
// "<br>", but for one line end right at its start and one right at its end, which
// stand beside the separators and begin or end no line of the art.
std::string LineEndsAsBreaks(std::string_view stretch);

// What a file that is not text at all is, from its first bytes: the name of a known
// picture, archive or program format ("PNG picture", "ZIP archive", ...), or "binary
// data" for NUL bytes in its first block (no text art holds them; UTF-16 text does);
// nothing for text.
std::optional<std::string_view> BinaryFormat(std::string_view bytes);
// The same by the signatures alone: a document may hold a NUL byte and still be one.
std::optional<std::string_view> SignedBinaryFormat(std::string_view bytes);
// Why bytes that BinaryFormat names are not drawn ("not text but PNG picture; nothing
// drawn"), in the language chosen; nothing for text.
std::optional<std::string> NotTextReason(std::string_view bytes);

// How the bytes of a text file are to be read.
enum class TextEncoding { automatic, utf8, cp932 };  // automatic: UTF-8 when they are
enum class TextForm { plain, html };                 // html: a document's marked stretch, as it stands

// The renderer's input for the bytes of a text file (taken over, so that the largest
// files are not held twice): a UTF-8 byte-order mark is skipped and characters outside
// code page 932 become references; plain text is prepared as the window's box is.
// NUL bytes are not characters of the art in either encoding: they are left out and
// neither end the text nor move what follows.
std::string PrepareTextFile(std::string bytes, TextEncoding encoding, TextForm form);

}  // namespace quarvel::render
