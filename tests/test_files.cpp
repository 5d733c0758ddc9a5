#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "fail.hpp"
#include "files.hpp"
#include "scratch.hpp"

namespace {

TEST(ReadInput, ReadsUpToTheLimitAndWarnsAboutTheRest)
{
    struct {
        std::string content;
        size_t cap;
        std::string want;
        std::string warning;
    } cases[] = {
        {"", 8, "", ""},
        {"abc", 8, "abc", ""},
        {"abcdefgh", 8, "abcdefgh", ""},
        {"abcdefghi", 8, "abcdefgh", "gen: IN: only the first 8 bytes are encoded\n"},
        {std::string(100000, 'x'), 3, "xxx", "gen: IN: only the first 3 bytes are encoded\n"},
        {std::string("\0\xff\x80", 3), 8, std::string("\0\xff\x80", 3), ""},
    };
    for (const auto &c : cases) {
        scratch s;
        s.write("IN", c.content);
        std::vector<unsigned char> buf(c.cap);
        std::string path = s.path("IN");
        testing::internal::CaptureStderr();
        size_t got = read_input(path.c_str(), buf.data(), c.cap);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::string(buf.begin(), buf.begin() + got), c.want);
        std::string want_err = c.warning;
        if (!want_err.empty())
            want_err.replace(5, 2, path);
        EXPECT_EQ(err, want_err);
    }
}

TEST(ReadInputDeathTest, UnreadableInputIsReportedWithItsReason)
{
    scratch s;
    mkdir(s.path("dir").c_str(), 0755);
    unsigned char buf[4];
    EXPECT_EXIT(read_input(s.path("missing").c_str(), buf, 4), testing::ExitedWithCode(1),
                "^gen: .*/missing: No such file or directory\n$");
    EXPECT_EXIT(read_input(s.path("dir").c_str(), buf, 4), testing::ExitedWithCode(1),
                "^gen: .*/dir: Is a directory\n$");
}


TEST(WriteCrypt, WritesReversedDecimalsAndReplacesTheOldFile)
{
    const char *values[] = {"0", "-1", "255", "-123456789012345678901234567890", "7"};
    int n = 5;
    std::vector<bi> cfile(n);
    for (int i = 0; i < n; ++i) {
        cfile[i].set(0);
        mpz_set_str(cfile[i].z, values[i], 10);
    }
    scratch s;
    s.write("crypt", "old contents that are longer than the new ones, by far, really");
    chmod(s.path("crypt").c_str(), 0600);
    mode_t mask = umask(022);
    write_crypt(s.path("crypt").c_str(), cfile.data(), n);
    umask(mask);
    EXPECT_EQ(s.read("crypt"), "7 -123456789012345678901234567890 255 -1 0 ");
    EXPECT_EQ(s.names(), std::set<std::string>{"crypt"});
    struct stat st;
    ASSERT_EQ(stat(s.path("crypt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // the old file's mode is kept

    // A new file gets 0666 less the umask.
    mask = umask(022);
    write_crypt(s.path("new").c_str(), cfile.data(), 0);
    umask(mask);
    EXPECT_EQ(s.read("new"), "");
    ASSERT_EQ(stat(s.path("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    for (auto &x : cfile)
        release(x);
}

TEST(WriteCrypt, NumbersLargerThanTheBufferAreWrittenWhole)
{
    mpz_t big;
    mpz_init(big);
    mpz_ui_pow_ui(big, 10, 5000);
    mpz_neg(big, big);
    scratch s;
    {
        out_file out(s.path("crypt").c_str(), 64);
        put_number(out, big);
        put_number(out, big);
        out.commit();
    }
    std::string one = "-1" + std::string(5000, '0') + " ";
    EXPECT_EQ(s.read("crypt"), one + one);
    mpz_clear(big);
}

// Each failure must leave the previous file as it was and no temporary.
TEST(WriteCryptDeathTest, FailuresKeepThePreviousOutput)
{
    std::vector<bi> cfile(1000);
    for (auto &x : cfile)
        x.set(-1234567);
    scratch s;
    s.write("crypt", "previous");
    mkdir(s.path("adir").c_str(), 0755);
    s.write("adir/keep", "inside");

    EXPECT_EXIT(write_crypt(s.path("adir").c_str(), cfile.data(), 1000),
                testing::ExitedWithCode(1), "^gen: .*/adir: Is a directory\n$");
    EXPECT_EXIT(write_crypt(s.path("nodir/crypt").c_str(), cfile.data(), 1000),
                testing::ExitedWithCode(1), "^gen: .*/nodir/crypt: No such file or directory\n$");
    // A file size limit makes the writes fail part way, as a full disk does.
    auto write_limited = [&] {
        rlimit lim{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        signal(SIGXFSZ, SIG_IGN);
        write_crypt(s.path("crypt").c_str(), cfile.data(), 1000);
    };
    EXPECT_EXIT(write_limited(), testing::ExitedWithCode(1), "^gen: .*/crypt: File too large\n$");

    EXPECT_EQ(s.read("crypt"), "previous");
    EXPECT_EQ(s.read("adir/keep"), "inside");
    EXPECT_EQ(s.names(), (std::set<std::string>{"adir", "crypt"}));
    for (auto &x : cfile)
        release(x);
}

TEST(FailDeathTest, ExhaustedMemoryIsReported)
{
    auto allocate_too_much = [](bool gmp) {
        install_memory_handlers();
        if (gmp) {
            void *(*alloc)(size_t);
            mp_get_memory_functions(&alloc, nullptr, nullptr);
            alloc(static_cast<size_t>(-1) / 2);
        } else {
            std::vector<char> v(static_cast<size_t>(-1) / 4);
        }
    };
    // The sanitizers warn before the allocation comes back empty.
    EXPECT_EXIT(allocate_too_much(true), testing::ExitedWithCode(1), "(^|\n)gen: out of memory\n$");
#ifndef GEN_SANITIZE
    // AddressSanitizer's operator new reports and aborts instead.
    EXPECT_EXIT(allocate_too_much(false), testing::ExitedWithCode(1), "(^|\n)gen: out of memory\n$");
#endif
}

} // namespace
