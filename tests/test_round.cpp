#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gen/gen.hpp"
#include "gmp_count.hpp"
#include "scripted_rand.hpp"

namespace {

using values = std::vector<std::string>;

struct sequence {
    bi *cfile;
    int n;
    explicit sequence(const values &v) : n(static_cast<int>(v.size()))
    {
        cfile = static_cast<bi *>(malloc((v.size() + 1) * sizeof(bi)));
        for (int i = 0; i < n; ++i) {
            cfile[i].set(0);
            mpz_set_str(cfile[i].z, v[i].c_str(), 10);
        }
    }
    ~sequence() { gen::free_elements(cfile, n); }
    values get() const
    {
        values out;
        for (int i = 0; i < n; ++i) {
            char *s = mpz_get_str(nullptr, 10, cfile[i].z);
            out.emplace_back(s);
            free(s);
        }
        return out;
    }
};

struct round_case {
    const char *name;
    values start;
    std::vector<int> draws;       // one per round
    std::vector<values> after;    // the sequence after each round
};

TEST(Round, KnownAnswers)
{
    const round_case cases[] = {
        {"one element is padded and its pair flipped", {"65"}, {12345}, {{"65", "64"}}},
        {"pair sum and difference", {"65", "66"}, {7}, {{"131", "-2"}}},
        {"odd length pads once",
         {"65", "66", "67"},
         {0, 3},
         {{"131", "-2", "67", "67"}, {"129", "133", "134", "1"}}},
        {"negative values flip towards zero and away",
         {"0", "255"},
         {1, 1},
         {{"255", "-256"}, {"-1", "510"}}},
        {"remainder 0 flips index 1", {"1", "2", "3", "4"}, {4}, {{"3", "-2", "7", "-1"}}},
        {"remainder 1 flips index 1", {"1", "2", "3", "4"}, {5}, {{"3", "-2", "7", "-1"}}},
        {"remainder 2 flips index 3", {"1", "2", "3", "4"}, {6}, {{"3", "-1", "7", "-2"}}},
        {"remainder 3 flips index 3", {"1", "2", "3", "4"}, {2147483647}, {{"3", "-1", "7", "-2"}}},
        {"an unflipped pair doubles every two rounds",
         {"5", "9", "200", "17"},
         {2, 2},
         {{"14", "-4", "217", "182"}, {"10", "18", "399", "34"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sequence s(c.start);
        script_draws(c.draws);
        for (size_t j = 0; j < c.after.size(); ++j) {
            gen::scramble(s.cfile, s.n);
            EXPECT_EQ(s.get(), c.after[j]) << "after round " << j;
        }
        EXPECT_EQ(draws_taken(), static_cast<int>(c.draws.size()));
    }
}

TEST(Round, EmptySequenceTakesItsDrawAndChangesNothing)
{
    sequence s({});
    script_draws({5, 6, 7});
    for (int j = 0; j < 3; ++j)
        gen::scramble(s.cfile, s.n);
    EXPECT_EQ(s.n, 0);
    EXPECT_EQ(draws_taken(), 3);
}

TEST(Round, ReplacedValuesAreReleased)
{
    gmp_count::scope counting;
    {
        sequence s({"1", "2", "3", "4", "5"});
        std::vector<int> draws(300);
        for (size_t i = 0; i < draws.size(); ++i)
            draws[i] = static_cast<int>(i * 7);
        script_draws(draws);
        for (int j = 0; j < 300; ++j)
            gen::scramble(s.cfile, s.n);
        EXPECT_EQ(gmp_count::live, 6);
    }
    EXPECT_EQ(gmp_count::live, 0);
}

} // namespace
