// Compares two texts that may be megabytes long: on a difference, the
// message gives both sizes and the first differing place with a little
// context, not the whole texts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

inline ::testing::AssertionResult sameText(const std::string& got, const std::string& expected) {
    if (got == expected) return ::testing::AssertionSuccess();
    const auto diff = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    const size_t at = size_t(diff.first - got.begin());
    const size_t from = at > 40 ? at - 40 : 0;
    auto around = [&](const std::string& s) {
        std::string piece = from < s.size() ? s.substr(from, 80) : std::string();
        std::string shown;
        for (const char c : piece)
            shown += c == '\r'   ? std::string("\\r")
                     : c == '\n' ? std::string("\\n")
                                 : std::string(1, c);
        return "\"" + shown + "\"";
    };
    return ::testing::AssertionFailure()
           << "sizes " << got.size() << " and " << expected.size()
           << " bytes; first difference at byte " << at << "\n  got:      " << around(got)
           << "\n  expected: " << around(expected);
}
