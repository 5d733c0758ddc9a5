// A crypt read into memory compactly.
//
// Almost every number gen writes is c * 2^k with a small c: the pairs that
// no round flips end as 2^(R/2) times a value from -255 to 510. Such a
// number is kept as (c, k), with c odd (or 0); only the others, which only
// flipped pairs hold, are kept whole. So memory grows with the count of
// numbers, not with their length.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <gmp.h>
#include <vector>

#include "scan.hpp"

namespace gen {

struct number_entry {
    int16_t c;   // odd, |c| < 1024, or 0 for the number 0
    uint16_t k;  // the value is c * 2^k, or `whole`
};

class crypt_numbers {
public:
    static constexpr uint16_t whole = 0xFFFF;  // kept whole, in wholes_
    static constexpr int no_bits = INT_MAX;    // the valuation of 0

    crypt_numbers() = default;
    crypt_numbers(crypt_numbers &&) noexcept;
    crypt_numbers &operator=(crypt_numbers &&) noexcept;
    crypt_numbers(const crypt_numbers &) = delete;
    crypt_numbers &operator=(const crypt_numbers &) = delete;
    ~crypt_numbers();

    size_t size() const { return entries_.size(); }
    // Digits (without the sign) of the longest number.
    uint64_t longest() const { return longest_; }
    // False if more numbers than allowed were not of the small form: no
    // run with the rounds allowed can have written them.
    bool complete() const { return complete_; }

    // Number i (in file order) into dst.
    void value(size_t i, mpz_t dst) const;
    // The 2-adic valuation of number i; no_bits for 0.
    int valuation(size_t i) const;
    // Whether number i is c * 2^h with c from -255 to 510; c then holds it.
    bool scaled(size_t i, int h, long &c) const;
    // The first pair m' >= m of an even count of numbers that holds a
    // number other than 0 (pair m is numbers size() - 1 - 2m and the one
    // before it, elements 2m and 2m + 1), or size() / 2 if none does.
    size_t next_nonzero_pair(size_t m) const;

private:
    struct whole_number {
        size_t index;
        mpz_t v;
    };
    const whole_number &find_whole(size_t i) const;
    void clear();

    void push(number_entry e);

    std::vector<number_entry> entries_;
    std::vector<uint64_t> nonzero_;     // bit i: number i is not 0
    std::vector<whole_number> wholes_;  // by index
    uint64_t longest_ = 0;
    bool complete_ = true;

    friend read_failure read_numbers(token_reader &, size_t, size_t, crypt_numbers &);
};

// Reads the whole crypt from in, strictly, into out. A number of more than
// max_digits digits is rejected before it is converted; at most max_whole
// numbers not of the small form are kept.
read_failure read_numbers(token_reader &in, size_t max_digits, size_t max_whole,
                          crypt_numbers &out);

} // namespace gen
