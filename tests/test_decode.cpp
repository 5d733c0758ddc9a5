// The decoder against the encoder, given the second: round trips,
// corruptions, and the strict reading of the file format.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "crypts.hpp"
#include "decode.hpp"
#include "random_bytes.hpp"
#include "scan.hpp"
#include "seconds.hpp"
#include "structure.hpp"

namespace {

using namespace gen;

using bytes = std::vector<unsigned char>;

// Decodes crypt text for second t as ungen --time does; false when it
// does not verify.
bool decode(const std::string &crypt, uint32_t t, bytes &out, bool keep_zero = false)
{
    restore_options o;
    o.second = t;
    o.keep_zero = keep_zero;
    restored r = restore(crypt, o);
    out = r.bytes;
    return r.ok;
}

std::string text(const bytes &b) { return std::string(b.begin(), b.end()); }

std::mt19937 rng(4242);


TEST(Decode, RoundTripsForEveryKindOfRun)
{
    for (int R : {0, 1, 2, 3, 4009, 4010}) {
        uint32_t t = static_cast<uint32_t>(second_for_rounds(R, 1750000000 + R));
        for (size_t n : {0, 1, 2, 5, 64, 333, 3000}) {
            SCOPED_TRACE("R=" + std::to_string(R) + " length " + std::to_string(n));
            std::string flag = random_bytes(n, rng, 1);
            std::string crypt = encode(flag, t);
            bytes out;
            ASSERT_TRUE(decode(crypt, t, out));
            EXPECT_TRUE(text(out) == flag);
        }
    }
}

TEST(Decode, TrailingZeroIsDroppedUnlessKept)
{
    struct {
        int rounds;
        std::string flag, plain, kept;
    } cases[] = {
        // Odd length: gen pads; the padding is dropped, or kept on request.
        {1, "abc", "abc", std::string("abc\0", 4)},
        // Even length ending in 0: indistinguishable from padding.
        {2, std::string("ab\0\0", 4), std::string("ab\0", 3), std::string("ab\0\0", 4)},
        // No rounds, no padding: nothing is dropped.
        {0, std::string("ab\0", 3), std::string("ab\0", 3), std::string("ab\0", 3)},
    };
    for (const auto &c : cases) {
        uint32_t t = static_cast<uint32_t>(second_for_rounds(c.rounds));
        std::string crypt = encode(c.flag, t);
        bytes plain, kept;
        ASSERT_TRUE(decode(crypt, t, plain));
        ASSERT_TRUE(decode(crypt, t, kept, true));
        EXPECT_EQ(text(plain), c.plain);
        EXPECT_EQ(text(kept), c.kept);
    }
}

TEST(Decode, CorruptCryptsAndWrongSecondsDoNotVerify)
{
    uint32_t t = static_cast<uint32_t>(second_for_rounds(4010, 1760000000));
    std::string flag = random_bytes(40, rng, 1);
    std::string crypt = encode(flag, t);
    bytes out;
    ASSERT_TRUE(decode(crypt, t, out));

    // Change one digit in every number in turn: each must be caught, with
    // the second and by the structure alone.
    size_t start = 0, changed = 0;
    while (start < crypt.size()) {
        size_t space = crypt.find(' ', start);
        size_t pos = start + (space - start) / 2;
        if (crypt[pos] == '-')
            ++pos;
        std::string bad = crypt;
        bad[pos] = bad[pos] == '9' ? '8' : static_cast<char>(bad[pos] + 1);
        if (pos == start && bad[pos] == '0')
            bad[pos] = '2';
        EXPECT_FALSE(decode(bad, t, out)) << "digit " << pos;
        EXPECT_TRUE(read_structure(numbers_of(bad)).readings.empty()) << "digit " << pos;
        ++changed;
        start = space + 1;
    }
    EXPECT_EQ(changed, 40u);

    // Numbers dropped from either end.
    EXPECT_FALSE(decode(crypt.substr(crypt.find(' ') + 1), t, out));
    std::string shorter = crypt.substr(0, crypt.size() - 1);
    EXPECT_FALSE(decode(shorter.substr(0, shorter.rfind(' ') + 1), t, out));
    // Neighbouring seconds.
    EXPECT_FALSE(decode(crypt, t - 1, out));
    EXPECT_FALSE(decode(crypt, t + 1, out));
}

struct format_case {
    std::string crypt;
    uint64_t offset;
    std::string what;
};

TEST(Scan, MalformedCryptsAreRejectedAtTheirFirstBadByte)
{
    const format_case cases[] = {
        {"12 x ", 3, "expected a digit or '-'"},
        {"12  ", 3, "expected a digit or '-'"},
        {" 1 ", 0, "expected a digit or '-'"},
        {"+1 ", 0, "expected a digit or '-'"},
        {"- ", 1, "expected a digit"},
        {"-0 ", 1, "expected a nonzero digit after '-'"},
        {"007 ", 1, "expected a space after 0"},
        {"12a4 ", 2, "expected a digit or a space"},
        {"1 2", 3, "the crypt ends inside a number: it may have been cut short"},
        {"1 2 \n\n", 5, "expected the end of the crypt after its newline"},  // one newline, no more
        {"1 2 \r", 4, "expected a digit or '-'"},
        {"1 2\n", 3, "expected a digit or a space"},
        {"1 23", 4, "the crypt ends inside a number: it may have been cut short"},
        // The first bad byte, not the length it makes.
        {"1 " + std::string(604, '7') + "\t" + std::string(700, '7') + " ", 606,
         "expected a digit or a space"},
        {"1 2x", 3, "expected a digit or a space"},
        {"5\t", 1, "expected a digit or a space"},
        // Rejected as soon as seen, not after reading on for a space.
        {std::string("\0\0\0\0", 4), 0, "expected a digit or '-'"},
        {"1 " + std::string(700, '7') + " ", 2,
         "number longer than " + std::to_string(max_digits(4010)) + " digits"},
        {"1 " + std::string(5000, '7'), 2,
         "number longer than " + std::to_string(max_digits(4010) + 1) + " characters"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.crypt);
        crypt_numbers numbers;
        read_failure f = read_crypt(c.crypt, numbers);
        EXPECT_EQ(f.kind, status::malformed);
        EXPECT_EQ(f.offset, c.offset);
        EXPECT_EQ(f.what, c.what);
    }
}

TEST(Scan, OneNewlineAfterTheLastSpaceIsTheEnd)
{
    for (const char *crypt : {"1 -2 \n", "1 -2 \r\n", "\n", "\r\n"}) {
        SCOPED_TRACE(crypt);
        crypt_numbers numbers;
        EXPECT_FALSE(read_crypt(crypt, numbers));
        EXPECT_EQ(numbers.size(), crypt[0] == '1' ? 2u : 0u);
    }
}

TEST(Scan, TokensSpanningBufferRefillsAreReadWhole)
{
    std::string digits(5000, '7');
    std::string content = "1 -22 " + digits + " 0 333 ";
    int fd = memfd_create("crypt", 0);
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    lseek(fd, 0, SEEK_SET);
    token_reader in(fd, 6000, 4);
    std::vector<std::string> got;
    std::vector<uint64_t> offsets;
    const char *p;
    size_t len;
    while (in.next(p, len)) {
        got.emplace_back(p, len);
        offsets.push_back(in.offset());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"1", "-22", digits, "0", "333"}));
    EXPECT_EQ(offsets, (std::vector<uint64_t>{0, 2, 6, 5007, 5009}));
    EXPECT_FALSE(in.failure());
    close(fd);
}

} // namespace
