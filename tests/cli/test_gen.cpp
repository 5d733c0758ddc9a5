// Runs the built gen in scratch directories with the clock frozen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "oracle.hpp"
#include "random_bytes.hpp"
#include "run.hpp"
#include "scratch.hpp"
#include "seconds.hpp"

namespace {

const std::string gen = GEN_BIN;



struct frozen_case {
    int rounds;
    std::string flag;
};

TEST(Gen, FrozenRunsMatchTheModel)
{
    const frozen_case cases[] = {
        {0, "ABC"},
        {0, ""},
        {1, "A"},
        {1, "AB"},
        {1, random_bytes(7, 1)},
        {2, "hello"},
        {2, ""},
        {4010, random_bytes(37, 2)},
        {4010, random_bytes(64, 3)},
        {4010, std::string("\0\0\xff\x80", 4)},
        {4010, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("R=" + std::to_string(c.rounds) + " length " + std::to_string(c.flag.size()));
        long t = second_for_rounds(c.rounds);
        encoding want = reference(c.flag, static_cast<unsigned>(t));
        ASSERT_EQ(want.rounds, c.rounds);
        scratch s;
        s.write("flag", c.flag);
        s.write("crypt", "an older crypt that must go");
        run_result r = run(s.dir, frozen_at(t, gen), utc());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, want.progress);
        EXPECT_EQ(s.read("crypt"), want.crypt);
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
    }
}

TEST(Gen, SmallRunsGiveTheDocumentedExamples)
{
    struct {
        int rounds;
        std::string flag, out, crypt;
    } cases[] = {
        {0, "ABC", "", "67 66 65 "},
        {1, "A", "0/1\n", "64 65 "},
        {1, "AB", "0/1\n", "-2 131 "},
        {2, std::string("\0\xff", 2), "0/2\n1/2\n", "510 -1 "},
    };
    for (const auto &c : cases) {
        scratch s;
        s.write("flag", c.flag);
        run_result r = run(s.dir, frozen_at(second_for_rounds(c.rounds), gen), utc());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(s.read("crypt"), c.crypt);
    }
}

TEST(Gen, DrawsComeFromTheCLibraryInTheDocumentedOrder)
{
    long t = second_for_rounds(3);
    scratch s;
    s.write("flag", "abcde");
    std::string trace = s.path("trace");
    run_opts o;
    o.env = {{"LD_PRELOAD", preload(TRACE_LIB)}, {"TRACE_FILE", trace}, {"TRACE_TIME", std::to_string(t)}};
    run_result r = run(s.dir, {gen}, o);
    ASSERT_EQ(r.status, 0) << r.err;

    std::string want = "time\nsrand " + std::to_string(t) + "\n";
    srand(static_cast<unsigned>(t));
    for (int i = 0; i < 1 + 3; ++i)
        want += "rand " + std::to_string(rand()) + "\n";
    EXPECT_EQ(s.read("trace"), want);
    EXPECT_EQ(s.read("crypt"), reference("abcde", static_cast<unsigned>(t)).crypt);
}

TEST(Gen, UnreadableFlagStopsBeforeAnyRoundAndKeepsCrypt)
{
    struct {
        const char *name;
        void (*prepare)(const scratch &);
        const char *reason;
    } cases[] = {
        {"missing", [](const scratch &) {}, "No such file or directory"},
        {"a directory", [](const scratch &s) { mkdir(s.path("flag").c_str(), 0755); },
         "Is a directory"},
    };
    long t = second_for_rounds(5);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        scratch s;
        c.prepare(s);
        s.write("crypt", "keep me");
        run_result r = run(s.dir, frozen_at(t, gen), utc());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("gen: flag: ") + c.reason + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(s.read("crypt"), "keep me");
    }
}

TEST(Gen, UnwritableCryptKeepsThePreviousOneAndLeavesNoTemporary)
{
    long t = second_for_rounds(4010);
    std::string flag = random_bytes(64, 4);
    {
        scratch s;
        s.write("flag", flag);
        mkdir(s.path("crypt").c_str(), 0755);
        s.write("crypt/inside", "x");
        run_result r = run(s.dir, frozen_at(t, gen), utc());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "gen: crypt: Is a directory\n");
        EXPECT_EQ(s.read("crypt/inside"), "x");
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
    }
    {
        // The output (about 40 KB) outgrows an 8 KiB file size limit.
        scratch s;
        s.write("flag", flag);
        s.write("crypt", "previous");
        run_result r = run(s.dir, {"bash", "-c", "ulimit -f 8 && exec faketime -f '" +
                                                     utc_stamp(t) + "' " + sh_quote(gen)},
                           utc());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "gen: crypt: File too large\n");
        EXPECT_EQ(s.read("crypt"), "previous");
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
    }
}

TEST(Gen, LostStandardOutputDoesNotStopTheRun)
{
    long t = second_for_rounds(4010);
    std::string flag = random_bytes(20, 5);
    encoding want = reference(flag, static_cast<unsigned>(t));
    for (out_mode m : {out_mode::closed, out_mode::broken_pipe}) {
        scratch s;
        s.write("flag", flag);
        run_opts o = utc();
        o.out = m;
        run_result r = run(s.dir, frozen_at(t, gen), o);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(s.read("crypt"), want.crypt);
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
    }
}

#ifndef GEN_SANITIZE
// The sanitizers bring allocators of their own.
TEST(Gen, ExhaustedMemoryIsReportedAndKeepsCrypt)
{
    // A small input is encoded round by round, a large one as a whole.
    for (size_t size : {1000, 100000}) {
        SCOPED_TRACE(size);
        scratch s;
        s.write("flag", std::string(size, 'x'));
        s.write("crypt", "previous");
        run_opts o = utc();
        o.env.emplace_back("LD_PRELOAD", preload(FAIL_MALLOC_LIB));
        o.env.emplace_back("FAIL_MALLOC_AT", "16000");
        run_result r = run(s.dir, frozen_at(second_for_rounds(0), gen), o);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "gen: out of memory\n");
        EXPECT_EQ(s.read("crypt"), "previous");
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
    }
}
#endif

} // namespace
