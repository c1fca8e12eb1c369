// SIGINT and SIGTERM while a command runs: they raise a flag that the
// command polls, so that it ends cleanly (a download kept as incomplete, a
// live session stopped with its file finished). The first signal resets the
// handler, so a second one ends the program at once.
#pragma once

#include <signal.h>

#include <csignal>

namespace cli {

inline volatile std::sig_atomic_t interrupted = 0;
inline volatile std::sig_atomic_t interruptSignal = 0;

inline void onInterrupt(int sig) {
    interrupted = 1;
    interruptSignal = sig;
}

// Catches both signals while it lives; the flag starts lowered.
class InterruptGuard {
  public:
    InterruptGuard() {
        interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &previousInt);
        sigaction(SIGTERM, &sa, &previousTerm);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &previousInt, nullptr);
        sigaction(SIGTERM, &previousTerm, nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
};

}  // namespace cli
