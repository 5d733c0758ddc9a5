// Arithmetic on one pair across many rounds, shared by the whole-run
// encoder and the decoder.
//
// A pair step maps (s, d) to (s + d, s - d); two in a row double both
// values. The flip of a round hits the second element of one pair.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gmp.h>
#include <string>
#include <utility>
#include <vector>

// The pair that a round's draw r flips in a sequence of n > 0 elements.
inline int flipped_pair(int r, int n) { return ((r % n) | 1) / 2; }

// Takes the R flip draws of a run whose sequence has n elements after
// padding, and returns (pair, round) for every flip, by pair and then by
// round. With progress, prints "j/R" before draw j, as the rounds do.
inline std::vector<std::pair<int, int>> flip_schedule(int n, int R, bool progress)
{
    std::vector<std::pair<int, int>> hits;
    for (int j = 0; j < R; ++j) {
        if (progress)
            printf("%d/%d\n", j, R);
        int r = rand();
        if (n > 0)
            hits.emplace_back(flipped_pair(r, n), j);
    }
    std::sort(hits.begin(), hits.end());
    return hits;
}

// k pair steps on (s, d); tmp is scratch space.
inline void pair_steps(mpz_t s, mpz_t d, int k, mpz_t tmp)
{
    if (k % 2) {
        mpz_sub(tmp, s, d);
        mpz_add(s, s, d);
        mpz_swap(d, tmp);
    }
    if (k / 2) {
        mpz_mul_2exp(s, s, static_cast<mp_bitcnt_t>(k / 2));
        mpz_mul_2exp(d, d, static_cast<mp_bitcnt_t>(k / 2));
    }
}

// Undoes k pair steps on (s, d) if the result is whole; returns false and
// leaves (s, d) unspecified otherwise.
inline bool undo_pair_steps(mpz_t s, mpz_t d, int k, mpz_t tmp)
{
    mp_bitcnt_t shift = static_cast<mp_bitcnt_t>(k / 2);
    if (k % 2) {
        // (s, d) = 2^(k/2) (a + b, a - b): a = (s + d) / 2^(k/2 + 1).
        mpz_sub(tmp, s, d);
        mpz_add(s, s, d);
        mpz_swap(d, tmp);
        ++shift;
    }
    if (shift == 0)
        return true;
    if (!mpz_divisible_2exp_p(s, shift) || !mpz_divisible_2exp_p(d, shift))
        return false;
    mpz_tdiv_q_2exp(s, s, shift);
    mpz_tdiv_q_2exp(d, d, shift);
    return true;
}

// Two's-complement xor with 1: even values go up by one, odd ones down.
// Its own inverse.
inline void flip_low_bit(mpz_t d)
{
    if (mpz_odd_p(d))
        mpz_sub_ui(d, d, 1);
    else
        mpz_add_ui(d, d, 1);
}

// The decimal text of c * 2^k, as "%Zd" writes it; v is scratch space.
inline std::string scaled_text(long c, int k, mpz_t v)
{
    mpz_set_si(v, c);
    mpz_mul_2exp(v, v, static_cast<mp_bitcnt_t>(k));
    std::string t(mpz_sizeinbase(v, 10) + 2, '\0');
    mpz_get_str(&t[0], 10, v);
    t.resize(t.find('\0'));
    return t;
}

// "%Zd " of c * 2^shift for the small values c that the elements of an
// unflipped pair end as (c from -255 to 510), each made on first use.
class scaled_texts {
public:
    static constexpr int lo = -255, hi = 510;

    explicit scaled_texts(int shift) : shift_(shift), texts_(hi - lo + 1) { mpz_init(v_); }
    ~scaled_texts() { mpz_clear(v_); }
    scaled_texts(const scaled_texts &) = delete;
    scaled_texts &operator=(const scaled_texts &) = delete;

    const std::string &operator[](int c)
    {
        std::string &t = texts_[c - lo];
        if (t.empty())
            t = scaled_text(c, shift_, v_) + ' ';
        return t;
    }

private:
    int shift_;
    std::vector<std::string> texts_;
    mpz_t v_;
};
