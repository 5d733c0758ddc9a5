// The programs' layer in process: reading the input, replacing an output
// (how failures keep the previous one is tried end to end), the progress
// line's text, and the out-of-memory handlers.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <gmp.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "files.hpp"
#include "process.hpp"
#include "progress_line.hpp"
#include "scratch.hpp"

namespace {

TEST(ReadInput, ReadsUpToTheLimitAndTellsWhetherThereIsMore)
{
    struct {
        std::string content;
        size_t cap;
        std::string want;
        bool truncated;
    } cases[] = {
        {"", 8, "", false},
        {"abc", 8, "abc", false},
        {"abcdefgh", 8, "abcdefgh", false},
        {"abcdefghi", 8, "abcdefgh", true},
        {std::string(100000, 'x'), 3, "xxx", true},
        {std::string("\0\xff\x80", 3), 8, std::string("\0\xff\x80", 3), false},
    };
    for (const auto &c : cases) {
        scratch s;
        s.write("IN", c.content);
        std::vector<unsigned char> buf(c.cap);
        input in = read_input(s.path("IN").c_str(), buf.data(), c.cap);
        EXPECT_EQ(in.err, 0);
        EXPECT_EQ(std::string(buf.begin(), buf.begin() + static_cast<long>(in.size)), c.want);
        EXPECT_EQ(in.truncated, c.truncated);
    }
    scratch s;
    mkdir(s.path("dir").c_str(), 0755);
    unsigned char buf[4];
    EXPECT_EQ(read_input(s.path("missing").c_str(), buf, 4).err, ENOENT);
    EXPECT_EQ(read_input(s.path("dir").c_str(), buf, 4).err, EISDIR);
}

// Writes text through an out_file at path; 0 or the first errno.
int replace(const std::string &path, const std::string &text)
{
    out_file out(path.c_str());
    if (int err = out.error())
        return err;
    for (size_t at = 0; at < text.size(); at += 1000)
        if (int err = out.write(text.data() + at, std::min<size_t>(1000, text.size() - at)))
            return err;
    return out.commit();
}

TEST(OutFile, ReplacesTheOldFileKeepingItsMode)
{
    scratch s;
    s.write("crypt", "old contents that are longer than the new ones, by far, really");
    chmod(s.path("crypt").c_str(), 0600);
    mode_t mask = umask(022);
    EXPECT_EQ(replace(s.path("crypt"), "7 -1 0 "), 0);
    EXPECT_EQ(replace(s.path("new"), ""), 0);
    umask(mask);
    EXPECT_EQ(s.read("crypt"), "7 -1 0 ");
    struct stat st;
    ASSERT_EQ(stat(s.path("crypt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // the old file's mode is kept
    ASSERT_EQ(stat(s.path("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // a new one gets 0666 less the umask
    EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "new"}));
}

TEST(ProgressLine, SaysTheShareTheRateAndTheTimeLeftInTheColumnsThereAre)
{
    const uint64_t all = 1ull << 32;
    const struct {
        uint64_t done, total;
        double elapsed;
        size_t width;
        const char *want;
    } cases[] = {
        {all / 4, all, 1, 79, "ungen: 25% searched, 1.1 billion seconds a second, at most 3 s left"},
        {all / 64, all, 16, 79, "ungen: 1% searched, 4 million seconds a second, at most 16 min 48 s left"},
        // A range short of the whole one ends where it says.
        {300000000, 1000000000, 20, 79, "ungen: 30% searched, 15 million seconds a second, 47 s left"},
        {1000000, 5000000000ull, 100, 79, "ungen: 0% searched, 10 thousand seconds a second, 138 h 51 min left"},
        // Narrow terminals lose the rate first, then the words.
        {all / 4, all, 1, 39, "ungen: 25% searched, at most 3 s left"},
        {all / 4, all, 1, 21, "25%, at most 3 s left"},
        {all / 4, all, 1, 10, "25%"},
        {all / 4, all, 1, 2, "25"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(progress_line::text(c.done, c.total, c.elapsed, c.width), c.want);
}

TEST(ProcessDeathTest, ExhaustedMemoryIsReported)
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
