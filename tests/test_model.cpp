// The model of the C library's generator and the seed screen built on it,
// against the C library itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

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
    EXPECT_TRUE(rand_model::agrees_with_c_library());
}

// Every kernel this CPU runs.
std::vector<const screen_ops *> kernels()
{
    std::vector<const screen_ops *> k{&portable_screen()};
    if (avx2_screen())
        k.push_back(avx2_screen());
    return k;
}

// What the screen must find, from the C library's own draws.
std::vector<uint32_t> by_c_library(uint32_t first, uint32_t count, const round_set &set)
{
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < count; ++i) {
        srand(first + i);
        if (set.member[rand() % 4011])
            out.push_back(first + i);
    }
    return out;
}

TEST(Screen, EveryKernelFindsWhatTheCLibraryDraws)
{
    std::mt19937 rng(11);
    // One wanted count, four (compared), and twenty (looked up).
    std::vector<round_set> sets(3);
    for (size_t i = 0; i < sets.size(); ++i)
        for (int k = 0; k < (i == 0 ? 1 : i == 1 ? 4 : 20); ++k)
            sets[i].add(static_cast<int>(rng() % 4011));
    struct range {
        uint32_t first, count;
    } ranges[] = {
        {4294967295u - 40000, 80000},  // wraps through 0
        {2147483647u - 40000, 80003},  // crosses into the negative half
        {1, 7},                        // shorter than one vector
        {static_cast<uint32_t>(rng()), 100001},
    };
    for (const auto &set : sets)
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

} // namespace
