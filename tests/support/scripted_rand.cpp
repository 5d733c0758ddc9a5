#include "scripted_rand.hpp"

#include <cstdlib>
#include <deque>
#include <dlfcn.h>

static std::deque<int> queued;
static int taken;

void script_draws(const std::vector<int> &draws)
{
    queued.assign(draws.begin(), draws.end());
    taken = 0;
}

int draws_taken() { return taken; }

// Defined in the test executable, so it takes the place of the C library's
// rand() for the code under test.
extern "C" int rand() noexcept
{
    if (!queued.empty()) {
        int r = queued.front();
        queued.pop_front();
        ++taken;
        return r;
    }
    using fn = int (*)();
    static fn real = reinterpret_cast<fn>(dlsym(RTLD_NEXT, "rand"));
    return real();
}
