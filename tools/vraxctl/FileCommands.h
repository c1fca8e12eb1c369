// vraxctl replay: a capture decoded offline into the files its downloads
// wrote.
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
