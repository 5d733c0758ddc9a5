// One self-erasing progress line on standard error, for a terminal only.
//
// The line fits the terminal's width (cut short rather than wrapped), is
// redrawn with a carriage return and erased with ESC[K where the terminal
// has it and with spaces where it does not (TERM=dumb), and is erased too
// when a signal ends the process.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class progress_line {
public:
    // Shows nothing unless standard error is a terminal and enabled.
    explicit progress_line(bool enabled);
    ~progress_line() { finish(); }
    progress_line(const progress_line &) = delete;
    progress_line &operator=(const progress_line &) = delete;

    // Shows done of total seconds tried in the current pass, once the
    // search has taken a second. A new pass starts when total changes or
    // done goes down.
    void update(uint64_t done, uint64_t total);
    // Erases the line, if one is shown.
    void finish();

    // The text for done of total after a pass has run for `elapsed`
    // seconds, in at most width columns: share done, rate and time left
    // ("at most" while the end is the whole range, which the search may
    // not need), the rate left out first where they do not fit.
    static std::string text(uint64_t done, uint64_t total, double elapsed, size_t width);

private:
    void show(const std::string &line);

    bool enabled_;
    bool escapes_;       // the terminal erases to the end of the line with ESC[K
    size_t shown_ = 0;   // columns on screen, 0 when nothing is shown
    uint64_t total_ = 0, last_done_ = 0;
    std::chrono::steady_clock::time_point start_, pass_start_, last_;
};
