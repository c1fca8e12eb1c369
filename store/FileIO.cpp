#include "store/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

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

bool closeChecked(int fd) {
    return ::close(fd) == 0 || errno == EINTR;
}

}  // namespace fileio

namespace fileio {

BufferedFile::BufferedFile(const std::string& path) : buffer(new char[kCapacity]) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    good = fd >= 0;
}

BufferedFile::~BufferedFile() {
    if (fd >= 0) ::close(fd);
}

char* BufferedFile::reserve(size_t n) {
    if (kCapacity - used < n) drain();
    return buffer.get() + used;
}

void BufferedFile::write(const char* data, size_t n) {
    while (n > 0) {
        if (used == kCapacity) drain();
        const size_t k = std::min(n, kCapacity - used);
        std::memcpy(buffer.get() + used, data, k);
        used += k;
        data += k;
        n -= k;
    }
}

void BufferedFile::drain() {
    if (good && used > 0 && writeAll(fd, buffer.get(), used) != used) good = false;
    used = 0;  // after a failure further bytes are dropped: the result is already false
}

bool BufferedFile::finish() {
    drain();
    if (fd >= 0) {
        if (!closeChecked(fd)) good = false;
        fd = -1;
    }
    return good;
}

bool readWholeFile(const std::string& path, std::string& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out.reserve(size_t(st.st_size));
    char chunk[1 << 16];
    for (;;) {
        const ssize_t r = ::read(fd, chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            ::close(fd);
            out.clear();
            return false;
        }
        if (r == 0) break;
        out.append(chunk, size_t(r));
    }
    ::close(fd);
    return true;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace fileio
