#include "engine/document_scan.h"

#include <algorithm>
#include <cstring>

#include "platform/codec.h"

namespace quarvel::engine {

using platform::IsLeadByte;

namespace {

// How far the scan looks ahead between two looks at the abort flag.
constexpr std::size_t kScanChunk = 1 << 16;

// The first character start in [pos, limit) whose byte may begin a separator, or a
// character start at or before `limit` where the search stopped. `pos` is a
// character start. A position is a character start exactly when the run of lead
// bytes just before it, counted back to a known start, is even: each lead byte takes
// the byte after it, whatever that byte is.
std::size_t SkipToCandidate(std::string_view text, std::size_t pos, std::size_t limit,
                            const DocumentScan::FirstBytes& first, DocumentScan::Characters characters) {
    std::size_t known = pos;  // a character start
    auto isStart = [&](std::size_t i) {
        if (characters == DocumentScan::Characters::utf8) return true;
        std::size_t run = 0;
        while (i - run > known && IsLeadByte(static_cast<unsigned char>(text[i - run - 1]))) ++run;
        return run % 2 == 0;
    };
    std::size_t i = pos;
    for (;;) {
        if (first.count == 0) {
            i = limit;
        } else if (first.count == 1) {
            const void* hit = std::memchr(text.data() + i, first.only, limit - i);
            i = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : limit;
        } else {
            while (i < limit && !first.table[static_cast<unsigned char>(text[i])]) ++i;
        }
        if (i >= limit) return isStart(limit) ? limit : limit - 1;
        if (isStart(i)) return i;
        known = i + 1;  // i was the second byte of a character
        i = known;
    }
}

// The length of the text at `pos` that the separator matches, 0 for none. A line
// break in the separator (CR LF) matches CR LF, or else a bare LF: pages saved on
// Linux end their lines so. CR and LF are never the second byte of a character.
std::size_t MatchAt(std::string_view text, std::size_t pos, const std::string& separator) {
    std::size_t at = pos;
    for (std::size_t i = 0; i < separator.size(); ++i) {
        if (at == text.size()) return 0;
        if (separator[i] == '\r' && i + 1 < separator.size() && separator[i + 1] == '\n' && text[at] == '\n') {
            ++i;  // a bare LF for CR LF
        } else if (text[at] != separator[i]) {
            return 0;
        }
        ++at;
    }
    return at - pos;  // 0 for an empty separator
}

}  // namespace

std::string SeparatorWithLineBreaks(std::string_view typed) {
    std::string out;
    out.reserve(typed.size() + 2);
    for (std::size_t i = 0; i < typed.size();) {
        if (IsLeadByte(static_cast<unsigned char>(typed[i])) && i + 1 < typed.size()) {
            out.append(typed.substr(i, 2));
            i += 2;
        } else if (typed[i] == '\\' && i + 1 < typed.size() && typed[i + 1] == 'n') {
            out += "\r\n";
            i += 2;
        } else {
            out += typed[i++];
        }
    }
    return out;
}

DocumentScan::FirstBytes::FirstBytes(const Separators& separators) {
    for (const std::string& sep : separators) {
        if (sep.empty()) continue;
        for (char first : {sep[0], sep.starts_with("\r\n") ? '\n' : sep[0]}) {
            auto b = static_cast<unsigned char>(first);
            if (!table[b]) ++count;
            table[b] = true;
            only = static_cast<char>(b);
        }
    }
}

DocumentScan::DocumentScan(std::string_view text, const Separators& starts, const Separators& ends,
                           Characters characters)
    : text_(text), starts_(starts), ends_(ends), startBytes_(starts), endBytes_(ends), characters_(characters) {}

bool DocumentScan::MatchAny(const Separators& separators, std::size_t& length) const {
    for (const std::string& sep : separators) {
        length = MatchAt(text_, pos_, sep);
        if (length > 0) return true;
    }
    return false;
}

DocumentScan::Step DocumentScan::Next() {
    const std::size_t length = text_.size();
    if (pos_ >= length) return Step::finished;
    const FirstBytes& first = inside_ ? endBytes_ : startBytes_;
    const std::size_t candidate = SkipToCandidate(text_, pos_, std::min(length, pos_ + kScanChunk), first, characters_);
    if (candidate > pos_) {
        pos_ = candidate;
        return Step::moved;
    }
    const auto byte = static_cast<unsigned char>(text_[pos_]);
    std::size_t matched = 0;
    if (first.table[byte] && MatchAny(inside_ ? ends_ : starts_, matched)) {
        if (!inside_) pos_ += matched;
        // The end separator stays in the text: outside again, the scan meets it at
        // the same position, as ordinary text or as the next start.
        inside_ = !inside_;
        return inside_ ? Step::started : Step::ended;
    }
    pos_ += characters_ == Characters::cp932 && IsLeadByte(byte) ? 2 : 1;
    if (pos_ > length) pos_ = length;
    return Step::moved;
}

}  // namespace quarvel::engine
