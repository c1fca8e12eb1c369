// Shared pieces of the fuzz targets.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// A file of this process for the input, rewritten for every run.
inline std::string inputFile(const char* suffix, const uint8_t* data, size_t size) {
    const std::string path = "/tmp/vrax-fuzz-" + std::to_string(::getpid()) + suffix;
    FILE* f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, "input file can be written");
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}
