// Number scanning and text checks shared by the CSV loader and the text tools.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// A leading decimal integer: white space skipped, an optional sign and the
// digits after it; 0 when there is none. Saturates at the type's limits.
int64_t scanInt64(std::string_view s);
int32_t scanInt32(std::string_view s);

// Length of the integer (optional sign, digits) at the very start of `s`,
// without skipping white space; 0 when there is none.
size_t integerPrefixLength(std::string_view s);

// The lead byte of a UTF-8 sequence of two to four bytes: how many
// continuation bytes follow, the smallest code point that length may carry
// and the lead byte's bits of the code point. False for any other byte.
bool utf8Lead(unsigned c, int& extra, uint32_t& minimum, uint32_t& bits);
// A code point the encoding allows for a sequence with that smallest value:
// no overlong form, no surrogate, nothing beyond U+10FFFF.
inline bool utf8Allowed(uint32_t cp, uint32_t minimum) {
    return cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

// The UTF-8 sequence at `at`: its length, with its code point in `cp`; 0 when
// it is not valid (cut short, overlong, a surrogate, beyond U+10FFFF).
size_t decodeUtf8(std::string_view s, size_t at, uint32_t& cp);

// Characters that change how text shows rather than showing themselves: C0
// and C1 controls, DEL, and the bidirectional controls that can reorder a
// line (so that "abc.csv" displays as something else).
bool isControlOrBidi(uint32_t cp);

// Text as it may be printed to a terminal: control and bidirectional control
// characters and bytes that are not UTF-8 become escapes (\x1b, \u{202e}),
// so that no name can move the cursor, recolour the terminal or disguise
// itself.
std::string forTerminal(std::string_view text);

}  // namespace text
