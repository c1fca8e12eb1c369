// Small checked file operations on POSIX descriptors.
#pragma once

#include <cstddef>
#include <string>

namespace fileio {

// A leading "~" stands for the user's home folder.
std::string expandTilde(const std::string& path);

// Writes all `n` bytes, retrying short writes and EINTR. Returns the number
// of bytes written, which is less than `n` only on an error.
size_t writeAll(int fd, const char* data, size_t n);

// Closes a descriptor; false when the close reports an error.
bool closeChecked(int fd);

}  // namespace fileio
