// Lets the process write files of at most `bytes` bytes while it lives, as
// on a full disk: writes past the limit fail with EFBIG instead of a signal.
#pragma once

#include <signal.h>
#include <sys/resource.h>

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldHandler);
    }

  private:
    rlimit old{};
    sighandler_t oldHandler;
};
