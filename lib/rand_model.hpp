// A model of the C library's srand()/rand(): glibc's additive feedback
// generator (TYPE_3, 31 words, taps 3 and 31).
//
// srand(s) fills 31 words: w0 = s as a signed 32-bit word (0 counts as 1),
// w_i = 16807 * w_(i-1) mod (2^31 - 1); it then discards 310 outputs. Each
// output adds two words mod 2^32 and returns the sum shifted right by one.
// So every output is a fixed linear combination of the 31 words, mod 2^32,
// and the words of seed s + 1 are those of seed s plus a constant, mod
// 2^31 - 1, as long as s + 1 stays on the same side of 2^31.
//
// The orbit: 16807 is a primitive root mod p = 2^31 - 1, so the sequence
// x_k = 16807^k mod p (k from 0 to p - 2) visits every nonzero residue
// once, and the words of a seed s from 1 to p - 1 are the 31 elements of
// the orbit from the one that is s. A seed s from 2^31 + 2 up is its twin
// s - (2^31 + 1) but for w0: srand takes it as the negative word s - 2^32,
// which is the twin mod p, and w0 keeps its bits. The seeds 0, 2^31 - 1,
// 2^31 and 2^31 + 1 are on no orbit window of their own (odd_seeds).
//
// The C library stays the authority: its reentrant random_r() (the code
// rand() runs, on a private state) checks the model and confirms what the
// model finds (libc/glibc.cpp).
#pragma once

#include <cstdint>

namespace gen::rand_model {

constexpr uint32_t modulus = 2147483647u;  // 2^31 - 1
constexpr int words = 31;

// The words srand(seed) starts from.
void seed_words(uint32_t seed, uint32_t w[words]);

// A generator in the state srand(seed) leaves; next() is rand().
class generator {
public:
    explicit generator(uint32_t seed);
    int next()
    {
        uint32_t v = r_[f_] += r_[b_];
        f_ = f_ + 1 == words ? 0 : f_ + 1;
        b_ = b_ + 1 == words ? 0 : b_ + 1;
        return static_cast<int>(v >> 1);
    }

private:
    uint32_t r_[words];
    int f_ = 3, b_ = 0;
};

// c with draw k (from 0, below early_draws) after srand(s) == (sum of
// c[i] * w_i(s) mod 2^32) >> 1.
const uint32_t *draw_coefficients(int k);

// Draw k (from 0) after srand() from the words it started from, without
// running the generator, for the first few draws.
constexpr int early_draws = 32;
int early_draw(int k, const uint32_t w[words]);

// a[i] = 16807^i mod (2^31 - 1): seed s + 1 has w_i(s) + a[i] for i >= 1.
const uint32_t *word_steps();

constexpr uint64_t orbit_length = modulus - 1;
constexpr uint32_t twin_offset = 0x80000001u;  // 2^31 + 1
constexpr uint32_t odd_seeds[4] = {0, modulus, 0x80000000u, 0x80000001u};

// x_k = 16807^k mod (2^31 - 1), for k from 0 to orbit_length - 1.
uint32_t orbit_value(uint64_t k);

// x * 16807 mod (2^31 - 1), for x below 2^31 - 1: the next element of
// the orbit. 2^31 = 1 mod p, so the product's bits above 31 add on.
inline uint32_t orbit_next(uint32_t x)
{
    uint64_t t = uint64_t{x} * 16807;
    uint32_t r = static_cast<uint32_t>((t & modulus) + (t >> 31));
    return r >= modulus ? r - modulus : r;
}

} // namespace gen::rand_model
