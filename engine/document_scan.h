#pragma once
// The scan of a document (Shift-JIS text) for its stretches: outside a stretch it
// looks for a start separator, inside one for an end separator, one character at a
// time, so that a separator is only ever found at a character start.

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/job_settings.h"

namespace quarvel::engine {

// A separator as typed in the window or on the command line made ready for the
// scan: every backslash-n becomes a line break, CR LF, which the scan matches as CR LF
// or else as a bare LF. The backslash must be a character of its own, not the second
// byte of a double-byte one.
std::string SeparatorWithLineBreaks(std::string_view typed);

class DocumentScan {
public:
    // Which bytes can begin a separator of a list, so that most positions need no look.
    struct FirstBytes {
        explicit FirstBytes(const Separators& separators);
        bool table[256] = {};
        int count = 0;
        char only = 0;  // the one first byte when `count` is 1
    };

    // What one step of the scan came to.
    enum class Step {
        moved,     // on through text that holds no separator (the caller looks at the abort flag)
        started,   // a start separator: the stretch begins at position()
        ended,     // an end separator at position(): the stretch ends there
        finished,  // the end of the text
    };

    // How the text's characters are told apart: by the lead bytes of code page 932, or
    // as UTF-8 (where a separator, itself UTF-8, can only match at a character start).
    enum class Characters { cp932, utf8 };

    // The separators must outlive the scan, and be in the text's code.
    DocumentScan(std::string_view text, const Separators& starts, const Separators& ends,
                 Characters characters = Characters::cp932);

    // One step: at most one look-ahead chunk, one separator or one character.
    Step Next();
    // Where the scan stands: past a start separator, at an end separator.
    std::size_t position() const { return pos_; }
    bool inside() const { return inside_; }

private:
    bool MatchAny(const Separators& separators, std::size_t& length) const;

    std::string_view text_;
    const Separators& starts_;
    const Separators& ends_;
    const FirstBytes startBytes_;
    const FirstBytes endBytes_;
    const Characters characters_;
    std::size_t pos_ = 0;
    bool inside_ = false;
};

}  // namespace quarvel::engine
