// One self-erasing progress line on standard error, for a terminal only.
#pragma once

#include <chrono>
#include <cstdint>

class progress_line {
public:
    // Shows nothing unless standard error is a terminal and enabled.
    explicit progress_line(bool enabled);
    ~progress_line() { finish(); }

    // Shows done of total seconds tried, once a search has taken a second.
    void update(uint64_t done, uint64_t total);
    // Erases the line, if one is shown.
    void finish();

private:
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};
