#include "store/SafeOutput.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/FileIO.h"

namespace safeout {
namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Splits "dir/name.ext" into "dir/name" and ".ext" (no extension: "").
void splitExtension(const std::string& path, std::string& stem, std::string& ext) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot <= nameStart) {
        stem = path;
        ext.clear();
        return;
    }
    stem = path.substr(0, dot);
    ext = path.substr(dot);
}

// Makes a rename durable: the folder's entry is synced too.
void syncFolder(const std::string& path) {
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);  // best effort: some file systems refuse to sync folders
    ::close(dir);
}

// Removes a working file that nobody holds any more: the leftover of a
// writer that was killed. EBUSY when a live writer holds it.
int removeStaleWorkingFile(const std::string& working) {
    const int old = ::open(working.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (old < 0) {
        if (errno == ELOOP)
            return ::unlink(working.c_str()) == 0 ? 0 : errno;  // a link: removed, not followed
        if (errno == ENOENT) return 0;
        return errno;
    }
    struct stat held {};
    int result = 0;
    if (::fstat(old, &held) != 0) {
        result = errno;
    } else if (!S_ISREG(held.st_mode)) {
        result = EEXIST;  // something else under that name: not ours to remove
    } else if (::flock(old, LOCK_EX | LOCK_NB) != 0) {
        result = errno == EWOULDBLOCK ? EBUSY : errno;
    } else {
        struct stat now {};
        if (::lstat(working.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
            now.st_ino == held.st_ino && ::unlink(working.c_str()) != 0)
            result = errno;
    }
    ::close(old);
    return result;
}

}  // namespace

std::string workingPathFor(const std::string& finalPath) {
    return finalPath + kWorkingSuffix;
}

std::string numberedName(const std::string& path, int n) {
    if (n <= 1) return path;
    std::string stem, ext;
    splitExtension(path, stem, ext);
    return stem + "-" + std::to_string(n) + ext;
}

std::string incompleteName(const std::string& path, int n) {
    std::string stem, ext;
    splitExtension(path, stem, ext);
    return numberedName(stem + "-incomplete" + ext, n);
}

OutputFile::~OutputFile() {
    if (pending()) discard();
}

bool OutputFile::fail(int err, const std::string& what) {
    errno_ = err;
    error_ = what + ": " + std::strerror(err);
    failed_ = true;
    return false;
}

bool OutputFile::create(const std::string& finalPath) {
    if (pending()) discard();
    state_ = State::none;
    final_ = finalPath;
    working_ = workingPathFor(finalPath);
    published_.clear();
    error_.clear();
    errno_ = 0;
    failed_ = false;
    size_ = 0;
    if (finalPath.empty()) return fail(ENOENT, "no file name");
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd =
            ::open(working_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            // Held for the writer's life, so that nobody takes it for a leftover.
            ::flock(fd, LOCK_EX | LOCK_NB);
            fd_ = fd;
            state_ = State::open;
            return true;
        }
        if (errno != EEXIST) return fail(errno, "cannot create " + working_);
        const int stale = removeStaleWorkingFile(working_);
        if (stale == EBUSY) return fail(EBUSY, working_ + " is being written by another run");
        if (stale != 0) return fail(stale, "cannot remove the leftover " + working_);
    }
    return fail(EEXIST, "cannot create " + working_);
}

size_t OutputFile::write(const char* data, size_t n) {
    if (state_ != State::open) {
        failed_ = true;
        return 0;
    }
    errno = 0;
    const size_t done = fileio::writeAll(fd_, data, n);
    size_ += off_t(done);
    if (done < n) fail(errno ? errno : EIO, "cannot write " + working_);
    return done;
}

bool OutputFile::truncate(off_t size) {
    if (state_ != State::open) return false;
    if (::ftruncate(fd_, size) != 0 || ::lseek(fd_, size, SEEK_SET) != size)
        return fail(errno, "cannot cut " + working_);
    size_ = size;
    return true;
}

bool OutputFile::close() {
    if (state_ == State::closed) return true;
    if (state_ != State::open) return false;
    if (::fsync(fd_) != 0 && errno != EINVAL) return fail(errno, "cannot write " + working_);
    const int fd = fd_;
    fd_ = -1;
    state_ = State::closed;
    if (::close(fd) != 0 && errno != EINTR) return fail(errno, "cannot write " + working_);
    return true;
}

int OutputFile::moveNoReplace(const std::string& target) {
    if (::renameat2(AT_FDCWD, working_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without that rename: a hard link fails on an existing name.
    if (::link(working_.c_str(), target.c_str()) == 0) {
        ::unlink(working_.c_str());
        return 0;
    }
    if (errno == EEXIST) return EEXIST;
    // Nor links (FAT, some network shares): look, then move.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) return EEXIST;
    return ::rename(working_.c_str(), target.c_str()) == 0 ? 0 : errno;
}

void OutputFile::published(const std::string& target) {
    published_ = target;
    state_ = State::published;
    syncFolder(target);
}

bool OutputFile::publish(Existing existing) {
    return publishAs(final_, existing);
}

bool OutputFile::publishAs(const std::string& target, Existing existing) {
    if (existing == Existing::keepBoth)
        return publishAsFirstFree([&](int n) { return numberedName(target, n); });
    if (!close()) return false;
    int err = 0;
    if (existing == Existing::replace) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            err = EISDIR;
        else if (::rename(working_.c_str(), target.c_str()) != 0)
            err = errno;
    } else {
        err = moveNoReplace(target);
    }
    if (err != 0) return fail(err, "cannot move " + working_ + " to " + target);
    published(target);
    return true;
}

bool OutputFile::publishAsFirstFree(const std::function<std::string(int)>& nameFor) {
    if (!close()) return false;
    for (int n = 1; n <= 1000; ++n) {
        const std::string target = nameFor(n);
        const int err = moveNoReplace(target);
        if (err == EEXIST) continue;
        if (err != 0) return fail(err, "cannot move " + working_ + " to " + target);
        published(target);
        return true;
    }
    return fail(EEXIST, "no free name for " + nameFor(1));
}

void OutputFile::discard() {
    if (!pending()) return;
    ::unlink(working_.c_str());  // still holding the lock, if open
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    state_ = State::none;
}

void OutputFile::keep() {
    if (fd_ >= 0) {
        ::fsync(fd_);
        ::close(fd_);
    }
    fd_ = -1;
    state_ = State::none;
}

bool writeWholeFile(const std::string& path, const std::string& data, Existing existing,
                    std::string& error, std::string* publishedPath) {
    OutputFile out;
    if (!out.create(path) || out.write(data.data(), data.size()) != data.size() ||
        !out.publish(existing)) {
        error = out.error();
        return false;
    }
    if (publishedPath) *publishedPath = out.publishedPath();
    return true;
}

}  // namespace safeout
