#include "progress_line.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

#include "process.hpp"

namespace {

int terminal_width()
{
    winsize ws{};
    if (ioctl(2, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

std::string rate_text(double per_second)
{
    char buf[48];
    if (per_second >= 1e9)
        snprintf(buf, sizeof buf, "%.1f billion", per_second / 1e9);
    else if (per_second >= 1e6)
        snprintf(buf, sizeof buf, "%.0f million", per_second / 1e6);
    else
        snprintf(buf, sizeof buf, "%.0f thousand", per_second / 1e3);
    return buf;
}

std::string time_text(double seconds)
{
    long s = static_cast<long>(seconds + 0.5);
    char buf[48];
    if (s < 60)
        snprintf(buf, sizeof buf, "%ld s", s);
    else if (s < 3600)
        snprintf(buf, sizeof buf, "%ld min %ld s", s / 60, s % 60);
    else
        snprintf(buf, sizeof buf, "%ld h %ld min", s / 3600, s / 60 % 60);
    return buf;
}

} // namespace

progress_line::progress_line(bool enabled)
    : enabled_(enabled && isatty(2)), start_(std::chrono::steady_clock::now()), pass_start_(start_),
      last_(start_)
{
    const char *term = getenv("TERM");
    escapes_ = term != nullptr && *term != '\0' && strcmp(term, "dumb") != 0;
}

std::string progress_line::text(uint64_t done, uint64_t total, double elapsed, size_t width)
{
    double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
    std::string share = std::to_string(total ? done * 100 / total : 0) + "%";
    std::string left = rate > 0 ? std::string(total == 1ull << 32 ? "at most " : "") +
                                      time_text(static_cast<double>(total - done) / rate) + " left"
                                : "";
    std::string speed = rate_text(rate) + " seconds a second";
    // The longest that fits, the time left before the rate.
    for (const std::string &line :
         {"ungen: " + share + " searched, " + speed + (left.empty() ? "" : ", " + left),
          "ungen: " + share + " searched" + (left.empty() ? "" : ", " + left),
          share + (left.empty() ? "" : ", " + left)})
        if (line.size() <= width)
            return line;
    return share.substr(0, width);
}

void progress_line::update(uint64_t done, uint64_t total)
{
    if (!enabled_ || total == 0)
        return;
    auto now = std::chrono::steady_clock::now();
    if (total != total_ || done < last_done_) {
        total_ = total;
        pass_start_ = now;
    }
    last_done_ = done;
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200))
        return;
    last_ = now;
    // One column short of the edge: a line that fills it wraps on some
    // terminals.
    size_t width = static_cast<size_t>(terminal_width() - 1);
    show(text(done, total, std::chrono::duration<double>(now - pass_start_).count(), width));
}

void progress_line::show(const std::string &line)
{
    std::string out = "\r" + line;
    if (escapes_)
        out += "\033[K";
    else if (line.size() < shown_)
        out += std::string(shown_ - line.size(), ' ') + "\r" + line;
    shown_ = std::max(shown_, line.size());
    fputs(out.c_str(), stderr);
    fflush(stderr);
    // What a signal that ends the process writes first.
    std::string erase = escapes_ ? "\r\033[K" : "\r" + std::string(shown_, ' ') + "\r";
    set_line_to_erase(erase.c_str());
}

void progress_line::finish()
{
    if (shown_ == 0)
        return;
    fputs(escapes_ ? "\r\033[K" : ("\r" + std::string(shown_, ' ') + "\r").c_str(), stderr);
    fflush(stderr);
    set_line_to_erase(nullptr);
    shown_ = 0;
}
