#include "store/FileIO.h"

#include <fcntl.h>
#include <sys/resource.h>
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

void raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::string whyNoFolder(const std::string& path) {
    std::string at = path;
    while (at.size() > 1 && at.back() == '/') at.pop_back();
    // Up to the deepest part of the path that is there.
    for (;;) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode) && ::stat(at.c_str(), &st) != 0)
                return at + " is a link to something that does not exist";
            if (!S_ISDIR(st.st_mode)) return at + " is in the way and is not a folder";
            if (at != path && ::access(at.c_str(), W_OK | X_OK) != 0)
                return "cannot make a folder in " + at + ": " + std::strerror(errno);
            return {};
        }
        if ((errno != ENOENT && errno != ENOTDIR) || at == "." || at == "/")
            return at + ": " + std::strerror(errno);
        const size_t slash = at.rfind('/');
        if (slash == std::string::npos) {
            at = ".";
        } else {
            at = slash == 0 ? "/" : at.substr(0, slash);
        }
    }
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

InputFile::~InputFile() {
    if (fd >= 0) ::close(fd);
}

bool InputFile::open(const std::string& path) {
    if (fd >= 0) ::close(fd);
    fd = -1;
    size_ = 0;
    // Non-blocking, so that opening a FIFO cannot hang; cleared once it is
    // known to be a regular file.
    const int f = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) {
        errno_ = errno;
        error_ = std::strerror(errno_);
        return false;
    }
    struct stat st {};
    if (::fstat(f, &st) != 0) {
        errno_ = errno;
        error_ = std::strerror(errno_);
        ::close(f);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        errno_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        error_ = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
        ::close(f);
        return false;
    }
    ::fcntl(f, F_SETFL, ::fcntl(f, F_GETFL) & ~O_NONBLOCK);
    fd = f;
    size_ = uint64_t(st.st_size);
    error_.clear();
    errno_ = 0;
    return true;
}

ssize_t InputFile::read(char* data, size_t n) {
    if (fd < 0) return -1;
    for (;;) {
        const ssize_t r = ::read(fd, data, n);
        if (r >= 0) return r;
        if (errno == EINTR) continue;
        errno_ = errno;
        error_ = std::strerror(errno_);
        return -1;
    }
}

bool InputFile::rewind() {
    return fd >= 0 && ::lseek(fd, 0, SEEK_SET) == 0;
}

bool InputFile::sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

BufferedFile::BufferedFile(const std::string& finalPath) : buffer(new char[kCapacity]) {
    output_.create(finalPath);
}

char* BufferedFile::reserve(size_t n) {
    if (kCapacity - used < n) flush();
    return buffer.get() + used;
}

void BufferedFile::write(const char* data, size_t n) {
    while (n > 0) {
        if (used == kCapacity) flush();
        const size_t k = std::min(n, kCapacity - used);
        std::memcpy(buffer.get() + used, data, k);
        used += k;
        data += k;
        n -= k;
    }
}

bool BufferedFile::flush() {
    // After a failure further bytes are dropped: the result is already false.
    if (ok() && used > 0) output_.write(buffer.get(), used);
    used = 0;
    return ok();
}

}  // namespace fileio
