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

// Moves a working file that nobody holds any more (the leftover of a writer
// that was killed) to the first free "-incomplete" name of `finalPath`.
// EBUSY when a live writer holds it, EEXIST when it is not a plain file.
int OutputFile::rescueLeftover() {
    const int old = ::open(working_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (old < 0) return errno == ENOENT ? 0 : errno == ELOOP ? EEXIST : errno;
    struct stat held {};
    int result = 0;
    if (::fstat(old, &held) != 0) {
        result = errno;
    } else if (!S_ISREG(held.st_mode)) {
        result = EEXIST;
    } else if (::flock(old, LOCK_EX | LOCK_NB) != 0) {
        result = errno == EWOULDBLOCK ? EBUSY : errno;
    } else {
        struct stat now {};
        const bool same = ::lstat(working_.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
                          now.st_ino == held.st_ino;
        // Gone or replaced meanwhile: nothing of it to keep here.
        result = same ? EEXIST : 0;
        for (int n = 1; same && n <= 1000 && result == EEXIST; ++n) {
            const std::string target = incompleteName(final_, n);
            result = moveNoReplace(target);
            if (result == 0) {
                rescued_ = target;
                syncFolder(target);
            }
        }
    }
    ::close(old);
    return result;
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
    rescued_.clear();
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
        const int stale = rescueLeftover();
        if (stale == EBUSY) return fail(EBUSY, working_ + " is being written by another run");
        if (stale == EEXIST)
            return fail(EEXIST, working_ + " is in the way (not a file this program left)");
        if (stale != 0) return fail(stale, "cannot move the leftover " + working_ + " away");
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
    // The descriptor (and with it the lock) stays until the file is published.
    state_ = State::closed;
    return true;
}

void OutputFile::release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
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
    release();
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
    ::unlink(working_.c_str());  // still holding the lock
    release();
    state_ = State::none;
}

void OutputFile::keep() {
    if (fd_ >= 0) ::fsync(fd_);
    release();
    state_ = State::none;
}

bool publishAll(const std::vector<OutputFile*>& files, Existing existing, std::string& error) {
    std::vector<bool> existed(files.size(), false);
    for (size_t i = 0; i < files.size(); ++i) {
        OutputFile& f = *files[i];
        if (!f.close()) {
            error = f.error();
            return false;
        }
        if (existing == Existing::keepBoth) continue;
        struct stat st {};
        existed[i] = ::lstat(f.finalPath().c_str(), &st) == 0;
        const int err = !existed[i]                    ? 0
                        : S_ISDIR(st.st_mode)          ? EISDIR
                        : existing == Existing::refuse ? EEXIST
                                                       : 0;
        if (err != 0) {
            error = "cannot move " + f.workingPath() + " to " + f.finalPath() + ": " +
                    std::strerror(err);
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i]->publish(existing)) continue;
        error = files[i]->error();
        // What this call made under a new name goes again; a replaced file
        // is gone either way.
        for (size_t k = 0; k < i; ++k)
            if (!existed[k]) ::unlink(files[k]->publishedPath().c_str());
        return false;
    }
    return true;
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
