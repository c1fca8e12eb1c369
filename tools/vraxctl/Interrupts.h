// SIGINT, SIGTERM and SIGHUP (a closed terminal) while a command runs: they
// raise a flag that the command polls, so that it ends cleanly (a download
// kept as incomplete, a live session stopped with its file finished). The
// first signal resets the handler, so a second one ends the program at once.
// Output that can no longer be written (a pipe whose reader went away, a
// closed terminal) ends the run the same way: nobody is reading any more.
#pragma once

#include <signal.h>

#include <csignal>
#include <cstdio>
#include <iterator>

namespace cli {

inline volatile std::sig_atomic_t interrupted = 0;
inline volatile std::sig_atomic_t interruptSignal = 0;

inline void onInterrupt(int sig) {
    interrupted = 1;
    interruptSignal = sig;
}

inline constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Writes that fail end in an error (EPIPE, EFBIG) that takes the normal
// failure path, never in the default death by SIGPIPE or SIGXFSZ.
inline void ignoreWriteSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

// Holds the interrupting signals back until a guard catches them (a child
// of a parallel download blocks them from its start).
inline void blockInterrupts(sigset_t* previous = nullptr) {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kInterruptSignals) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, previous);
}

// True once the run is to stop: a signal came or the output is gone.
inline bool stopRequested() {
    if (!interrupted && (std::ferror(stdout) || std::ferror(stderr))) {
        interruptSignal = SIGTERM;
        interrupted = 1;
    }
    return interrupted != 0;
}

// Catches the signals while it lives; the flag starts lowered. Signals held
// back until now arrive once the handlers are in place.
class InterruptGuard {
  public:
    InterruptGuard() {
        interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        sigset_t set;
        sigemptyset(&set);
        for (size_t i = 0; i < kCount; ++i) {
            sigaction(kInterruptSignals[i], &sa, &previous[i]);
            sigaddset(&set, kInterruptSignals[i]);
        }
        sigprocmask(SIG_UNBLOCK, &set, nullptr);
    }
    ~InterruptGuard() {
        for (size_t i = 0; i < kCount; ++i) sigaction(kInterruptSignals[i], &previous[i], nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    static constexpr size_t kCount = std::size(kInterruptSignals);
    struct sigaction previous[kCount] {};
};

}  // namespace cli
