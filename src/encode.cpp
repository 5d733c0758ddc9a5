#include "encode.hpp"

#include <cstdio>
#include <cstdlib>

#include "fail.hpp"
#include "round.hpp"

int draw_rounds() { return rand() % 4011; }

bi *build_elements(const unsigned char *bytes, int n)
{
    // Sized in size_t: n + 1 elements never overflow, whatever n is.
    size_t count = static_cast<size_t>(n) + 1;
    bi *cfile = static_cast<bi *>(malloc(count * sizeof(bi)));
    if (cfile == nullptr)
        die_oom();
    for (int i = 0; i < n; ++i)
        cfile[i].set(bytes[i]);
    return cfile;
}

void free_elements(bi *cfile, int n)
{
    for (int i = 0; i < n; ++i)
        release(cfile[i]);
    free(cfile);
}

void run_rounds(bi *cfile, int &n, int R)
{
    for (int j = 0; j < R; ++j) {
        // A failed progress line is no reason to lose the run.
        printf("%d/%d\n", j, R);
        scramble(cfile, n);
    }
}

bool prefer_batched(int n, int R)
{
    // Round by round costs about n * R small additions; the whole-run
    // evaluation has a fixed cost of up to 766 scaled values of R / 2 bits
    // in decimal. See bench/ for the measurement behind the constant.
    return static_cast<long long>(n) * (R + 1) > batched_threshold;
}
