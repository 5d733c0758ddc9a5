// The model of the C library's generator and the seed screen built on it,
// against the C library itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "libc/family.hpp"
#include "rand_model.hpp"
#include "screen.hpp"

namespace {

using namespace gen;

// Seeds from both halves of the signed word, the edges among them.
std::vector<uint32_t> spread_of_seeds()
{
    std::vector<uint32_t> s{0, 1, 2, 127773, 2147483646u, 2147483647u, 2147483648u,
                            2147483649u, 4294967294u, 4294967295u};
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i)
        s.push_back(static_cast<uint32_t>(rng()));
    return s;
}

TEST(RandModel, GivesTheCLibraryDrawsOnSeedsAcrossTheRange)
{
    for (uint32_t seed : spread_of_seeds()) {
        srand(seed);
        rand_model::generator g(seed);
        for (int k = 0; k < 4100; ++k) {
            int want = rand();
            ASSERT_EQ(g.next(), want) << "seed " << seed << ", draw " << k;
        }
    }
    EXPECT_TRUE(glibc_model_fits());
}

// Every kernel this CPU runs.
std::vector<const screen_ops *> kernels()
{
    std::vector<const screen_ops *> k{&portable_screen()};
    for (const screen_ops *vector : {avx2_screen(), avx512_screen(), avx512_vnni_screen()})
        if (vector)
            k.push_back(vector);
    return k;
}

// Whether the C library's draws after srand(seed) pass the set.
bool c_library_passes(uint32_t seed, const round_set &set)
{
    srand(seed);
    uint32_t d[round_set::most_flips + 1] = {};
    for (int k = 0; k <= set.flips; ++k)
        d[k] = static_cast<uint32_t>(rand());
    return set.passes(d);
}

// What the screen must find, from the C library's own draws.
std::vector<uint32_t> by_c_library(uint32_t first, uint32_t count, const round_set &set)
{
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < count; ++i)
        if (c_library_passes(first + i, set))
            out.push_back(first + i);
    return out;
}

// One wanted count, four (tested by divisibility), twenty (looked up),
// with the edges 0 and 4010 and counts on both sides of 2^32 mod 4011;
// half of all counts, screened by their first five flips among 8 numbers
// (the eager kernels two side by side); every count screened by 17 flips
// among 3 numbers, of which each keeps 2/3: more than any kernel tests side
// by side; and every count screened by one flip among 128 numbers, whose
// pair the low byte of its sum names, and among 256, whose it does not.
std::vector<round_set> wanted_sets()
{
    std::mt19937 rng(11);
    std::vector<round_set> sets(9);
    for (int numbers : {128, 256}) {
        round_set &set = sets[numbers == 128 ? 7 : 8];
        set.screen_flips(1, numbers, 1);
        for (int R = 0; R < 4011; ++R)
            set.add(R, [&](int) { return static_cast<int>(rng() % static_cast<unsigned>(numbers / 2)); });
    }
    sets[3].screen_flips(5, 8, 2);
    for (int R = 0; R < 4011; R += 2)
        sets[3].add(R, [&](int) { return static_cast<int>(rng() % 4); });
    sets[6].screen_flips(17, 3, 3);
    for (int R = 0; R < 4011; ++R)
        sets[6].add(R, [](int) { return 0; });
    sets[1].add(0);
    sets[1].add(4010);
    sets[1].add(528);
    sets[1].add(530);
    for (int k = 0; k < 20; ++k)
        sets[k == 0 ? 0 : 2].add(static_cast<int>(rng() % 4011));
    // Two and three counts: the vector tests of each size.
    for (int k = 0; k < 5; ++k)
        sets[k < 2 ? 4 : 5].add(static_cast<int>(rng() % 4011));
    return sets;
}

TEST(Screen, EveryKernelFindsWhatTheCLibraryDraws)
{
    std::mt19937 rng(11);
    struct range {
        uint32_t first, count;
    } ranges[] = {
        {4294967295u - 40000, 80000},  // wraps through 0
        {2147483647u - 40000, 80003},  // crosses into the negative half
        {1, 7},                        // shorter than one vector
        {static_cast<uint32_t>(rng()), 100001},
    };
    for (const auto &set : wanted_sets())
        for (const auto &r : ranges) {
            std::vector<uint32_t> want = by_c_library(r.first, r.count, set);
            ASSERT_TRUE(r.count < 1000 || !want.empty());
            for (const screen_ops *k : kernels()) {
                std::vector<uint32_t> got;
                screen_seeds(*k, r.first, r.count, set, got);
                EXPECT_EQ(got, want) << k->name << " from " << r.first << ", " << set.count
                                     << " counts";
            }
        }
}

TEST(Screen, TheOrbitWalkFindsWhatTheCLibraryDrawsInTheSameOrderInEveryKernel)
{
    const uint64_t length = rand_model::orbit_length;
    std::mt19937_64 rng(15);
    struct stretch {
        uint64_t first, count;
    } stretches[] = {
        {0, 50000},                     // from x_0 = 1
        {length - 30007, 30007},        // to the end, the last windows wrapping round
        {12345678, 7},                  // shorter than the lanes
        {rng() % (length - 100003), 100003},
    };
    for (const auto &set : wanted_sets())
        for (const auto &r : stretches) {
            SCOPED_TRACE("from " + std::to_string(r.first) + ", " + std::to_string(set.count) +
                         " counts");
            // The two seeds of every window, and those the C library passes.
            std::vector<uint32_t> want;
            uint32_t x = rand_model::orbit_value(r.first);
            for (uint64_t k = 0; k < r.count; ++k, x = rand_model::orbit_next(x))
                for (uint32_t seed : {x, x + rand_model::twin_offset})
                    if (c_library_passes(seed, set))
                        want.push_back(seed);
            std::sort(want.begin(), want.end());
            ASSERT_TRUE(r.count < 1000 || !want.empty());
            // FreeBSD 13's words are the windows' less one: walked alone
            // and along with glibc's, each gets the seeds it gets alone.
            const orbit_form forms[] = {glibc_orbit(), find_family("freebsd")->orbit->form()};
            std::vector<uint32_t> first_kernel[2];
            for (const screen_ops *k : kernels()) {
                std::vector<uint32_t> alone[2], together[2];
                for (int f = 0; f < 2; ++f) {
                    k->orbit(&forms[f], 1, r.first, r.count, set, &alone[f]);
                    if (first_kernel[f].empty())
                        first_kernel[f] = alone[f];
                    EXPECT_EQ(alone[f], first_kernel[f]) << k->name << ", form " << f;
                }
                k->orbit(forms, 2, r.first, r.count, set, together);
                EXPECT_EQ(together[0], alone[0]) << k->name;
                EXPECT_EQ(together[1], alone[1]) << k->name;
                std::sort(alone[0].begin(), alone[0].end());
                EXPECT_EQ(alone[0], want) << k->name;
            }
        }
    // The seeds no window holds, one at a time, in the last unit.
    round_set all;
    for (int R = 0; R < 4011; ++R)
        all.add(R);
    std::vector<uint32_t> odd;
    auto screen_odd_seeds = [](const round_set &set, std::vector<uint32_t> &out) {
        glibc_family().portable.whole(glibc_family(), orbit_units - 1, set, out);
    };
    screen_odd_seeds(all, odd);
    EXPECT_EQ(odd, std::vector<uint32_t>(std::begin(rand_model::odd_seeds), std::end(rand_model::odd_seeds)));
    for (const auto &set : wanted_sets()) {
        odd.clear();
        screen_odd_seeds(set, odd);
        std::vector<uint32_t> want;
        for (uint32_t seed : rand_model::odd_seeds)
            if (by_c_library(seed, 1, set).size() == 1)
                want.push_back(seed);
        EXPECT_EQ(odd, want);
    }
}

} // namespace
