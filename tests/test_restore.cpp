// gen::restore in process: what it decides for crypts that verify, that do
// not, and that no second makes, with the second given or searched for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <thread>

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
    const std::string every = ", with the rand() of glibc, musl, msvc, macos, freebsd, freebsd10, "
                              "netbsd, newlib, klibc or dietlibc";
    gen::restore_options glibc_at_t1 = at_second(t + 1);
    glibc_at_t1.libc = {"glibc"};

    const struct {
        const char *name;
        std::string crypt;
        gen::restore_options o;
        gen::status kind;
        std::string message;
    } cases[] = {
        {"a changed digit", changed, at_second(t), gen::status::no_match,
         "no encoding run matches second " + T + every},
        {"a truncated crypt", crypt.substr(0, cut), at_second(t), gen::status::malformed,
         "byte " + std::to_string(cut) + ": the crypt ends inside a number: it may have been cut short"},
        {"the wrong second", crypt, glibc_at_t1, gen::status::no_match,
         "no encoding run matches second " + T1 + ", with glibc's rand() (at byte 0, a number longer than " +
             R1 + " rounds make)"},
        {"an inconsistent structure", changed, searching(t, 100), gen::status::not_a_crypt,
         "not a crypt of gen: no round count undoes its numbers"},
        {"no second in the window", crypt, searching(t - 1, 1000), gen::status::no_match,
         "no encoding run matches the seconds from " + std::to_string(t - 1001) + " to " +
             std::to_string(t - 1) + every + ": --unverified decodes its structure without the second"},
        {"a C library no family has", crypt, [] {
             gen::restore_options o;
             o.libc = {"glibc", "bionic"};
             return o;
         }(), gen::status::no_such_libc, "no C library's rand() is named 'bionic'"},
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
        bool reads_twice;
    } cases[] = {
        {1551427200u, 1553427200u, random_bytes(40, 2019), false},  // 23 days back, in 2019
        // Beyond 2^31. Text: its bytes are small, so the structure also
        // reads as fewer rounds of doubled bytes, which no second makes.
        {2214201600u, 2216201600u, "a text flag, as users write them: 40 b.", true},
        {4294966000u, 100000u, random_bytes(50, 20), false},  // the search wraps through 0
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.made);
        std::string crypt = encode(c.flag, c.made);
        srand(c.made);
        int R = rand() % 4011;
        gen::restored r;
        for (int jobs : {1, 2, 3, 100000}) {
            r = gen::restore(crypt, searching(c.newest, (c.newest - c.made) + 5000u, jobs));
            ASSERT_TRUE(r.ok) << r.message;
            EXPECT_EQ(r.second, c.made);
            EXPECT_EQ(r.rounds, R);
            EXPECT_TRUE(text(r.bytes) == c.flag);
        }

        // Only the day before it, the search fails.
        r = gen::restore(crypt, searching(c.newest, 86400));
        EXPECT_EQ(r.kind, gen::status::no_match);
        // The structure alone gives the same bytes, unverified, where it
        // reads one way only (text reads two ways: its round count picks).
        gen::restore_options o;
        o.unverified = true;
        if (c.reads_twice)
            o.rounds = R;
        r = gen::restore(crypt, o);
        EXPECT_TRUE(r.ok && r.unverified);
        EXPECT_TRUE(text(r.bytes) == c.flag);
    }
}

struct rule_case {
    const char *name;
    std::string flag;
    int rounds;              // of the run that made the crypt
    uint32_t later;          // the search starts this long after its second
    gen::restore_options o;  // newest is set from later; window 2^22 unless given
    gen::status kind;
    bool by_window;      // ok, chosen by the day before newest
    size_t candidates;   // listed
    int newest_rounds = -1;  // newest: instead, the first second after it that draws this many
};

gen::restore_options rounds(int R, bool unverified = false)
{
    gen::restore_options o;
    o.rounds = R;
    o.unverified = unverified;
    return o;
}

gen::restore_options window(uint64_t w)
{
    gen::restore_options o;
    o.window = w;
    return o;
}

gen::restore_options unverified()
{
    gen::restore_options o;
    o.unverified = true;
    return o;
}

TEST(Restore, WritesBytesOnlyWhereOneResultIsSupported)
{
    // Text also reads as the doubled bytes of two rounds fewer; at low
    // round counts seconds make those by chance. One pair reads as any
    // round count its first draw gives.
    const std::string prose = text_bytes(1000, 13);
    using s = gen::status;
    const rule_case cases[] = {
        {"text, 12 rounds: no other result is possible", prose, 12, 60, {}, s::ok, false, 0},
        {"text, 11 rounds: only the day tells", prose, 11, 60, {}, s::ok, true, 1},
        {"text, 11 rounds, a day later: the window tells", prose, 11, 86454, {}, s::ok, true, 1},
        {"text, 12 rounds, the largest window", prose, 12, 60, window(UINT64_MAX), s::ok, false, 0},
        {"text, 2 rounds, a day later: both verify", prose, 2, 86454, {}, s::ambiguous, false, 2},
        {"text, 2 rounds, a day later, --rounds 2", prose, 2, 86454, rounds(2), s::ok, false, 0},
        {"text, 2 rounds, --rounds 3 is no reading", prose, 2, 60, rounds(3), s::no_such_rounds, false, 0},
        {"two bytes, 10 hours later: each reading made in the day", "hi", 5, 36000, {}, s::ambiguous,
         false, 3},
        {"unverified, several results", "aabbccde", 100, 0, unverified(), s::ambiguous, false, 3},
        {"unverified, --rounds 100", "aabbccde", 100, 0, rounds(100, true), s::ok, false, 0},
        // The reading of no rounds keeps a final 0 that a reading of some
        // rounds drops: two results, both made by chance every day.
        {"one byte, 2 rounds, newest at a second of 0 rounds", "\x01", 2, 0, {}, s::ambiguous, false, 2, 0},
        {"1 and 0, 0 rounds, newest a second later", std::string("\x01\0", 2), 0, 1, {}, s::ambiguous,
         false, 2},
        {"1 and zeros, 2 rounds, a day later", std::string("\x01\0\0\0", 4), 2, 90000, {}, s::ambiguous,
         false, 2},
        // A window that leaves the true second out: what chance makes in
        // it tells nothing.
        {"text, 2 rounds, a window 10 days later", "The quick brown fox jumps over the lazy dog.", 2,
         10 * 86400, window(86400), s::ambiguous, false, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t t = static_cast<uint32_t>(second_for_rounds(c.rounds, 1765200000));
        std::string crypt = encode(c.flag, t);
        gen::restore_options o = c.o;
        o.newest = t + c.later;
        if (c.newest_rounds >= 0)
            o.newest = static_cast<uint32_t>(second_for_rounds(c.newest_rounds, t + 1));
        o.window = o.window ? o.window : std::optional<uint64_t>(1u << 22);
        o.jobs = 2;
        gen::restored r = gen::restore(crypt, o);
        EXPECT_EQ(r.kind, c.kind) << r.message;
        EXPECT_EQ(r.chosen_by_window, c.by_window);
        EXPECT_EQ(r.candidates.size(), c.candidates);
        if (r.ok) {
            EXPECT_TRUE(text(r.bytes) == c.flag);
            EXPECT_EQ(r.rounds, c.rounds);
            EXPECT_EQ(r.second, c.o.unverified ? 0u : t);
        } else {
            EXPECT_TRUE(r.bytes.empty());
        }
        if (r.kind == s::ambiguous && c.flag.size() > 4 && c.o.window != 86400u) {
            // The true result is among them, and text comes first.
            const gen::candidate &first = r.candidates.front();
            EXPECT_TRUE(std::string(first.head.begin(), first.head.end()) ==
                        c.flag.substr(0, first.head.size()));
            EXPECT_TRUE(first.text);
            EXPECT_EQ(first.searched, !c.o.unverified);
            if (first.searched) {
                EXPECT_LE(static_cast<uint32_t>(*o.newest - first.nearest), c.later);
            }
        }
    }
}

TEST(Restore, OnePairThatCyclesAmongZerosIsOneResult)
{
    // Every depth decodes, to the same bytes: one result of some rounds,
    // at no cost per depth for the zeros, and one of no rounds, which
    // keeps the final 0 that the others drop as gen's padding.
    std::string crypt;
    for (int i = 0; i < 199999; ++i)
        crypt += "0 ";
    crypt += "1 ";
    gen::restored r = gen::restore(crypt, unverified());
    ASSERT_EQ(r.kind, gen::status::ambiguous) << r.message;
    ASSERT_EQ(r.candidates.size(), 2u);
    EXPECT_EQ(r.candidates[0].rounds.size() + r.candidates[1].rounds.size(), 4011u);
    gen::restore_options keep = unverified();
    keep.keep_zero = true;
    r = gen::restore(crypt, keep);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.rounds, gen::most_rounds);
    ASSERT_EQ(r.bytes.size(), 200000u);
    EXPECT_EQ(r.bytes[0], 1);
    EXPECT_EQ(std::count(r.bytes.begin(), r.bytes.end(), 0), 199999);
    gen::restore_options none = searching(1765200000u, 0);
    EXPECT_EQ(gen::restore(crypt, none).kind, gen::status::no_match);
}

TEST(Restore, ADescriptorThatIsNoneAndSecondZeroAreTakenAsTheyAre)
{
    // A negative descriptor is no empty crypt.
    for (const gen::restore_options &o : {gen::restore_options{}, at_second(5)}) {
        gen::restored r = gen::restore_fd(-1, o);
        EXPECT_EQ(r.kind, gen::status::read_failed);
        EXPECT_EQ(r.err, EBADF);
    }
    // Second 0 is a second, not "now".
    std::string flag = text_bytes(50, 0);
    gen::restore_options o = searching(0, 5);
    o.libc = {"glibc"};
    gen::restored r = gen::restore(encode(flag, 0), o);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.second, 0u);
    EXPECT_TRUE(text(r.bytes) == flag);
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

TEST(Restore, EveryFamilysCryptRestoresWithItsNameSearchedOrAtItsSecond)
{
    // Each family's crypt of the same text at the same second, searched
    // from an hour later and given the second; with glibc alone, only
    // glibc's restores.
    const std::string flag = "The quick brown fox jumps over the lazy dog.";
    const uint32_t t = 1765432101;
    for (const gen::libc_family &f : gen::libc_families()) {
        SCOPED_TRACE(f.name);
        std::optional<std::string> crypt =
            gen::encode(reinterpret_cast<const unsigned char *>(flag.data()), flag.size(), t, f.name);
        ASSERT_TRUE(crypt);
        gen::restore_options glibc = searching(t + 3600, 2 * 86400);
        glibc.libc = {"glibc"};
        for (const gen::restore_options &o : {searching(t + 3600, 2 * 86400), at_second(t), glibc}) {
            gen::restored r = gen::restore(*crypt, o);
            if (!o.libc.empty() && f.name != "glibc") {
                EXPECT_EQ(r.kind, gen::status::no_match) << r.message;
                continue;
            }
            ASSERT_TRUE(r.ok) << r.message;
            EXPECT_EQ(r.libc, f.name);
            EXPECT_EQ(r.libc_rand, f.rand);
            EXPECT_EQ(r.second, t);
            EXPECT_TRUE(text(r.bytes) == flag);
        }
    }
    EXPECT_FALSE(gen::encode(nullptr, 0, t, "bionic"));
    EXPECT_EQ(encode(flag, t), *gen::encode(reinterpret_cast<const unsigned char *>(flag.data()),
                                            flag.size(), t, "glibc"));
}

TEST(Restore, ThreadsRestoreAtOnceAndTheCallersRandIsUntouched)
{
    srand(424242);
    std::vector<int> want;
    for (int i = 0; i < 3; ++i)
        want.push_back(rand());
    srand(424242);
    std::vector<int> got{rand()};

    // Two crypts of two families, restored at once by search.
    const uint32_t t = 1765432101;
    std::string a = random_bytes(48, 48), b = text_bytes(48, 49);
    std::string ca = encode(a, t), cb = *gen::encode(reinterpret_cast<const unsigned char *>(b.data()),
                                                     b.size(), t + 7, "musl");
    gen::restored ra, rb;
    std::thread other([&] { ra = gen::restore(ca, searching(t + 600, 86400, 1)); });
    rb = gen::restore(cb, searching(t + 600, 86400, 1));
    other.join();
    EXPECT_TRUE(ra.ok && text(ra.bytes) == a) << ra.message;
    EXPECT_TRUE(rb.ok && text(rb.bytes) == b && rb.libc == "musl") << rb.message;
    gen::restore(ca, at_second(t));

    got.push_back(rand());
    got.push_back(rand());
    EXPECT_EQ(got, want);
}

} // namespace
