// Repeatable random inputs for the tests.
#pragma once

#include <random>
#include <string>

// n bytes from lo to 0xFF drawn from rng.
inline std::string random_bytes(size_t n, std::mt19937 &rng, int lo = 0)
{
    std::uniform_int_distribution<int> byte(lo, 255);
    std::string s(n, '\0');
    for (auto &c : s)
        c = static_cast<char>(byte(rng));
    return s;
}

// n bytes from lo to 0xFF, the same for the same n, seed and lo.
inline std::string random_bytes(size_t n, unsigned seed, int lo = 0)
{
    std::mt19937 rng(seed);
    return random_bytes(n, rng, lo);
}

// n bytes of lower-case words, spaces and newlines, as text flags are.
inline std::string text_bytes(size_t n, unsigned seed)
{
    static const char chars[] = "abcdefghijklmnopqrstuvwxyz  ,.\n";
    std::mt19937 rng(seed);
    std::string s(n, ' ');
    for (auto &c : s)
        c = chars[rng() % (sizeof chars - 1)];
    return s;
}
