#include "store/SafeAppend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace safeout {
namespace {

bool fail(std::string& why, const std::string& path, int err) {
    why = path + ": " + std::strerror(err);
    return false;
}

// One write of all of `data`; a short write of a regular file is a full disk.
bool writeOnce(int fd, const std::string& data, int& err) {
    for (;;) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n == ssize_t(data.size())) return true;
        if (n < 0 && errno == EINTR) continue;
        err = n < 0 ? errno : ENOSPC;
        return false;
    }
}

}  // namespace

bool appendWholeLine(const std::string& path, const std::string& line, const std::string& header,
                     std::string& why) {
    if (line.empty() || line.back() != '\n') {
        why = path + ": not a whole line";
        return false;
    }
    // A new file gets its header and the line in one write.
    int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool fresh = fd >= 0;
    if (!fresh) {
        if (errno != EEXIST) return fail(why, path, errno);
        // Read-write to look at the last byte; non-blocking, so a FIFO never hangs.
        fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            const int err = errno;
            if (err == ELOOP) {
                why = path + ": is a symbolic link; not writing through it";
                return false;
            }
            return fail(why, path, err);
        }
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(why, path, err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        why = path + ": is not a regular file; not writing to it";
        return false;
    }
    std::string data;
    if (fresh || st.st_size == 0) {
        data = header;
    } else {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') data = "\n";
    }
    data += line;
    int err = 0;
    bool ok = writeOnce(fd, data, err);
    if (!ok) {
        // Take back a partial line when nobody else wrote meanwhile.
        struct stat now {};
        if (::fstat(fd, &now) == 0 && now.st_size > st.st_size &&
            now.st_size < st.st_size + off_t(data.size()))
            (void)::ftruncate(fd, st.st_size);
    }
    if (::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    if (!ok) return fail(why, path, err);
    return true;
}

}  // namespace safeout
