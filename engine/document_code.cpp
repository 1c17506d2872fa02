#include "engine/document_code.h"

#include <algorithm>
#include <cerrno>

#include "engine/code_convert.h"
#include "engine/declared_charset.h"
#include "platform/codec.h"

namespace quarvel::engine {

namespace cp932 = platform::cp932;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr DocumentCode kCodes[] = {DocumentCode::shiftJis, DocumentCode::eucJp, DocumentCode::utf8};

std::size_t IndexOf(DocumentCode code) { return code == DocumentCode::eucJp ? 1 : code == DocumentCode::utf8 ? 2 : 0; }

void ReadShiftJis(std::string_view bytes, CodeReading& reading) {
    std::size_t undecodable = 0, halfWidthKana = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            ++at;
            continue;
        }
        const cp932::Decoded decoded = cp932::DecodeOne(bytes.substr(at));
        if (!decoded.valid) ++undecodable;
        if (decoded.valid && decoded.length == 1 && IsHalfWidthKana(byte)) ++halfWidthKana;
        at += decoded.length;
    }
    reading.undecodable[0] = undecodable;
    reading.score[0] = undecodable * kUndecodableWeight + halfWidthKana;
}

void ReadEucJp(std::string_view bytes, CodeReading& reading) {
    std::size_t undecodable = 0;
    auto in = [&](std::size_t at, unsigned char low, unsigned char high) {
        return at < bytes.size() && static_cast<unsigned char>(bytes[at]) >= low &&
               static_cast<unsigned char>(bytes[at]) <= high;
    };
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            ++at;
        } else if (IsEucKanaPrefix(byte) && in(at + 1, 0xA1, 0xDF)) {
            at += 2;
        } else if (byte == 0x8F && in(at + 1, 0xA1, 0xFE) && in(at + 2, 0xA1, 0xFE)) {
            at += 3;  // JIS X 0212: EUC-JP, though code page 932 holds none of it
        } else if (byte >= 0xA1 && byte <= 0xFE && in(at + 1, 0xA1, 0xFE)) {
            const auto jis =
                static_cast<std::uint16_t>(((byte - 0x80) << 8) | (static_cast<unsigned char>(bytes[at + 1]) - 0x80));
            if (JisToShiftJis(jis) == 0) ++undecodable;
            at += 2;
        } else {
            ++undecodable;
            ++at;
        }
    }
    reading.undecodable[1] = undecodable;
    reading.score[1] = undecodable * kUndecodableWeight;
}

void ReadUtf8(std::string_view bytes, CodeReading& reading) {
    std::size_t undecodable = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = cp932::DecodeUtf8(bytes, at, code);
        if (length == 0) {
            ++undecodable;
            ++at;
        } else {
            reading.utf8MultiByte = true;
            at += length;
        }
    }
    reading.utf8Valid = undecodable == 0;
    reading.undecodable[2] = undecodable;
    reading.score[2] = undecodable * kUndecodableWeight;
}

DocumentCode DeclaredCode(std::string_view bytes) {
    const std::string declared = DeclaredCharset(bytes);
    for (DocumentCode code : kCodes)
        if (!declared.empty() && CharsetNamesCode(declared, code)) return code;
    return DocumentCode::none;
}

DocumentCode Detect(const CodeReading& reading, std::string_view bytes) {
    if (reading.byteOrderMark) return DocumentCode::utf8;
    // A declared code that decodes every byte is the document's: Shift-JIS half-width
    // katakana, for one, can be valid UTF-8 as well.
    const DocumentCode declared = DeclaredCode(bytes);
    if (declared != DocumentCode::none && reading.undecodable[IndexOf(declared)] == 0) return declared;
    if (reading.utf8Valid && reading.utf8MultiByte) return DocumentCode::utf8;
    // UTF-8 is a candidate only where some of its sequences are there at all.
    const std::size_t candidates = reading.utf8MultiByte ? 3 : 2;
    std::size_t best = 0;
    for (std::size_t i = 1; i < candidates; ++i)
        if (reading.score[i] < reading.score[best]) best = i;
    // The declared code where it reads the bytes about as well as the best (within a
    // few undecodable sequences); else Shift-JIS where it is as good as the best but for
    // a few half-width katakana (short art that EUC-JP happens to read as well).
    auto within = [&](DocumentCode code, std::size_t margin) {
        const std::size_t i = IndexOf(code);
        return i < candidates && reading.score[i] <= reading.score[best] + margin;
    };
    if (declared != DocumentCode::none && within(declared, kFewUndecodable * kUndecodableWeight)) return declared;
    if (within(DocumentCode::shiftJis, kFewUndecodable)) return DocumentCode::shiftJis;
    return kCodes[best];
}

}  // namespace

CodeReading ReadCodes(std::string_view bytes) {
    CodeReading reading;
    reading.byteOrderMark = bytes.starts_with(kByteOrderMark);
    ReadShiftJis(bytes, reading);
    ReadEucJp(bytes, reading);
    ReadUtf8(bytes, reading);
    return reading;
}

DocumentCode DetectDocumentCode(std::string_view bytes) { return Detect(ReadCodes(bytes), bytes); }

Result<DocumentCode> CodeForDocument(std::string_view bytes, DocumentCode chosen, const std::string& path) {
    const CodeReading reading = ReadCodes(bytes);
    const DocumentCode detected = Detect(reading, bytes);
    if (chosen == DocumentCode::automatic) return detected;
    const DocumentCode named = EffectiveCode(chosen);
    if (named == detected) return named;
    const std::size_t n = IndexOf(named), d = IndexOf(detected);
    const bool fits = !(detected == DocumentCode::utf8 && reading.utf8MultiByte && reading.utf8Valid) &&
                      !(reading.undecodable[n] > kFewUndecodable && reading.score[d] < reading.score[n]) &&
                      reading.score[n] < 2 * reading.score[d] + kFewUndecodable * kUndecodableWeight;
    if (fits) return named;
    return Failure{Failure::What::wrongCode, path, 0, std::string(CodeName(detected))};
}

std::string_view CodeName(DocumentCode code) {
    switch (EffectiveCode(code)) {
    case DocumentCode::eucJp: return "EUC-JP";
    case DocumentCode::utf8: return "UTF-8";
    case DocumentCode::automatic: return "auto";
    default: return "Shift_JIS";
    }
}

DocumentCode EffectiveCode(DocumentCode code) {
    switch (code) {
    case DocumentCode::eucJp:
    case DocumentCode::utf8:
    case DocumentCode::automatic: return code;
    default: return DocumentCode::shiftJis;
    }
}

}  // namespace quarvel::engine
