// Restoring the bytes of a crypt: with the second given, or by finding it.
#pragma once

#include <cstdint>
#include <vector>

struct restore_options {
    bool have_time = false;
    long time = 0;
    bool have_window = false;  // limit the search to the window
    uint64_t window = 0;
    uint32_t newest = 0;       // where the search starts
    int jobs = 1;
    bool verbose = false;
    bool unverified = false;
    bool keep_zero = false;
};

// Reads the crypt from fd (named name in messages) and returns its bytes,
// verified. Dies with "ungen: NAME: REASON" if it is unreadable or
// malformed, or if no second (or, unverified, no structure) fits it.
std::vector<unsigned char> restore(int fd, const char *name, const restore_options &o);
