// Crypts made in process, as gen makes them, for the decoder's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gen/gen.hpp"
#include "numbers.hpp"
#include "rules.hpp"
#include "scripted_rand.hpp"

// The crypt text of flag over R rounds, the flips drawn from rand().
inline std::string encode_rounds(const std::string &flag, int R)
{
    std::string text;
    gen::write_fn append = [&](const char *p, size_t len) {
        text.append(p, len);
        return 0;
    };
    gen::encode_rounds(reinterpret_cast<const unsigned char *>(flag.data()),
                       static_cast<int>(flag.size()), R, append);
    return text;
}

// What gen writes for flag at second t.
inline std::string encode(const std::string &flag, uint32_t t)
{
    return gen::encode(reinterpret_cast<const unsigned char *>(flag.data()), flag.size(), t);
}

// What gen writes for flag when rand() gives these draws (the first one
// gives the round count).
inline std::string encode_with_draws(const std::string &flag, const std::vector<int> &draws)
{
    script_draws(draws);
    return encode_rounds(flag, rand() % gen::round_modulus);
}

// Reads crypt text as ungen does for a run of at most most_rounds rounds.
inline gen::read_failure read_crypt(const std::string &crypt, gen::crypt_numbers &out,
                                    int most_rounds = gen::most_rounds)
{
    size_t digits = gen::max_digits(most_rounds);
    gen::token_reader in(crypt, digits + 1);
    return gen::read_numbers(in, digits, 2 * static_cast<size_t>(most_rounds), out);
}

inline gen::crypt_numbers numbers_of(const std::string &crypt, int most_rounds = gen::most_rounds)
{
    gen::crypt_numbers out;
    gen::read_failure f = read_crypt(crypt, out, most_rounds);
    EXPECT_FALSE(f) << "byte " << f.offset << ": " << f.what;
    return out;
}
