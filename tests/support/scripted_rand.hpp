// rand() for unit tests: returns scripted draws while any are queued, and
// the C library's own draws otherwise.
#pragma once

#include <vector>

void script_draws(const std::vector<int> &draws);
// Scripted draws taken since the last script_draws().
int draws_taken();
