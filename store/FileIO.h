// Small checked file operations on POSIX descriptors.
#pragma once

#include <cstddef>
#include <memory>
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

namespace fileio {

// A file written through a buffer: every failure (create, write, close) is
// remembered, and `finish` says whether all bytes reached the file.
class BufferedFile {
  public:
    // Creates the file, replacing any file of that name with an empty one.
    explicit BufferedFile(const std::string& path);
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    bool ok() const { return good; }
    // Room for at least `n` bytes at the end of the buffer.
    char* reserve(size_t n);
    void commit(size_t n) { used += n; }
    void write(const char* data, size_t n);
    // Writes what is buffered and closes; true when everything was written.
    bool finish();

  private:
    void drain();

    static constexpr size_t kCapacity = 1 << 16;
    int fd = -1;
    bool good = false;
    size_t used = 0;
    std::unique_ptr<char[]> buffer;
};

// The whole content of a regular file. False when it cannot be opened or
// read (a folder, no permission, an I/O error).
bool readWholeFile(const std::string& path, std::string& out);

// True when something exists at `path`.
bool exists(const std::string& path);

}  // namespace fileio
