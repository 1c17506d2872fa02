#pragma once
// The character code of a document, told from its bytes: what `auto` reads a document
// in, and whether a code the user named fits the document at all.

#include <cstddef>
#include <string_view>

#include "engine/job_settings.h"
#include "platform/failure.h"

namespace quarvel::engine {

// How well each code reads a document's bytes. A score counts what speaks against
// the code: each sequence it cannot decode counts as kUndecodableWeight, and for
// Shift-JIS each half-width katakana counts one (an EUC-JP text read as Shift-JIS falls
// apart into them, while Shift-JIS art holds few). Lower is better.
struct CodeReading {
    bool byteOrderMark = false;       // a UTF-8 byte-order mark at the start
    bool utf8Valid = false;           // every byte part of well-formed UTF-8
    bool utf8MultiByte = false;       // and some of them in sequences of more than one byte
    std::size_t undecodable[3] = {};  // by code: Shift-JIS, EUC-JP, UTF-8
    std::size_t score[3] = {};
};

inline constexpr std::size_t kUndecodableWeight = 8;
// Undecodable sequences a document may hold in the code it is read in: a few broken
// characters are warned about, more mean a code that does not fit.
inline constexpr std::size_t kFewUndecodable = 3;

CodeReading ReadCodes(std::string_view bytes);

// The code a document is written in: a UTF-8 byte-order mark, else the character set
// it declares (a meta tag) where that decodes every byte, else what the bytes tell:
// valid UTF-8 that holds multi-byte sequences, else Shift-JIS or EUC-JP by their
// scores. A declaration that does not decode the bytes (a page often keeps one that no
// longer matches them) still decides between codes that read them about equally well;
// without one Shift-JIS wins such a tie. Never `automatic` or `none`.
DocumentCode DetectDocumentCode(std::string_view bytes);

// The code to read a document in: the one its bytes tell for `automatic`; the chosen
// one when it fits the bytes. A chosen code does not fit when the bytes are valid
// UTF-8 with multi-byte sequences and it is not UTF-8, or when another code reads them
// clearly better and it leaves more than kFewUndecodable sequences undecodable (or,
// for Shift-JIS, turns them into half-width katakana soup): then a wrongCode failure
// for `path` whose detail names the code that fits.
Result<DocumentCode> CodeForDocument(std::string_view bytes, DocumentCode chosen, const std::string& path);

// The code as documents and messages name it: "Shift_JIS", "EUC-JP", "UTF-8" (and
// "auto" for the code each document's bytes tell).
std::string_view CodeName(DocumentCode code);

// The code a job's setting reads documents in: every number that names no code reads
// as Shift-JIS, as it always did.
DocumentCode EffectiveCode(DocumentCode code);

}  // namespace quarvel::engine
