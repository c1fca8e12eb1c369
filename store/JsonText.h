// A small JSON text builder for the files we write (std only): objects and
// arrays by nesting, strings escaped, numbers written exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace jsontext {

// Appends `s` as a JSON string literal (quotes included). Bytes that are not
// valid UTF-8 become U+FFFD, so the text stays valid whatever a name holds.
void appendString(std::string& out, std::string_view s);

class Writer {
  public:
    // Writes an indented document; `indent` spaces per level.
    explicit Writer(int indent = 2) : indent_(indent) {}

    Writer& beginObject(std::string_view key = {});
    Writer& endObject();
    Writer& beginArray(std::string_view key = {});
    Writer& endArray();
    Writer& field(std::string_view key, std::string_view value);
    Writer& field(std::string_view key, const char* value) {
        return field(key, std::string_view(value));
    }
    Writer& field(std::string_view key, const std::string& value) {
        return field(key, std::string_view(value));
    }
    Writer& field(std::string_view key, int64_t value);
    Writer& field(std::string_view key, int value) { return field(key, int64_t(value)); }
    Writer& field(std::string_view key, uint64_t value);
    Writer& field(std::string_view key, double value, int decimals);
    Writer& field(std::string_view key, bool value);
    Writer& null(std::string_view key);
    // A value that is already JSON text (checked by the caller).
    Writer& raw(std::string_view key, std::string_view json);
    // Array elements.
    Writer& value(std::string_view v);
    Writer& value(int64_t v);

    std::string text() const { return out_ + "\n"; }

  private:
    void next(std::string_view key);
    // An object's or an array's brackets, with the indentation of what is inside.
    Writer& open(std::string_view key, char bracket);
    Writer& close(char bracket);
    std::string out_;
    int indent_;
    int depth_ = 0;
    bool first_ = true;
};

}  // namespace jsontext
