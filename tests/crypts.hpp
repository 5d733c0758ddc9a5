// Crypts made in process, as gen makes them, for the decoder's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "batch.hpp"
#include "decode.hpp"
#include "numbers.hpp"
#include "scratch.hpp"
#include "scripted_rand.hpp"

// What gen writes for flag with the generator in its current state.
inline std::string encode_now(const std::string &flag)
{
    scratch s;
    int R = rand() % 4011;
    testing::internal::CaptureStdout();  // the progress lines
    encode_batched(reinterpret_cast<const unsigned char *>(flag.data()),
                   static_cast<int>(flag.size()), R, s.path("crypt").c_str());
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    return s.read("crypt");
}

// What gen writes for flag at second t.
inline std::string encode(const std::string &flag, long t)
{
    srand(static_cast<unsigned>(t));
    return encode_now(flag);
}

// What gen writes for flag when rand() gives these draws (the first one
// gives the round count).
inline std::string encode_with_draws(const std::string &flag, const std::vector<int> &draws)
{
    script_draws(draws);
    return encode_now(flag);
}

struct file_fd {
    scratch s;
    int fd;
    explicit file_fd(const std::string &content)
    {
        s.write("crypt", content);
        fd = open(s.path("crypt").c_str(), O_RDONLY);
    }
    ~file_fd() { close(fd); }
};

inline crypt_numbers numbers_of(const std::string &crypt, int most_rounds = 4010)
{
    file_fd f(crypt);
    return read_numbers(f.fd, max_digits(most_rounds), 2 * static_cast<size_t>(most_rounds));
}
