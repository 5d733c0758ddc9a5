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
            crypt_numbers numbers = numbers_of(encode_with_draws(flag, draws));
            crypt_structure st = read_structure(numbers);
            std::string want = flag;
            if (R > 0 && len % 2)
                want += '\0';
            auto r = std::find_if(st.readings.begin(), st.readings.end(),
                                  [&](const crypt_structure::reading &x) { return x.rounds == R; });
            ASSERT_NE(r, st.readings.end());
            std::vector<unsigned char> bytes;
            ASSERT_TRUE(decode_reading(numbers, st, R, bytes));
            EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == want);
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

TEST(Search, CountsEveryMatchAsTheCLibraryDrawsInOrderAndByOrbit)
{
    // One pair: every second whose round count fits matches. The ranges
    // hold the seconds no orbit window does: 2^31 - 1, 2^31 and 2^31 + 1,
    // and 0 with 2^32 - 1 as the range runs round.
    crypt_structure st =
        read_structure(numbers_of(encode("A", static_cast<uint32_t>(second_for_rounds(7)))));
    ASSERT_GT(st.readings.size(), 1u);
    for (uint32_t newest : {0x80000000u + 100000, 100000u}) {
        SCOPED_TRACE(newest);
        search_plan plan;
        plan.newest = newest;
        plan.span = 1u << 18;
        plan.jobs = 2;
        std::vector<reading_matches> want(st.readings.size());
        for (uint64_t k = 0; k < plan.span; ++k) {
            uint32_t s = static_cast<uint32_t>(plan.newest - k);
            srand(s);
            int R = rand() % 4011;
            for (size_t r = 0; r < st.readings.size(); ++r)
                if (st.readings[r].rounds == R)
                    want[r].add(s, k);
        }
        for (bool orbit : {false, true}) {
            SCOPED_TRACE(orbit ? "by orbit" : "in order");
            search_result res = orbit ? search_by_units(st, plan, {})
                                      : search_in_order(st, plan, 0, plan.span, false, {});
            for (size_t r = 0; r < st.readings.size(); ++r) {
                EXPECT_EQ(res.matches[0][r].seconds, want[r].seconds) << "reading " << r;
                EXPECT_EQ(res.matches[0][r].ranks, want[r].ranks) << "reading " << r;
                EXPECT_EQ(res.matches[0][r].nearest, want[r].nearest) << "reading " << r;
            }
        }
        // Stopping at the first match finds the one with the lowest rank.
        uint64_t lowest = UINT64_MAX;
        for (const auto &w : want)
            if (!w.ranks.empty())
                lowest = std::min(lowest, w.ranks[0]);
        search_result first = search_in_order(st, plan, 0, plan.span, true, {});
        ASSERT_TRUE(first.found());
        EXPECT_EQ(first.first().rank, lowest);
    }
}

TEST(Search, AFamilyScreenedAlongAnothersWalkMatchesAsInItsOwn)
{
    // FreeBSD 13's seconds, screened along glibc's orbit walk and kept for
    // a later plan, are those of a walk of its own.
    crypt_structure st =
        read_structure(numbers_of(encode("A", static_cast<uint32_t>(second_for_rounds(7)))));
    search_plan glibc, freebsd;
    glibc.newest = freebsd.newest = 0x80000000u + 100000;
    glibc.span = freebsd.span = 1u << 18;
    glibc.jobs = freebsd.jobs = 2;
    freebsd.families = {find_family("freebsd")};
    search_result alone = search_by_units(st, freebsd, {});
    shared_walk shared{freebsd.families, {}, {}};
    glibc.shared = freebsd.shared = &shared;
    search_by_units(st, glibc, {});
    ASSERT_EQ(shared.walked, freebsd.families);
    search_result taken = search_by_units(st, freebsd, {});
    uint64_t seconds = 0;
    for (size_t r = 0; r < st.readings.size(); ++r) {
        EXPECT_EQ(taken.matches[0][r].seconds, alone.matches[0][r].seconds) << "reading " << r;
        EXPECT_EQ(taken.matches[0][r].ranks, alone.matches[0][r].ranks) << "reading " << r;
        EXPECT_EQ(taken.matches[0][r].nearest, alone.matches[0][r].nearest) << "reading " << r;
        seconds += alone.matches[0][r].seconds;
    }
    EXPECT_GT(seconds, 0u);
}

TEST(Search, MatchesMergeTheSameWhateverTheOrder)
{
    // Seconds around newest = 1000, on both sides and across 0; 1001 is as
    // near as 999, which comes first in search order.
    const uint32_t newest = 1000;
    std::vector<uint32_t> seconds{990, 1010, 5, 4294967000u, 993, 1007, 2000, 1001, 999};
    auto rank = [&](uint32_t s) { return uint64_t{static_cast<uint32_t>(newest - s)}; };
    std::mt19937 order(5);
    for (int trial = 0; trial < 20; ++trial) {
        std::shuffle(seconds.begin(), seconds.end(), order);
        // Added in two parts, as two threads would, then merged.
        reading_matches a, b;
        for (size_t i = 0; i < seconds.size(); ++i)
            (i % 3 == 0 ? a : b).add(seconds[i], rank(seconds[i]));
        (trial % 2 ? a : b).merge(trial % 2 ? b : a);
        const reading_matches &all = trial % 2 ? a : b;
        EXPECT_EQ(all.seconds, seconds.size());
        EXPECT_EQ(all.nearest, 999u);
        EXPECT_EQ(all.ranks, (std::vector<uint64_t>{1, 7, 10, 995, 1296}));
    }
}

} // namespace
