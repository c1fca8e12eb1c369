// Checked file reading and buffered writing on POSIX descriptors.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "store/SafeOutput.h"

namespace fileio {

// A leading "~" stands for the user's home folder.
std::string expandTilde(const std::string& path);

// Writes all `n` bytes, retrying short writes and EINTR. Returns the number
// of bytes written, which is less than `n` only on an error.
size_t writeAll(int fd, const char* data, size_t n);

// Files written together stay open (and locked) until all are published:
// a program that writes many raises its limit of open files to the most it
// may have.
void raiseOpenFileLimit();

// True when something exists at `path` (a dangling link counts).
bool exists(const std::string& path);

// Why a folder cannot be made at `path`, in words, found without making
// anything: a file or a link to nowhere in the way, or the folder above it
// that refuses ("Permission denied"). "" when nothing in the way is found.
std::string whyNoFolder(const std::string& path);

// A regular file opened for reading. Anything else (a folder, a FIFO, a
// device) is refused at once, before a byte is read.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False with error() set ("No such file or directory", "is a folder").
    bool open(const std::string& path);
    // Up to `n` bytes; 0 at the end, -1 on an error (error() set).
    ssize_t read(char* data, size_t n);
    // Back to the first byte.
    bool rewind();
    uint64_t size() const { return size_; }
    const std::string& error() const { return error_; }
    int errorNumber() const { return errno_; }
    // True when both name the same file (same device and inode).
    static bool sameFile(const std::string& a, const std::string& b);

  private:
    int fd = -1;
    uint64_t size_ = 0;
    std::string error_;
    int errno_ = 0;
};

// A new file written through a buffer into its working file (see
// safeout::OutputFile); the owner publishes it once every byte is there.
class BufferedFile {
  public:
    explicit BufferedFile(const std::string& finalPath);
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    bool ok() const { return output_.isOpen() && !output_.failed(); }
    // Room for at least `n` bytes at the end of the buffer.
    char* reserve(size_t n);
    void commit(size_t n) { used += n; }
    void write(const char* data, size_t n);
    // Writes what is buffered; true when every byte so far reached the file.
    bool flush();
    safeout::OutputFile& output() { return output_; }

  private:
    static constexpr size_t kCapacity = 1 << 16;
    safeout::OutputFile output_;
    size_t used = 0;
    std::unique_ptr<char[]> buffer;
};

}  // namespace fileio
