// The rules that gen's encoder and its decoder share: the round count,
// the flip of each round, and the arithmetic of one pair across rounds.
//
// A pair step maps (s, d) to (s + d, s - d); two in a row double both
// values. The flip of a round hits the second element of one pair.
#pragma once

#include <cstddef>
#include <functional>
#include <gmp.h>
#include <utility>
#include <vector>

#include "gen/gen.hpp"

namespace gen {

// The pair that a round's draw r flips in a sequence of n > 0 elements.
inline int flipped_pair(int r, int n) { return ((r % n) | 1) / 2; }

// (pair, round) for every flip of a run, by pair and then by round.
using flip_list = std::vector<std::pair<int, int>>;

// Takes the flip draws of a run of R rounds from draw (rand() by
// default), one per round, on a sequence of n elements after padding
// (none hit when n is 0).
flip_list draw_flips(int n, int R, const std::function<int()> &draw = {});

// The most digits a number can have after R rounds: every value v has
// |v| < 364 * 2^(R/2) (a pair step scales a pair's length by sqrt 2, a
// flip moves it by at most 1).
size_t max_digits(int R);

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

} // namespace gen
