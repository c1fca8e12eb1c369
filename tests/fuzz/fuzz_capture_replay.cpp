// Any file as a capture through `vraxctl replay`: it ends with one of its
// exit codes, never leaves a working file behind, and every file it names
// as a complete download is one (no "incomplete" in the name, whole lines).
#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "tools/vraxctl/FileCommands.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    // A line per replayed download would bury the fuzzer's own report.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = inputFile(".cap", data, size);
    const fs::path out = path + ".out";
    fs::remove_all(out);
    cli::ReplayOptions o;
    o.file = path;
    o.outDir = out.string();
    // Half of the runs replay into a folder that already holds the results.
    for (int round = 0; round < 2; ++round) {
        o.skipExisting = round == 1 && size % 2 == 1;
        o.overwrite = round == 1 && size % 2 == 0;
        const int code = cli::replayCommand(o);
        require(
            code == cli::Exit::ok || code == cli::Exit::fileError || code == cli::Exit::incomplete,
            "a replay exit code");
        std::error_code ec;
        for (fs::recursive_directory_iterator it(out, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            require(name.size() < 5 || name.substr(name.size() - 5) != ".part",
                    "no working file left behind");
            if (!it->is_regular_file() || fs::file_size(it->path()) == 0) continue;
            // Every file ends in a whole line.
            FILE* f = std::fopen(it->path().c_str(), "rb");
            require(f != nullptr, "a written file opens");
            std::fseek(f, -2, SEEK_END);
            char tail[2] = {};
            require(std::fread(tail, 1, 2, f) == 2, "the end of a written file reads");
            std::fclose(f);
            require(tail[0] == '\r' && tail[1] == '\n', "whole lines only");
        }
    }
    fs::remove_all(out);
    std::remove(path.c_str());
    return 0;
}
