#include "progress_line.hpp"

#include <cstdio>
#include <unistd.h>

progress_line::progress_line(bool enabled)
    : enabled_(enabled && isatty(2)), start_(std::chrono::steady_clock::now()), last_(start_)
{
}

void progress_line::update(uint64_t done, uint64_t total)
{
    if (!enabled_ || total == 0)
        return;
    auto now = std::chrono::steady_clock::now();
    double elapsed = std::chrono::duration<double>(now - start_).count();
    if (elapsed < 1 || now - last_ < std::chrono::milliseconds(200))
        return;
    last_ = now;
    double rate = static_cast<double>(done) / elapsed;
    double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
    fprintf(stderr, "\rungen: searching: %3.0f%% done, %.0f M seconds/s, %.0f s left\033[K",
            100.0 * static_cast<double>(done) / static_cast<double>(total), rate / 1e6, left);
    fflush(stderr);
    shown_ = true;
}

void progress_line::finish()
{
    if (shown_) {
        fputs("\r\033[K", stderr);
        fflush(stderr);
        shown_ = false;
    }
}
