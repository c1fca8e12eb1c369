// Any text through parseFirstLine: the lines taken plus their ends are
// exactly the front that left the text, and the rest is left as it was.
#include "FuzzSupport.h"
#include "store/MyToolsText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string original(reinterpret_cast<const char*>(data), size);
    std::string text = original;
    std::vector<std::string> lines;
    require(!MyToolsText::parseFirstLine(text, lines), "always false");
    require(text.size() <= original.size(), "text only shrinks");
    require(original.compare(original.size() - text.size(), text.size(), text) == 0,
            "the rest is a suffix");
    const std::string taken = original.substr(0, original.size() - text.size());
    require(taken.empty() || taken.back() == '\n', "only complete lines are taken");
    std::string stripped;
    for (char ch : taken)
        if (ch != '\r' && ch != '\n') stripped += ch;
    std::string joined;
    for (const auto& l : lines) {
        require(l.find_first_of("\r\n") == std::string::npos, "no line ends inside lines");
        joined += l;
    }
    require(joined == stripped, "lines are the taken text without line ends");
    return 0;
}
