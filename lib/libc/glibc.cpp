// glibc's rand() (TYPE_3 of random(): 31 words, taps 3 and 31), as
// rand_model.hpp describes it; also uClibc-ng's, and bionic's (Android 5
// on) for seeds below 2^31 but 0. Its own reentrant random_r() confirms
// every result: the same code rand() runs, on a private state.
#include <cstdlib>
#include <random>

#include "family.hpp"
#include "rand_model.hpp"

namespace gen {

namespace {

void glibc_seed(rand_state &st, uint32_t s)
{
    rand_model::seed_words(s, st.r);
    additive_start(st);
}

void glibc_early(uint32_t s, int *out, int count)
{
    uint32_t w[rand_model::words];
    rand_model::seed_words(s, w);
    additive_early(w, out, count);
}

// srand(0) seeds as srand(1).
void glibc_twins(uint32_t s, std::vector<uint32_t> &out)
{
    if (s <= 1)
        out.push_back(1 - s);
}

class glibc_random final : public draw_source {
public:
    explicit glibc_random(uint32_t s)
    {
        initstate_r(s, state_, sizeof state_, &data_);
    }
    int next() override
    {
        int32_t r;
        random_r(&data_, &r);
        return r;
    }

private:
    char state_[128] = {};  // TYPE_3, as rand() uses
    random_data data_ = {};
};

std::unique_ptr<draw_source> glibc_c_library(uint32_t s) { return std::make_unique<glibc_random>(s); }

bool model_gives_random_r(int draws)
{
    uint32_t seeds[16] = {0, 1, 2, 2147483646u, 2147483647u, 2147483648u, 2147483649u,
                          4294967295u};
    std::mt19937 rng(20261208);
    for (int i = 8; i < 16; ++i)
        seeds[i] = static_cast<uint32_t>(rng());
    for (uint32_t s : seeds) {
        glibc_random c(s);
        rand_model::generator g(s);
        for (int k = 0; k < draws; ++k)
            if (g.next() != c.next())
                return false;
    }
    return true;
}

void glibc_seeds(const screen_ops &ops, uint32_t first, uint64_t count, const round_set &set,
                 std::vector<uint32_t> &out)
{
    screen_seeds(ops, first, count, set, out);
}

void portable_seeds(const family &, uint32_t first, uint64_t count, const round_set &set,
                    std::vector<uint32_t> &out)
{
    glibc_seeds(portable_screen(), first, count, set, out);
}

void avx2_seeds(const family &, uint32_t first, uint64_t count, const round_set &set,
                std::vector<uint32_t> &out)
{
    glibc_seeds(*avx2_screen(), first, count, set, out);
}

const orbit_place place{glibc_orbit, {rand_model::odd_seeds[0], rand_model::odd_seeds[1],
                                      rand_model::odd_seeds[2], rand_model::odd_seeds[3]}};

} // namespace

bool glibc_model_fits()
{
    static const bool fits = model_gives_random_r(4100);
    return fits;
}

extern const family glibc{"glibc",
                   "glibc; uClibc-ng; bionic (Android 5 and later) for seeds from 1 to 2^31 - 1",
                   "glibc's rand()",
                   2147483647u,
                   glibc_seed,
                   additive_next,
                   glibc_early,
                   glibc_twins,
                   orbit_units,
                   {"portable", portable_seeds, orbit_whole_portable, orbit_walk_portable},
                   orbit_avx2_kernels<avx2_seeds>,
                   orbit_avx512_kernels<avx2_seeds>,  // AVX2's screen by seed, AVX-512's walk
                   nullptr,
                   nullptr,
                   &place,
                   glibc_c_library};

} // namespace gen
