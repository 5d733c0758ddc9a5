// Runs the built gen and ungen together in scratch directories.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>

#include "gen/gen.hpp"
#include "gen/version.hpp"
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
            // gen padded an odd length: the padding goes, quietly, as no
            // other byte is 0.
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
    run_result r = run(s.dir, {ungen, "-v"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == flag);
    // "second S (its UTC date), R rounds", S at most the file time.
    long t = std::atol(r.err.c_str() + r.err.find("second ") + 7);
    struct stat st;
    ASSERT_EQ(stat(s.path("crypt").c_str(), &st), 0);
    EXPECT_LE(st.st_mtime - t, 10);
    srand(static_cast<unsigned>(t));
    EXPECT_EQ(r.err, "ungen: crypt: second " + std::to_string(t) + " (" + utc_stamp(t) + " UTC), " +
                         std::to_string(rand() % 4011) + " rounds, glibc's rand()\n");

    r = run(s.dir, {ungen, "--unverified"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == flag);
    EXPECT_NE(r.err.find("nothing was verified"), std::string::npos) << r.err;
}

TEST(Ungen, RejectsWhatDoesNotVerifyAndWritesNothing)
{
    scratch s;
    long t = encode_at(s, random_bytes(30, 129, 1), 4010);
    std::string crypt = s.read("crypt");
    crypt[crypt.find(' ', crypt.size() / 2) + 5] ^= 1;  // another digit
    s.write("crypt", crypt);
    // With the second, and by the structure alone: the library's words.
    for (auto args : {std::vector<std::string>{"-t", std::to_string(t)}, {"-w", "100"}}) {
        gen::restore_options o;
        if (args[0] == "-t")
            o.second = static_cast<uint32_t>(t);
        std::vector<std::string> argv{ungen, args[0], args[1]};
        run_result r = run(s.dir, argv);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "ungen: crypt: " + gen::restore(crypt, o).message + "\n");
        argv.insert(argv.end(), {"-o", "restored"});
        EXPECT_EQ(run(s.dir, argv).status, 1);
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
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
    s.write("flag", random_bytes(40, 51));
    run_opts o;
    o.env = {{"LD_PRELOAD", preload(TRACE_LIB)}, {"RAND_SCRIPT", script}};
    ASSERT_EQ(run(s.dir, {gen}, o).status, 0);
    run_result r = run(s.dir, {ungen, "-o", "restored"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ungen: crypt: no encoding run matches any second gen can be seeded with, with the "
                     "rand() of glibc, musl, msvc, macos, freebsd, freebsd10, netbsd, newlib, klibc or "
                     "dietlibc: --unverified decodes its structure without the second\n");
    EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
}

TEST(Ungen, NamesTheCLibraryWhoseDrawsMadeTheCrypt)
{
    // A crypt of every family, an hour before its modification time: found
    // by the search and at its second, and -v names the family; with
    // --libc glibc only glibc's is found.
    const std::string flag = "The quick brown fox jumps over the lazy dog.";
    const uint32_t t = 1765432101;
    const std::string T = std::to_string(t), when = " (" + utc_stamp(t) + " UTC), ";
    for (const gen::libc_family &f : gen::libc_families()) {
        SCOPED_TRACE(f.name);
        scratch s;
        s.write("crypt", *gen::encode(reinterpret_cast<const unsigned char *>(flag.data()), flag.size(),
                                      t, f.name));
        timespec mtime[2] = {{t + 3600, 0}, {t + 3600, 0}};
        utimensat(AT_FDCWD, s.path("crypt").c_str(), mtime, 0);
        gen::restore_options at;
        at.second = t;
        std::string rounds = std::to_string(gen::restore(s.read("crypt"), at).rounds) + " rounds, ";
        for (auto args : {std::vector<std::string>{ungen, "-v", "-w", "172800"},
                          std::vector<std::string>{ungen, "-v", "-t", T}}) {
            run_result r = run(s.dir, args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(r.out == flag);
            EXPECT_EQ(r.err.substr(0, r.err.find(';')).substr(0, r.err.find('\n')),
                      "ungen: crypt: second " + T + when + rounds + f.rand);
        }
        run_result r = run(s.dir, {ungen, "--libc", "glibc", "-w", "172800"});
        EXPECT_EQ(r.status, f.name == "glibc" ? 0 : 1) << r.err;
        if (f.name != "glibc") {
            EXPECT_EQ(r.err.rfind("ungen: crypt: no encoding run matches the seconds from", 0), 0u) << r.err;
        }
    }
    run_result help = run(".", {ungen, "--libc", "help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  musl       musl 0.9.11 and later"), std::string::npos) << help.out;
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
        // The seconds gen can be seeded with, and options that exclude each other.
        {{"-t", "6060169870"}, 2, "ungen: invalid time: '6060169870' (gen is seeded with 0 to 4294967295)\n"},
        {{"-t", "-5"}, 2, "ungen: invalid time: '-5' (gen is seeded with 0 to 4294967295)\n"},
        {{"-t", "5", "--unverified"}, 2, "ungen: --time and --unverified exclude each other"},
        {{"-t", "5", "-w", "3"}, 2, "ungen: --time and --window exclude each other"},
        {{"--unverified", "-w", "3"}, 2, "ungen: --unverified and --window exclude each other"},
        {{"-f"}, 2, "ungen: --force needs --output FILE"},
        {{"--v"}, 2, "ungen: option '--v' is ambiguous: it may be --verbose, --version\n"},
        {{"a", "b"}, 2, "ungen: too many arguments\n"},
        {{"--libc", "glibc,bionic"}, 2, "ungen: invalid C library: 'bionic' (--libc help lists them)\n"},
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
    EXPECT_EQ(version.out, "ungen " GEN_VERSION "\n");
}

} // namespace
