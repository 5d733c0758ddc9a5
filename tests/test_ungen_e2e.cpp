// Runs the built gen and ungen together in scratch directories.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "random_bytes.hpp"
#include "run.hpp"
#include "scratch.hpp"
#include "seconds.hpp"

namespace {

const std::string gen = GEN_BIN, ungen = UNGEN_BIN;

int second_rounds(long t)
{
    srand(static_cast<unsigned>(t));
    return rand() % 4011;
}

// The sanitizer build searches a narrower range of seconds, to stay quick.
run_opts search_span()
{
    run_opts o;
#ifdef GEN_SANITIZE
    o.env = {{"UNGEN_TEST_SPAN", std::to_string(1u << 26)}};
#endif
    return o;
}



// Runs gen on flag in s at a second that gives R rounds; returns it.
long encode_at(const scratch &s, const std::string &flag, int R, long from = 1780000000)
{
    long t = second_for_rounds(R, from);
    s.write("flag", flag);
    run_result r = run(s.dir, frozen_at(t, gen), utc());
    EXPECT_EQ(r.status, 0) << r.err;
    return t;
}

TEST(Ungen, RestoresTheFlagOfFrozenRuns)
{
    for (int R : {0, 1, 2, 3, 4010})
        for (size_t n : {1, 2, 7, 100, 2001}) {
            SCOPED_TRACE("R=" + std::to_string(R) + " length " + std::to_string(n));
            scratch s;
            std::string flag = random_bytes(n, 99 + static_cast<unsigned>(n), 1);
            long t = encode_at(s, flag, R, 1780000000 + static_cast<long>(n));
            run_result r = run(s.dir, {ungen, "-t", std::to_string(t)});
            EXPECT_EQ(r.status, 0);
            // gen padded an odd length; the padding goes, with a word.
            EXPECT_EQ(r.err, R > 0 && n % 2 ? "ungen: crypt: dropped a final 0 byte that may be "
                                              "gen's padding (--keep-zero keeps it)\n"
                                            : "");
            EXPECT_TRUE(r.out == flag);
            r = run(s.dir, {ungen, "--time=" + std::to_string(t), "-o", "restored", "crypt"});
            EXPECT_EQ(r.status, 0);
            EXPECT_TRUE(s.read("restored") == flag);
        }
}

TEST(Ungen, FindsTheSecondOfARealRunFromTheFileTime)
{
    scratch s;
    std::string flag = random_bytes(500, 599, 1);
    s.write("flag", flag);
    ASSERT_EQ(run(s.dir, {gen}).status, 0);
    run_result r = run(s.dir, {ungen});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == flag);
}

TEST(Ungen, RejectsWhatDoesNotVerifyAndWritesNothing)
{
    scratch s;
    std::string flag = random_bytes(30, 129, 1);
    long t = encode_at(s, flag, 4010);
    std::string crypt = s.read("crypt");
    std::string changed = crypt;
    size_t digit = crypt.find(' ', crypt.size() / 2) + 5;
    changed[digit] = changed[digit] == '1' ? '2' : '1';
    size_t cut = crypt.find(' ', crypt.size() / 2) + 3;  // inside a number

    struct {
        const char *name;
        std::string content;
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {"a changed digit", changed, {"-t", std::to_string(t)},
         "ungen: crypt: no encoding run matches second " + std::to_string(t) + "\n"},
        {"a truncated file", crypt.substr(0, cut), {"-t", std::to_string(t)},
         "ungen: crypt: byte " + std::to_string(cut) + ": expected a space\n"},
        {"a file short of whole numbers", crypt.substr(0, crypt.rfind(' ', cut) + 1),
         {"-t", std::to_string(t)}, "ungen: crypt: no encoding run matches second " + std::to_string(t) + "\n"},
        {"a malformed number", "12 -0 ", {"-t", std::to_string(t)},
         "ungen: crypt: byte 4: expected a nonzero digit after '-'\n"},
        {"the wrong second", crypt, {"-t", std::to_string(t + 1)},
         "ungen: crypt: no encoding run matches second " + std::to_string(t + 1) + " (at byte 0, "
         "a number longer than " + std::to_string(second_rounds(t + 1)) + " rounds make)\n"},
        {"an inconsistent structure", changed, {"-w", "100"},
         "ungen: crypt: not a crypt of gen: no round count undoes its numbers\n"},
        {"no second in the window", crypt, {"-w", "100"}, "*"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        s.write("crypt", c.content);
        std::vector<std::string> argv{ungen};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        run_result r = run(s.dir, argv);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        if (c.err == "*") {
            EXPECT_EQ(r.err.rfind("ungen: crypt: no encoding run matches the seconds from ", 0), 0u)
                << r.err;
        } else {
            EXPECT_EQ(r.err, c.err);
        }
        argv.insert(argv.end(), {"-o", "restored"});
        EXPECT_EQ(run(s.dir, argv).status, 1);
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
    }
}

// The second of a frozen run in UTC, as date +%s prints it.
long epoch(const char *stamp)
{
    tm t{};
    strptime(stamp, "%Y-%m-%d %H:%M:%S", &t);
    return static_cast<long>(timegm(&t));
}

TEST(Ungen, FindsTheSecondOfACryptYearsOlderThanItsFileTime)
{
    struct {
        const char *made, *touched;
        std::string flag;
    } cases[] = {
        {"2019-03-01 08:00:00", "2022-07-01 00:00:00", random_bytes(40, 2019)},  // below 2^31
        // Text: its bytes are small, so the structure also reads as fewer
        // rounds of doubled bytes; only the deepest reading is right.
        {"2040-03-01 08:00:00", "2043-07-01 00:00:00", "a text flag, as users write them: 40 b."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.made);
        scratch s;
        const std::string &flag = c.flag;
        s.write("flag", flag);
        ASSERT_EQ(run(s.dir, {"faketime", "-f", c.made, gen}, utc()).status, 0);
        timespec when[2] = {{epoch(c.touched), 0}, {epoch(c.touched), 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, s.path("crypt").c_str(), when, 0), 0);

        run_result r = run(s.dir, {ungen, "-v", "-j", "2"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out == flag);
        EXPECT_EQ(r.err.rfind("ungen: crypt: second " + std::to_string(epoch(c.made)) + " (" +
                                  c.made + " UTC), ", 0),
                  0u)
            << r.err;
        // Limited to the day before the file time, the search fails.
        r = run(s.dir, {ungen, "-w", "86400"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ungen: crypt: no encoding run matches the seconds from " +
                             std::to_string(epoch(c.touched) - 86400) + " to " +
                             std::to_string(epoch(c.touched)) + "\n");
        // Without any second, the structure alone gives the same bytes.
        r = run(s.dir, {ungen, "--unverified"});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.out == flag);
        EXPECT_NE(r.err.find("nothing was verified"), std::string::npos) << r.err;
    }
}

TEST(Ungen, ACryptThatNoSecondMakesIsRejectedWithNothingWritten)
{
    // Draws that no second gives: 50 rounds, then arbitrary flips.
    std::string script = "50";
    std::mt19937 rng(50);
    for (int j = 0; j < 50; ++j)
        script += " " + std::to_string(rng() >> 1);
    scratch s;
    std::string flag = random_bytes(40, 51);
    s.write("flag", flag);
    run_opts o;
    o.env = {{"LD_PRELOAD", TRACE_LIB}, {"RAND_SCRIPT", script}};
    ASSERT_EQ(run(s.dir, {gen}, o).status, 0);
    // It is a crypt all the same.
    run_result r = run(s.dir, {ungen, "--unverified"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == flag);

    r = run(s.dir, {ungen, "-o", "restored"}, search_span());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
#ifdef GEN_SANITIZE
    EXPECT_EQ(r.err.rfind("ungen: crypt: no encoding run matches the seconds from ", 0), 0u) << r.err;
#else
    EXPECT_EQ(r.err, "ungen: crypt: no encoding run matches any second gen can be seeded with\n");
#endif
    EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
}

TEST(Ungen, OutputFileIsReplacedOnlyWhenForced)
{
    scratch s;
    long t = encode_at(s, "secret", 7);
    s.write("restored", "mine");
    std::string when = std::to_string(t);
    run_result r = run(s.dir, {ungen, "-t", when, "-o", "restored"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ungen: restored: File exists (use --force to replace it)\n");
    EXPECT_EQ(s.read("restored"), "mine");
    r = run(s.dir, {ungen, "-t", when, "-f", "--output", "restored"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(s.read("restored"), "secret");
    EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag", "restored"}));
}

TEST(Ungen, UsageAndFileErrorsHaveTheirOwnStatus)
{
    scratch s;
    struct {
        std::vector<std::string> args;
        int status;
        std::string err_start;
    } cases[] = {
        {{"--bogus"}, 2, "ungen: unknown option '--bogus'\n"},
        {{"-t"}, 2, "ungen: option '-t' needs an argument\n"},
        {{"-t", "12x"}, 2, "ungen: invalid time: '12x'\n"},
        {{"-w", "-5"}, 2, "ungen: invalid window: '-5'\n"},
        {{"a", "b"}, 2, "ungen: too many arguments\n"},
        {{}, 1, "ungen: crypt: No such file or directory\n"},
        {{"."}, 1, "ungen: .: Is a directory\n"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> argv{ungen};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        run_result r = run(s.dir, argv);
        EXPECT_EQ(r.status, c.status) << argv.back();
        EXPECT_EQ(r.err.substr(0, c.err_start.size()), c.err_start);
        EXPECT_EQ(r.out, "");
    }
    run_result help = run(s.dir, {ungen, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: ungen", 0), 0u);
    run_result version = run(s.dir, {ungen, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "ungen 1.1.0\n");
}

} // namespace
