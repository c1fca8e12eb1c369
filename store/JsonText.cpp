#include "store/JsonText.h"

#include <cmath>
#include <cstdio>

#include "store/TextScan.h"

namespace jsontext {

void appendString(std::string& out, std::string_view s) {
    out += '"';
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            uint32_t cp = 0;
            const size_t n = text::decodeUtf8(s, i, cp);
            if (n == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(s.data() + i, n);
                i += n;
            }
            continue;
        }
        ++i;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    out += '"';
}

void Writer::next(std::string_view key) {
    if (depth_ > 0) {
        if (!first_) out_ += ',';
        out_ += '\n';
        out_.append(size_t(depth_ * indent_), ' ');
    }
    first_ = false;
    if (!key.empty()) {
        appendString(out_, key);
        out_ += ": ";
    }
}

Writer& Writer::open(std::string_view key, char bracket) {
    next(key);
    out_ += bracket;
    ++depth_;
    first_ = true;
    return *this;
}

Writer& Writer::close(char bracket) {
    --depth_;
    if (!first_) {
        out_ += '\n';
        out_.append(size_t(depth_ * indent_), ' ');
    }
    out_ += bracket;
    first_ = false;
    return *this;
}

Writer& Writer::beginObject(std::string_view key) {
    return open(key, '{');
}
Writer& Writer::endObject() {
    return close('}');
}
Writer& Writer::beginArray(std::string_view key) {
    return open(key, '[');
}
Writer& Writer::endArray() {
    return close(']');
}

Writer& Writer::field(std::string_view key, std::string_view v) {
    next(key);
    appendString(out_, v);
    return *this;
}

Writer& Writer::field(std::string_view key, int64_t v) {
    next(key);
    out_ += std::to_string(v);
    return *this;
}

Writer& Writer::field(std::string_view key, uint64_t v) {
    next(key);
    out_ += std::to_string(v);
    return *this;
}

Writer& Writer::field(std::string_view key, double v, int decimals) {
    next(key);
    if (!std::isfinite(v)) {
        out_ += "null";
        return *this;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    out_ += buf;
    return *this;
}

Writer& Writer::field(std::string_view key, bool v) {
    next(key);
    out_ += v ? "true" : "false";
    return *this;
}

Writer& Writer::null(std::string_view key) {
    next(key);
    out_ += "null";
    return *this;
}

Writer& Writer::raw(std::string_view key, std::string_view json) {
    next(key);
    // Indent the nested text's lines to this depth.
    while (!json.empty() && (json.back() == '\n' || json.back() == ' ')) json.remove_suffix(1);
    for (char c : json) {
        out_ += c;
        if (c == '\n') out_.append(size_t(depth_ * indent_), ' ');
    }
    return *this;
}

Writer& Writer::value(std::string_view v) {
    next({});
    appendString(out_, v);
    return *this;
}

Writer& Writer::value(int64_t v) {
    next({});
    out_ += std::to_string(v);
    return *this;
}

}  // namespace jsontext
