// Undoing the rounds of gen, pair by pair, for a known round count and
// flip schedule.
//
// After each round's pair step both values of every pair have the same
// parity, and the round's flip breaks that in the one pair its draw names.
// With the flip schedule known every pair can be undone on its own: a pair
// that no round flips must be 2^(R/2) times a small value, a flipped pair
// is undone flip by flip. Every division must be exact and every byte must
// come out from 0 to 255, so the bytes found encode back to exactly the
// crypt: anything else is rejected, never decoded wrongly.
#pragma once

#include <cstdint>
#include <vector>

#include "libc/family.hpp"
#include "numbers.hpp"
#include "rules.hpp"

namespace gen {

// What decode_pairs does with the bytes it finds, one per number (a
// possible padding 0 included):
// - write: out gets them.
// - fill: out already has one byte per number, and 0 for every pair whose
//   two numbers are 0 (such a pair is 0 at every depth, so it is skipped:
//   a crypt of zeros decodes at the cost of its other pairs).
// - compare: as fill, but out is checked instead: true only if they are
//   the bytes out holds.
enum class decode_mode { write, fill, compare };

// Decodes the numbers of a crypt as written by a run of R rounds whose
// flips are hits. Returns false if they do not verify (out may then hold
// some of the bytes).
bool decode_pairs(const crypt_numbers &numbers, int R, const flip_list &hits,
                  std::vector<unsigned char> &out, decode_mode mode = decode_mode::write);

// The pairs of a run of R > 0 rounds that no round flipped (flipped: the
// others, sorted), as decode_pairs does them.
bool decode_unflipped(const crypt_numbers &numbers, int R, const std::vector<int> &flipped,
                      std::vector<unsigned char> &out, decode_mode mode);

// Puts byte v of element i into out as mode says; false if v is no byte
// (or, compared, another).
bool put_byte(std::vector<unsigned char> &out, int i, long v, decode_mode mode);
// The same for both values of pair m, undone.
bool put_pair(std::vector<unsigned char> &out, int m, const mpz_t s, const mpz_t d, decode_mode mode);

// Takes the round count and the flips of a run at second t from the
// draws that confirm family f's (authority_draws), and decodes.
bool decode_at(const crypt_numbers &numbers, const family &f, uint32_t t,
               std::vector<unsigned char> &out, decode_mode mode = decode_mode::write);

// The round count gen built with family f draws at second t, from the
// same draws.
int rounds_at(const family &f, uint32_t t);

// Drops a final 0 byte of a run of R > 0 rounds, which may be the padding
// element, unless keep_zero. Returns whether one was dropped.
bool drop_padding(std::vector<unsigned char> &bytes, int R, bool keep_zero);

} // namespace gen
