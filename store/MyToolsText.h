// Stateless text and date helpers. The application's MyTools adds the
// message panel and the waits on top of these.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class MyToolsText {
  public:
    // Fields of a line split at commas; a run of pieces from one that starts
    // with a double quote to one that ends with its first quote is one field,
    // the quotes removed.
    static std::vector<std::string> sepCSV(std::string_view line);

    // Moves every complete line (ended by LF or CR LF) from the front of
    // `text` into `lines`, without its line end; the incomplete tail stays.
    // Always returns false.
    static bool parseFirstLine(std::string& text, std::vector<std::string>& lines);

    // True when the whole text is one integer: optional sign, digits, nothing
    // else (the empty text counts).
    static bool isNumber(std::string_view s);

    // Local calendar fields of a date; a null date leaves the outputs alone.
    static void sepNSDate(const std::chrono::system_clock::time_point* date, int32_t& year,
                          int32_t& month, int32_t& day, int32_t& hour, int32_t& min, int32_t& sec,
                          int32_t& msec);
};
