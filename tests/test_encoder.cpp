// The encoder: the whole-run evaluation must give exactly what the rounds
// give, and the text goes out through the write callback.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gen/gen.hpp"
#include "random_bytes.hpp"
#include "scripted_rand.hpp"
#include "seconds.hpp"
#include "writer.hpp"

namespace {

struct result {
    std::string progress, crypt;
    int draws;
};

// Collects what the encoder passes on.
struct collected {
    result r;
    gen::write_fn write = [this](const char *p, size_t len) {
        r.crypt.append(p, len);
        return 0;
    };
    gen::round_fn line = [this](int j, int R) {
        r.progress += std::to_string(j) + "/" + std::to_string(R) + "\n";
    };
};

result stepwise(const std::string &flag, int R, const std::vector<int> &draws)
{
    collected c;
    script_draws(draws);
    int n = static_cast<int>(flag.size());
    bi *cfile = gen::build_elements(reinterpret_cast<const unsigned char *>(flag.data()), n);
    for (int j = 0; j < R; ++j) {
        c.line(j, R);
        gen::scramble(cfile, n);
    }
    EXPECT_EQ(gen::write_elements(cfile, n, c.write), 0);
    gen::free_elements(cfile, n);
    c.r.draws = draws_taken();
    return c.r;
}

result batched(const std::string &flag, int R, const std::vector<int> &draws)
{
    collected c;
    script_draws(draws);
    EXPECT_EQ(gen::encode_rounds(reinterpret_cast<const unsigned char *>(flag.data()),
                                 static_cast<int>(flag.size()), R, c.write, c.line),
              0);
    c.r.draws = draws_taken();
    return c.r;
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

TEST(Encode, GivesTheTextOfTheRunAtASecond)
{
    const struct {
        int rounds;
        const char *flag, *crypt;
    } cases[] = {
        {0, "ABC", "67 66 65 "},  // as it is, last first
        {1, "A", "64 65 "},       // padded, stepped, flipped
        {1, "AB", "-2 131 "},
    };
    for (const auto &c : cases) {
        uint32_t t = static_cast<uint32_t>(second_for_rounds(c.rounds));
        EXPECT_EQ(gen::encode(reinterpret_cast<const unsigned char *>(c.flag), strlen(c.flag), t),
                  c.crypt);
    }
}

TEST(Writer, WritesEveryNumberWholeAndStopsAtTheFirstFailedWrite)
{
    // Reversed; -10^5000 is longer than the 64-byte buffer.
    const char *values[] = {"0", "-1", "255", "-123456789012345678901234567890", "7", nullptr};
    std::vector<bi> cfile(6);
    for (size_t i = 0; i < cfile.size(); ++i) {
        cfile[i].set(0);
        if (values[i])
            mpz_set_str(cfile[i].z, values[i], 10);
        else
            mpz_ui_pow_ui(cfile[i].z, 10, 5000), mpz_neg(cfile[i].z, cfile[i].z);
    }
    collected c;
    gen::text_sink out(c.write, 64);
    for (int j = 5; j >= 0; --j)
        gen::put_number(out, cfile[static_cast<size_t>(j)].z);
    EXPECT_EQ(out.flush(), 0);
    EXPECT_EQ(c.r.crypt, "-1" + std::string(5000, '0') + " 7 -123456789012345678901234567890 255 -1 0 ");
    c.r.crypt.clear();
    EXPECT_EQ(gen::write_elements(cfile.data(), 5, c.write), 0);
    EXPECT_EQ(c.r.crypt, "7 -123456789012345678901234567890 255 -1 0 ");

    // After a failed write nothing more is passed on, and the error comes back.
    int calls = 0;
    gen::write_fn full = [&](const char *, size_t) { return ++calls == 2 ? ENOSPC : 0; };
    std::vector<unsigned char> bytes(300000, 'x');
    EXPECT_EQ(gen::encode_rounds(bytes.data(), static_cast<int>(bytes.size()), 4010, full), ENOSPC);
    EXPECT_EQ(calls, 2);
    for (auto &x : cfile)
        release(x);
}

} // namespace
