#pragma once
// Turning plain text art (as typed into the window or kept in a text file) into
// renderer input.

#include <string>
#include <string_view>

namespace quarvel {

// Code page 932 text of a plain-text box made renderer input: every '<' becomes
// "&lt;" and every line break (CR LF, LF or CR) becomes "<br>".
std::string PreparePlainText(std::string_view cp932);

// UTF-8 text to code page 932, with every character the code page cannot hold
// written as its character reference (the way pasted text is merged).
std::string Utf8ToCp932WithReferences(std::string_view utf8);

}  // namespace quarvel
