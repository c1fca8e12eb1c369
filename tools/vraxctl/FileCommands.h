// The sub-commands that work on files only: replay of a capture and
// conversion between the store's CSV and binary files.
#pragma once

#include <string>

#include "tools/vraxctl/Cli.h"

namespace cli {

struct ReplayOptions : SaveOptions {
    std::string file;  // the capture
};

// Decodes a capture into the files its downloads wrote; an exit code.
int replayCommand(const ReplayOptions& o);

}  // namespace cli
