#include <gtest/gtest.h>

#include <string>

#include "gen/bi.hpp"
#include "gmp_count.hpp"

namespace {

// Initialises a bi from decimal text, for values beyond a long.
bi make(const char *text)
{
    bi x;
    x.set(0);
    mpz_set_str(x.z, text, 10);
    return x;
}

std::string str(const bi &x)
{
    char *s = mpz_get_str(nullptr, 10, x.z);
    std::string out = s;
    void (*f)(void *, size_t);
    mp_get_memory_functions(nullptr, nullptr, &f);
    f(s, out.size() + 1);
    return out;
}

TEST(Bi, SetAndAssignGiveTheirValue)
{
    for (long v : {0L, 65L, 255L, -1L, 2147483648L, -9223372036854775807L - 1}) {
        bi x;
        x.set(v);
        EXPECT_EQ(str(x), std::to_string(v));
        release(x);
    }
    bi slot;
    bi r = (slot = 0);
    EXPECT_EQ(str(slot), "0");
    EXPECT_EQ(str(r), "0");
    release(slot);
}

struct binop_case {
    const char *a, *b, *sum, *diff;
};

TEST(Bi, AddAndSubtractAreExactAndLeaveOperandsAlone)
{
    const binop_case cases[] = {
        {"65", "66", "131", "-1"},
        {"65", "0", "65", "65"},
        {"65", "65", "130", "0"},
        {"-255", "255", "0", "-510"},
        {"18446744073709551615", "1", "18446744073709551616", "18446744073709551614"},
        {"-340282366920938463463374607431768211456", "340282366920938463463374607431768211455",
         "-1", "-680564733841876926926749214863536422911"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " and " + c.b);
        bi a = make(c.a), b = make(c.b);
        bi s = a + b, d = a - b;
        EXPECT_EQ(str(s), c.sum);
        EXPECT_EQ(str(d), c.diff);
        EXPECT_EQ(str(a), c.a);
        EXPECT_EQ(str(b), c.b);
        for (bi *x : {&a, &b, &s, &d})
            release(*x);
    }
}

TEST(Bi, XorOneFlipsTheTwosComplementLowBit)
{
    const std::pair<const char *, const char *> cases[] = {
        {"4", "5"},   {"65", "64"},   {"0", "1"},       {"-1", "-2"},
        {"-2", "-1"}, {"-3", "-4"},   {"-4", "-3"},     {"-255", "-256"},
        {"255", "254"}, {"-18446744073709551616", "-18446744073709551615"},
    };
    for (const auto &[from, to] : cases) {
        SCOPED_TRACE(from);
        bi x = make(from);
        bi r = (x ^= 1);
        EXPECT_EQ(str(x), to);
        EXPECT_EQ(str(r), to);
        x ^= 1;
        EXPECT_EQ(str(x), from);
        release(x);
    }
}

TEST(Bi, ReplacedValuesAndTemporariesAreReleased)
{
    gmp_count::scope counting;
    bi x, y;
    x.set(3);
    y.set(-7);
    for (int i = 0; i < 1000; ++i) {
        x ^= 1;
        bi s = x + y, d = x - y;
        release(s);
        release(d);
    }
    EXPECT_EQ(gmp_count::live, 2);
    release(x);
    release(y);
    EXPECT_EQ(gmp_count::live, 0);
}

} // namespace
