#include <cstdlib>

#include "gen/gen.hpp"

namespace gen {

void scramble(bi *cfile, int &n)
{
    if (n % 2 != 0) {
        cfile[n] = 0;
        ++n;
    }
    for (int k = 0; k < n; k += 2) {
        bi s = cfile[k] + cfile[k + 1];
        bi d = cfile[k] - cfile[k + 1];
        release(cfile[k]);
        release(cfile[k + 1]);
        cfile[k] = s;
        cfile[k + 1] = d;
    }
    int r = rand();
    if (n == 0)
        return;
    cfile[(r % n) | 1] ^= 1;
}

} // namespace gen
