// The one way files are written. A file is created exclusively under a
// working name next to its final name (never through a symbolic link),
// written, synced, and only then moved to its final name, without replacing
// anything there unless replacing was asked for. So a file under a final
// name is always whole, and an existing file is never lost by surprise.
//
// The working name is "<final name>.part". While a writer lives it holds a
// lock on that file, until the file is published, discarded or kept. A
// working file that nobody holds is the leftover of a run that was killed
// and may be the only copy of its data: the next writer of that name moves
// it to the first free "-incomplete" name and never removes it. Anything but
// a plain file under a working name is refused, never touched.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace safeout {

// What publishing does with a file already at the final name.
enum class Existing {
    keepBoth,  // never replace: a numbered name ("x-2.csv", "x-3.csv", ...) is taken instead
    replace,   // replace it (never a folder)
    refuse,    // fail with EEXIST
};

inline constexpr const char* kWorkingSuffix = ".part";

// "<path>.part".
std::string workingPathFor(const std::string& finalPath);
// Variant `n` of a name, counted from 1: 1 is the path itself, 2 and on
// insert "-n" before the extension ("a/x.csv" -> "a/x-2.csv").
std::string numberedName(const std::string& path, int n);
// The name a download keeps that did not finish: "-incomplete" before the
// extension, then numbered ("x-incomplete.csv", "x-incomplete-2.csv", ...).
std::string incompleteName(const std::string& path, int n = 1);

class OutputFile {
  public:
    OutputFile() = default;
    // An unpublished working file is removed: a writer that gives up leaves nothing.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the working file of `finalPath`. False with error() set when it
    // cannot be made, or when another writer holds it (EBUSY).
    bool create(const std::string& finalPath);
    bool isOpen() const { return state_ == State::open; }
    int fd() const { return fd_; }

    // Writes all bytes, retrying short writes. Returns the bytes written;
    // fewer than `n` only on an error, which is remembered.
    size_t write(const char* data, size_t n);
    // Cuts the file to `size` bytes and goes on writing from there.
    bool truncate(off_t size);
    off_t size() const { return size_; }
    bool failed() const { return failed_; }

    // Syncs the working file and ends writing; it stays unpublished (and
    // locked), for a writer that publishes several files together once all
    // are written (see publishAll).
    bool close();
    // Syncs the file, closes it and moves it to `target` (by default its
    // final name) as `existing` says. On success publishedPath() is the
    // name it got. On failure the working file stays in place.
    bool publish(Existing existing = Existing::keepBoth);
    bool publishAs(const std::string& target, Existing existing);
    // Moves the working file to the first free name that nameFor(1),
    // nameFor(2), ... gives (at most 1000 tries); never replaces anything.
    bool publishAsFirstFree(const std::function<std::string(int)>& nameFor);
    // Closes and removes the working file.
    void discard();
    // Closes and leaves the working file where it is (what arrived is kept).
    void keep();
    // True once the working file was made and has been neither published,
    // discarded nor kept.
    bool pending() const { return state_ == State::open || state_ == State::closed; }

    const std::string& finalPath() const { return final_; }
    const std::string& workingPath() const { return working_; }
    const std::string& publishedPath() const { return published_; }
    // What went wrong last, in words ("No space left on device").
    const std::string& error() const { return error_; }
    int errorNumber() const { return errno_; }
    // Where create() moved a leftover working file it found ("" when none).
    const std::string& rescuedLeftover() const { return rescued_; }

  private:
    enum class State { none, open, closed, published };
    bool fail(int err, const std::string& what);
    void published(const std::string& target);
    void release();
    // 0, or the errno of a leftover under the working name that could not be moved away.
    int rescueLeftover();
    // 0, or the errno of a move that did not happen.
    int moveNoReplace(const std::string& target);

    State state_ = State::none;
    int fd_ = -1;
    off_t size_ = 0;
    bool failed_ = false;
    std::string final_;
    std::string working_;
    std::string published_;
    std::string error_;
    std::string rescued_;
    int errno_ = 0;
};

// Publishes written files together, as `existing` says: each target is
// checked first (a folder is never replaced; with `refuse` an existing name
// fails), so that nothing is moved unless all can be. When a move fails all
// the same, the files this call made under new names are removed again.
// False with `error` set (naming the file) on failure.
bool publishAll(const std::vector<OutputFile*>& files, Existing existing, std::string& error);

// Writes `data` as the whole content of `path` through an OutputFile.
// False with `error` set when it could not.
bool writeWholeFile(const std::string& path, const std::string& data, Existing existing,
                    std::string& error, std::string* publishedPath = nullptr);

}  // namespace safeout
