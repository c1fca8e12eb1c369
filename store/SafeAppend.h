// Appending whole lines to a log file: O_APPEND, one write per line, never
// through a symbolic link, never to anything but a regular file. A run that
// is killed leaves whole lines; a line cut short by a full disk is taken back.
#pragma once

#include <string>

namespace safeout {

// Appends `line` (which must end with '\n') to `path`. A new file gets
// `header` (a whole line, may be empty) first, in the same write. When the
// file does not end with a line end (a foreign or damaged file), a '\n' goes
// first so the line stays whole. False with `why` set when it could not.
bool appendWholeLine(const std::string& path, const std::string& line, const std::string& header,
                     std::string& why);

}  // namespace safeout
