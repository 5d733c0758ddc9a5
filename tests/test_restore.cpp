// gen::restore in process: what it decides for crypts that verify, that do
// not, and that no second makes, with the second given or searched for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypts.hpp"
#include "gen/gen.hpp"
#include "random_bytes.hpp"
#include "seconds.hpp"

namespace {

std::string text(const std::vector<unsigned char> &b) { return std::string(b.begin(), b.end()); }

gen::restore_options at_second(uint32_t t)
{
    gen::restore_options o;
    o.second = t;
    return o;
}

gen::restore_options searching(uint32_t newest, uint64_t window, int jobs = 2)
{
    gen::restore_options o;
    o.newest = newest;
    o.window = window;
    o.jobs = jobs;
    return o;
}

TEST(Restore, RejectsWhatDoesNotVerify)
{
    std::string flag = random_bytes(30, 129, 1);
    uint32_t t = static_cast<uint32_t>(second_for_rounds(4010, 1780000000));
    std::string crypt = encode(flag, t);
    std::string changed = crypt;
    size_t digit = crypt.find(' ', crypt.size() / 2) + 5;
    changed[digit] = changed[digit] == '1' ? '2' : '1';
    size_t cut = crypt.find(' ', crypt.size() / 2) + 3;  // inside a number
    std::string T = std::to_string(t), T1 = std::to_string(t + 1);
    srand(t + 1);
    std::string R1 = std::to_string(rand() % 4011);

    const struct {
        const char *name;
        std::string crypt;
        gen::restore_options o;
        gen::status kind;
        std::string message;
    } cases[] = {
        {"a changed digit", changed, at_second(t), gen::status::no_match,
         "no encoding run matches second " + T},
        {"a truncated crypt", crypt.substr(0, cut), at_second(t), gen::status::malformed,
         "byte " + std::to_string(cut) + ": expected a space"},
        {"the wrong second", crypt, at_second(t + 1), gen::status::no_match,
         "no encoding run matches second " + T1 + " (at byte 0, a number longer than " + R1 +
             " rounds make)"},
        {"an inconsistent structure", changed, searching(t, 100), gen::status::not_a_crypt,
         "not a crypt of gen: no round count undoes its numbers"},
        {"no second in the window", crypt, searching(t - 1, 1000), gen::status::no_match,
         "no encoding run matches the seconds from " + std::to_string(t - 1001) + " to " +
             std::to_string(t - 1)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        gen::restored r = gen::restore(c.crypt, c.o);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.message, c.message);
        EXPECT_TRUE(r.bytes.empty());
    }
}

TEST(Restore, FindsTheSecondFromWhereverTheSearchStartsWhateverTheThreads)
{
    const struct {
        uint32_t made, newest;
        std::string flag;
    } cases[] = {
        {1551427200u, 1553427200u, random_bytes(40, 2019)},  // 23 days back, in 2019
        // Beyond 2^31. Text: its bytes are small, so the structure also
        // reads as fewer rounds of doubled bytes; only the deepest is right.
        {2214201600u, 2216201600u, "a text flag, as users write them: 40 b."},
        {4294966000u, 100000u, random_bytes(50, 20)},  // the search wraps through 0
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.made);
        std::string crypt = encode(c.flag, c.made);
        srand(c.made);
        int R = rand() % 4011;
        gen::restored r;
        for (int jobs : {1, 2, 3}) {
            r = gen::restore(crypt, searching(c.newest, (c.newest - c.made) + 5000u, jobs));
            ASSERT_TRUE(r.ok) << r.message;
            EXPECT_EQ(r.second, c.made);
            EXPECT_EQ(r.rounds, R);
            EXPECT_TRUE(text(r.bytes) == c.flag);
        }

        // Only the day before it, the search fails.
        r = gen::restore(crypt, searching(c.newest, 86400));
        EXPECT_EQ(r.kind, gen::status::no_match);
        // The structure alone gives the same bytes, unverified.
        gen::restore_options o;
        o.unverified = true;
        r = gen::restore(crypt, o);
        EXPECT_TRUE(r.ok && r.unverified);
        EXPECT_TRUE(text(r.bytes) == c.flag);
    }
}

TEST(Restore, FindsASecondAfterWhereTheSearchStartsAfterAllTheOthers)
{
    // Last in search order: the whole range goes by, along the orbit.
    std::string flag = random_bytes(64, 64);
    uint32_t made = 0x80000000u + 12345;
    gen::restored r = gen::restore(encode(flag, made), searching(made - 1, UINT32_MAX));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.second, made);
    EXPECT_TRUE(text(r.bytes) == flag);
}

} // namespace
