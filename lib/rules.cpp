#include "rules.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace gen {

int draw_rounds() { return rand() % round_modulus; }

flip_list draw_flips(int n, int R, const std::function<int()> &draw)
{
    flip_list hits;
    for (int j = 0; j < R; ++j) {
        int r = draw ? draw() : rand();
        if (n > 0)
            hits.emplace_back(flipped_pair(r, n), j);
    }
    std::sort(hits.begin(), hits.end());
    return hits;
}

size_t max_digits(int R)
{
    return static_cast<size_t>(std::floor(std::log10(364.0) + R / 2.0 * std::log10(2.0))) + 2;
}

} // namespace gen
