// Reading a crypt without its second: the structure decoder against gen's
// output, and the search for the seconds that give it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "crypts.hpp"
#include "rules.hpp"
#include "random_bytes.hpp"
#include "search.hpp"
#include "seconds.hpp"
#include "structure.hpp"

namespace {

using namespace gen;

std::mt19937 rng(2026);

std::vector<int> draws_for(int R)
{
    std::vector<int> d{R};
    for (int j = 0; j < R; ++j)
        d.push_back(static_cast<int>(rng() >> 1));
    return d;
}

TEST(Structure, FindsTheRoundsTheFlipsAndTheBytesOfEveryRun)
{
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 64; ++n)
        lengths.push_back(n);
    lengths.push_back(10000);
    lengths.push_back(10001);
    for (int R : {0, 1, 2, 3, 4010})
        for (size_t len : lengths) {
            SCOPED_TRACE("R=" + std::to_string(R) + " length " + std::to_string(len));
            std::string flag = random_bytes(len, rng);
            std::vector<int> draws = draws_for(R);
            crypt_structure st = read_structure(numbers_of(encode_with_draws(flag, draws)));
            std::string want = flag;
            if (R > 0 && len % 2)
                want += '\0';
            auto r = std::find_if(st.readings.begin(), st.readings.end(),
                                  [&](const crypt_structure::reading &x) { return x.rounds == R; });
            ASSERT_NE(r, st.readings.end());
            EXPECT_TRUE(std::string(r->bytes.begin(), r->bytes.end()) == want);
            int n = static_cast<int>(want.size());
            for (int j = 0; n > 0 && j < R; ++j)
                ASSERT_EQ(st.flip(R, j), flipped_pair(draws[static_cast<size_t>(j) + 1], n));
            if (len == 0) {
                EXPECT_EQ(st.readings.size(), 4011u);  // rounds change nothing
            } else if (len >= 10 && R > 3) {
                EXPECT_EQ(st.readings.size(), 1u);
            }
        }
}

auto no_tick = [](uint64_t, uint64_t) {};

TEST(Search, CountsEveryMatchAsTheCLibraryDraws)
{
    // One pair: every second whose round count fits matches.
    crypt_structure st = read_structure(numbers_of(encode("A", static_cast<uint32_t>(second_for_rounds(7)))));
    ASSERT_GT(st.readings.size(), 1u);
    search_plan plan;
    plan.newest = 1800000000u;
    plan.span = 1u << 18;
    plan.first_only = false;
    plan.jobs = 2;
    search_result res = search_seconds(st, plan, no_tick);
    std::vector<uint64_t> want(st.readings.size());
    std::vector<uint32_t> first_want(st.readings.size(), 0);
    for (uint64_t k = 0; k < plan.span; ++k) {
        uint32_t s = static_cast<uint32_t>(plan.newest - k);
        srand(s);
        int R = rand() % 4011;
        for (size_t r = 0; r < st.readings.size(); ++r)
            if (st.readings[r].rounds == R && want[r]++ == 0)
                first_want[r] = s;
    }
    for (size_t r = 0; r < st.readings.size(); ++r) {
        EXPECT_EQ(res.readings[r].seconds, want[r]) << "reading " << r;
        if (want[r] > 0) {
            EXPECT_EQ(res.readings[r].earliest.front(), first_want[r]);
        }
    }
}

} // namespace
