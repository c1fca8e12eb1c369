// Any line through sepCSV: never more text out than in; without quotes the
// fields join back to the line.
#include <string_view>

#include "FuzzSupport.h"
#include "store/MyToolsText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto fields = MyToolsText::sepCSV(line);
    require(!fields.empty(), "at least one field");
    size_t total = 0;
    for (const auto& f : fields) total += f.size();
    require(total + fields.size() - 1 <= size + 1, "no text invented");
    if (line.find('"') == std::string_view::npos) {
        std::string joined;
        for (size_t i = 0; i < fields.size(); ++i) joined += (i ? "," : "") + fields[i];
        require(joined == line, "fields join back to the line");
    }
    return 0;
}
