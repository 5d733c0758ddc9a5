#include "rand_model.hpp"

#include <cstdlib>
#include <random>

namespace gen::rand_model {

void seed_words(uint32_t seed, uint32_t w[words])
{
    int32_t word = static_cast<int32_t>(seed == 0 ? 1 : seed);
    w[0] = static_cast<uint32_t>(word);
    for (int i = 1; i < words; ++i) {
        // Schrage's method, on the signed word, as the C library does it.
        long hi = word / 127773, lo = word % 127773;
        long next = 16807 * lo - 2836 * hi;
        if (next < 0)
            next += modulus;
        word = static_cast<int32_t>(next);
        w[i] = static_cast<uint32_t>(word);
    }
}

generator::generator(uint32_t seed)
{
    seed_words(seed, r_);
    for (int i = 0; i < 310; ++i)
        next();
}

namespace {

struct tables {
    uint32_t coeff[words];
    uint32_t steps[words];
    tables()
    {
        // Run the generator on coefficient vectors instead of words.
        static uint32_t v[words][words];
        for (int i = 0; i < words; ++i)
            for (int j = 0; j < words; ++j)
                v[i][j] = i == j;
        int f = 3, b = 0;
        for (int k = 0; k <= 310; ++k) {
            for (int j = 0; j < words; ++j)
                v[f][j] += v[b][j];
            if (k == 310)
                for (int j = 0; j < words; ++j)
                    coeff[j] = v[f][j];
            f = (f + 1) % words;
            b = (b + 1) % words;
        }
        uint64_t a = 1;
        for (int i = 0; i < words; ++i) {
            steps[i] = static_cast<uint32_t>(a);
            a = a * 16807 % modulus;
        }
    }
};

const tables &the_tables()
{
    static const tables t;
    return t;
}

} // namespace

const uint32_t *first_draw_coefficients() { return the_tables().coeff; }
const uint32_t *word_steps() { return the_tables().steps; }

bool agrees_with_c_library(int draws)
{
    uint32_t seeds[16] = {0, 1, 2, 2147483646u, 2147483647u, 2147483648u, 2147483649u,
                          4294967295u};
    std::mt19937 rng(20261208);
    for (int i = 8; i < 16; ++i)
        seeds[i] = static_cast<uint32_t>(rng());
    for (uint32_t s : seeds) {
        srand(s);
        generator g(s);
        for (int k = 0; k < draws; ++k)
            if (g.next() != rand())
                return false;
    }
    return true;
}

} // namespace gen::rand_model
