#include "store/MyToolsText.h"

#include <ctime>

#include "store/TextScan.h"

std::vector<std::string> MyToolsText::sepCSV(std::string_view line) {
    std::vector<std::string_view> pieces;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        pieces.push_back(line.substr(start, comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    std::vector<std::string> fields;
    if (line.find('"') == std::string_view::npos) {
        fields.assign(pieces.begin(), pieces.end());
        return fields;
    }

    bool inRun = false;
    size_t runStart = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string_view piece = pieces[i];
        const size_t q = piece.find('"');
        if (q == 0) {
            // A run left open by a new one: its pieces are kept as they stand.
            if (inRun)
                for (size_t k = runStart; k < i; ++k) fields.emplace_back(pieces[k]);
            inRun = false;
            if (piece.size() >= 2 && piece.back() == '"') {
                fields.emplace_back(piece.substr(1, piece.size() - 2));  // "x": a whole field
            } else {
                inRun = true;
                runStart = i;
            }
        } else if (inRun && q != std::string_view::npos && q == piece.size() - 1) {
            std::string joined;
            for (size_t k = runStart; k <= i; ++k) {
                joined += pieces[k];
                joined += ',';
            }
            fields.push_back(joined.substr(1, joined.size() - 3));
            inRun = false;
        } else if (!inRun) {
            fields.emplace_back(piece);
        }
    }
    // A run still open at the end of the line: its pieces as they stand.
    if (inRun) {
        std::string rest(pieces[runStart]);
        for (size_t k = runStart + 1; k < pieces.size(); ++k) {
            rest += ',';
            rest += pieces[k];
        }
        fields.push_back(rest);
    }
    return fields;
}

bool MyToolsText::parseFirstLine(std::string& text, std::vector<std::string>& lines) {
    lines.clear();
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        if (lf == std::string::npos) break;
        // A lone CR ends a line that is not complete yet: stop there.
        const size_t cr = text.find('\r', start);
        if (cr != std::string::npos && cr < lf && cr + 1 != lf) break;
        std::string line = text.substr(start, lf - start);
        std::erase(line, '\r');
        lines.push_back(std::move(line));
        start = lf + 1;
    }
    text.erase(0, start);
    return false;
}

bool MyToolsText::isNumber(std::string_view s) {
    return s.empty() || text::integerPrefixLength(s) == s.size();
}

void MyToolsText::sepNSDate(const std::chrono::system_clock::time_point* date, int32_t& year,
                            int32_t& month, int32_t& day, int32_t& hour, int32_t& min, int32_t& sec,
                            int32_t& msec) {
    if (!date) return;
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(date->time_since_epoch()).count();
    // Floor to whole seconds so that times before 1970 keep 0..999 ms.
    int64_t secs = ms / 1000;
    int64_t rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        secs -= 1;
    }
    const std::time_t t = std::time_t(secs);
    std::tm local{};
    year = month = day = hour = min = sec = msec = 0;
    if (!localtime_r(&t, &local)) return;
    year = local.tm_year + 1900;
    month = local.tm_mon + 1;
    day = local.tm_mday;
    hour = local.tm_hour;
    min = local.tm_min;
    sec = local.tm_sec;
    msec = int32_t(rest);
}
