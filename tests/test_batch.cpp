// The whole-run evaluation must give exactly what the rounds give.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "batch.hpp"
#include "encode.hpp"
#include "files.hpp"
#include "random_bytes.hpp"
#include "scratch.hpp"
#include "scripted_rand.hpp"

namespace {

struct result {
    std::string progress, crypt;
    int draws;
};

result stepwise(const std::string &flag, int R, const std::vector<int> &draws)
{
    scratch s;
    script_draws(draws);
    testing::internal::CaptureStdout();
    int n = static_cast<int>(flag.size());
    bi *cfile = build_elements(reinterpret_cast<const unsigned char *>(flag.data()), n);
    run_rounds(cfile, n, R);
    write_crypt(s.path("crypt").c_str(), cfile, n);
    free_elements(cfile, n);
    fflush(stdout);
    return {testing::internal::GetCapturedStdout(), s.read("crypt"), draws_taken()};
}

result batched(const std::string &flag, int R, const std::vector<int> &draws)
{
    scratch s;
    script_draws(draws);
    testing::internal::CaptureStdout();
    encode_batched(reinterpret_cast<const unsigned char *>(flag.data()),
                   static_cast<int>(flag.size()), R, s.path("crypt").c_str());
    fflush(stdout);
    return {testing::internal::GetCapturedStdout(), s.read("crypt"), draws_taken()};
}

void expect_same(const std::string &flag, int R, const std::vector<int> &draws)
{
    SCOPED_TRACE("length " + std::to_string(flag.size()) + ", R=" + std::to_string(R));
    result a = stepwise(flag, R, draws), b = batched(flag, R, draws);
    EXPECT_EQ(a.draws, R);
    EXPECT_EQ(b.draws, R);
    EXPECT_TRUE(a.progress == b.progress);
    // Compared without printing: a crypt can hold megabytes.
    EXPECT_TRUE(a.crypt == b.crypt) << "crypts differ; sizes " << a.crypt.size() << " and "
                                    << b.crypt.size();
}

std::mt19937 rng(20261208);


std::vector<int> random_draws(int R)
{
    std::uniform_int_distribution<int> any(0, INT_MAX);
    std::vector<int> d(static_cast<size_t>(R));
    for (auto &x : d)
        x = any(rng);
    return d;
}

TEST(Batched, MatchesTheRoundsOnShortInputs)
{
    const int rounds[] = {0, 1, 2, 3, 4010};
    for (size_t n = 0; n <= 64; ++n)
        for (int R : rounds)
            expect_same(random_bytes(n, rng), R, random_draws(R));
}

TEST(Batched, MatchesTheRoundsOnLongInputs)
{
    for (size_t n : {10001, 12000})
        for (int R : {0, 1, 2, 3, 40, 41})
            expect_same(random_bytes(n, rng), R, random_draws(R));
#ifndef GEN_SANITIZE
    // Round by round these take about 80 million allocations: minutes
    // under the sanitizers, seconds without.
    expect_same(random_bytes(10001, rng), 4009, random_draws(4009));
    expect_same(random_bytes(10002, rng), 4010, random_draws(4010));
#endif
}

TEST(Batched, MatchesTheRoundsWhenFlipsPileOnOnePair)
{
    std::vector<int> first(4010), alternate(4010), two(4009);
    for (size_t j = 0; j < first.size(); ++j) {
        first[j] = static_cast<int>(j % 2) * 6;      // 0 and 6 both name element 1 of 6
        alternate[j] = static_cast<int>(j % 3) * 2;  // pairs 0, 1, 2 in turn
    }
    for (size_t j = 0; j < two.size(); ++j)
        two[j] = j % 5 == 0 ? 3 : 1;  // pairs 1 and 0
    expect_same("\xff\x00\x80\x01\x7f\xfe", 4010, first);
    expect_same("\xff\x00\x80\x01\x7f", 4010, alternate);
    expect_same(std::string("\x00\xff\x00\xff\x00", 5), 4009, two);
    expect_same("zz", 3, {1, 1, 1});
}

TEST(Batched, ZeroRoundsLeaveAnOddInputUnpadded)
{
    result r = batched("ABC", 0, {});
    EXPECT_EQ(r.progress, "");
    EXPECT_EQ(r.crypt, "67 66 65 ");
    EXPECT_EQ(r.draws, 0);
}

} // namespace
