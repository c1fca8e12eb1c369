#include "store/FileIO.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace fileio {

std::string expandTilde(const std::string& path) {
    if (path.empty() || path[0] != '~') return path;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + path.substr(1);
}

size_t writeAll(int fd, const char* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, data + done, n - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (w == 0) break;
        done += size_t(w);
    }
    return done;
}

bool closeChecked(int fd) { return ::close(fd) == 0 || errno == EINTR; }

}  // namespace fileio
