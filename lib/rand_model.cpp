#include "rand_model.hpp"


namespace gen::rand_model {

void seed_words(uint32_t seed, uint32_t w[words])
{
    uint32_t word = seed == 0 ? 1 : seed;
    w[0] = word;
    // srand takes the word as signed: from 2^31 on it is word - 2^32, which
    // is word - 2 mod p. The words after it are 16807 times the one before,
    // mod p, as Schrage's method gives them (always from 0 to p - 1).
    uint32_t x = word < 0x80000000u ? word % modulus : (word - 2) % modulus;
    // w_i = 16807^i x mod p: each word from x alone, not from the one
    // before (a chain that checking many seconds waits on).
    const uint32_t *a = word_steps();
    for (int i = 1; i < words; ++i) {
        uint64_t t = uint64_t{a[i]} * x;
        uint64_t r = (t & modulus) + (t >> 31);
        r = (r & modulus) + (r >> 31);
        w[i] = static_cast<uint32_t>(r >= modulus ? r - modulus : r);
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
    uint32_t coeff[early_draws][words];
    uint32_t steps[words];
    tables()
    {
        // Run the generator on coefficient vectors instead of words: output
        // 310 + k is draw k.
        static uint32_t v[words][words];
        for (int i = 0; i < words; ++i)
            for (int j = 0; j < words; ++j)
                v[i][j] = i == j;
        int f = 3, b = 0;
        for (int k = 0; k < 310 + early_draws; ++k) {
            for (int j = 0; j < words; ++j)
                v[f][j] += v[b][j];
            if (k >= 310)
                for (int j = 0; j < words; ++j)
                    coeff[k - 310][j] = v[f][j];
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

const uint32_t *draw_coefficients(int k) { return the_tables().coeff[k]; }

int early_draw(int k, const uint32_t w[words])
{
    const uint32_t *c = the_tables().coeff[k];
    uint32_t acc = 0;
    for (int j = 0; j < words; ++j)
        acc += c[j] * w[j];
    return static_cast<int>(acc >> 1);
}

uint32_t orbit_value(uint64_t k)
{
    uint64_t r = 1, b = 16807;
    for (k %= orbit_length; k > 0; k >>= 1, b = b * b % modulus)
        if (k & 1)
            r = r * b % modulus;
    return static_cast<uint32_t>(r);
}
const uint32_t *word_steps() { return the_tables().steps; }

} // namespace gen::rand_model
