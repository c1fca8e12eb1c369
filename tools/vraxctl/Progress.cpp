#include "tools/vraxctl/Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace cli {
namespace {
constexpr int kBarWidth = 30;
constexpr double kPlainInterval = 5.0;
constexpr double kParentInterval = 0.2;

void toParent(char kind, const std::string& label, uint64_t records, int64_t expected,
              double seconds) {
    std::fprintf(stderr, "%c%c %llu %lld %.3f %s\n", Progress::kMarker, kind,
                 (unsigned long long)records, (long long)expected, seconds, label.c_str());
    std::fflush(stderr);
}
}  // namespace

bool Progress::forParent() {
    static const bool child = std::getenv(kChildVariable) != nullptr;
    return child;
}

Progress::Progress(std::string label, int64_t expected)
    : label(std::move(label)),
      expected(expected),
      terminal(isatty(STDERR_FILENO) == 1),
      parent(forParent()) {}

std::string Progress::line(const std::string& label, uint64_t records, int64_t expected,
                           double seconds, bool bar) {
    std::string text = label + ": ";
    char buf[160];
    if (bar && expected > 0) {
        const int filled =
            int(std::min<uint64_t>(records, uint64_t(expected)) * kBarWidth / uint64_t(expected));
        text += "[" + std::string(size_t(filled), '#') +
                std::string(size_t(kBarWidth - filled), '.') + "] ";
    }
    if (expected > 0) {
        std::snprintf(
            buf, sizeof buf, "%llu/%lld records (%d%%)", (unsigned long long)records,
            (long long)expected,
            int(std::min<uint64_t>(records, uint64_t(expected)) * 100 / uint64_t(expected)));
    } else {
        std::snprintf(buf, sizeof buf, "%llu records", (unsigned long long)records);
    }
    text += buf;
    if (seconds > 0.05) {
        std::snprintf(buf, sizeof buf, ", %.0f records/s", double(records) / seconds);
        text += buf;
    }
    return text;
}

void Progress::start() {
    started = true;
    startedAt = lastShown = Clock::now();
}

void Progress::update(uint64_t records) {
    if (!started) return;
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - startedAt).count();
    if (parent) {
        if (std::chrono::duration<double>(now - lastShown).count() < kParentInterval) return;
        lastShown = now;
        toParent('P', label, records, expected, seconds);
    } else if (terminal) {
        std::fprintf(stderr, "\r%s\033[K", line(label, records, expected, seconds, true).c_str());
        std::fflush(stderr);
    } else if (std::chrono::duration<double>(now - lastShown).count() >= kPlainInterval) {
        lastShown = now;
        std::fprintf(stderr, "%s\n", line(label, records, expected, seconds, false).c_str());
    }
}

void Progress::finish(uint64_t records) {
    if (!started) return;
    const double seconds = std::chrono::duration<double>(Clock::now() - startedAt).count();
    if (parent)
        toParent('F', label, records, expected, seconds);
    else if (terminal)
        std::fprintf(stderr, "\r%s\033[K\n", line(label, records, expected, seconds, true).c_str());
    else
        std::fprintf(stderr, "%s\n", line(label, records, expected, seconds, false).c_str());
    std::fflush(stderr);
    started = false;
}

}  // namespace cli
