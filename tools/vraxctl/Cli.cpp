// Shared pieces of the sub-commands: exit code text, messages, paths and
// names as the terminal shows them.
#include <cstdio>
#include <filesystem>

#include "store/FileIO.h"
#include "store/TextScan.h"
#include "tools/vraxctl/Cli.h"

namespace cli {

const char* exitCodeText() {
    return "Exit codes:\n"
           "  0  done\n"
           "  1  no list of paired Bluetooth devices (Bluetooth off, no BlueZ)\n"
           "  2  usage error\n"
           "  3  no such sensor (not paired, or not a VRAX sensor)\n"
           "  4  connection failed or lost\n"
           "  5  the sensor refused a command or did not answer in time\n"
           "  6  file error (cannot read, create or write a file or folder; an existing file\n"
           "     is not replaced without --overwrite or --force)\n"
           "  7  incomplete download (sensor went silent or away, records missing, or\n"
           "     interrupted); what arrived is kept in a file named ...-incomplete.csv\n"
           "  8  --all-sensors or --parallel: some sensors failed\n"
           "  9  erase not confirmed";
}

void error(const std::string& text) {
    std::fprintf(stderr, "vraxctl: %s\n", text.c_str());
}

void warning(const std::string& text) {
    std::fprintf(stderr, "vraxctl: warning: %s\n", text.c_str());
}

std::string userPath(const std::string& path) {
    if (path == "~" || path.rfind("~/", 0) == 0) return fileio::expandTilde(path);
    return path;
}

std::string recordCount(uint64_t records, int64_t expected) {
    return std::to_string(records) +
           (expected > 0 ? " of " + std::to_string(expected) : std::string()) + " records";
}

std::string absoluteFolder(const std::string& dir) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(dir, ec);
    if (ec) p = dir;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string shown(const std::string& text) {
    return text::forTerminal(text);
}

}  // namespace cli
