// Runs the built gen and ungen together in scratch directories.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <sys/stat.h>

#include "random_bytes.hpp"
#include "run.hpp"
#include "scratch.hpp"
#include "seconds.hpp"

namespace {

const std::string gen = GEN_BIN, ungen = UNGEN_BIN;



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
            EXPECT_EQ(r.err, "");
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
         "ungen: crypt: no encoding run matches second " + std::to_string(t + 1) + "\n"},
        {"no second in the window", changed, {"-w", "100"}, "*"},
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
    EXPECT_EQ(version.out, "ungen 1.0.0\n");
}

} // namespace
