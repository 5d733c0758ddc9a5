// What the orbit kernels of every instruction set share: the windows'
// words, the seeds of one walk by form, the stretches walked side by side
// and the tail walked in turn.
#pragma once

#include <cstdint>
#include <vector>

#include "rand_model.hpp"
#include "round_test_avx2.hpp"
#include "screen.hpp"

namespace gen {

// Eight stretches of the range side by side, as eight lanes of AVX2.
constexpr int orbit_lanes = 8;

// The seeds of one walk, by form: out[i] gets form i's.
struct walk_out {
    const orbit_form *forms;
    int count;
    std::vector<uint32_t> *out;
};

// The words of orbit window k, then the next ones: w[i] = x_(k + i).
inline void orbit_window(uint64_t k, uint32_t *w, int n = rand_model::words)
{
    w[0] = rand_model::orbit_value(k);
    for (int i = 1; i < n; ++i)
        w[i] = rand_model::orbit_next(w[i - 1]);
}

// The length of each of the eight stretches that the orbit kernels walk
// side by side: even, for the vector kernels' two windows per step. The
// rest of the range is walked in turn.
inline uint64_t orbit_stretch(uint64_t count) { return count / orbit_lanes & ~uint64_t{1}; }

// The windows of [first, first + count) one after the other, as the tail
// of every orbit kernel.
void orbit_in_turn(const walk_out &walk, uint64_t first, uint64_t count, const round_set &set);

// Of the lanes of mask, whose seeds passed the first draw and the set's
// first `from` flips, those that pass the rest too: d[l] lane l's first
// draw (or its count), w[l + t * stride] its window's word t; twin for the
// windows' second seeds.
unsigned orbit_later_lanes(unsigned mask, const round_set &set, int from, const orbit_form &form, bool twin,
                           const uint32_t *d, const uint32_t *w, int stride);

#ifdef GEN_HAVE_AVX2
// x * 16807 mod (2^31 - 1) in eight lanes, in 32 bits: with x = h 2^16 + l,
// 16807 h 2^16 = a 2^31 + b 2^16 with b below 2^15, and 2^31 = 1 mod p.
__attribute__((target("avx2"))) inline __m256i orbit_next8(__m256i x)
{
    const __m256i g = _mm256_set1_epi32(16807), p = _mm256_set1_epi32(static_cast<int>(rand_model::modulus));
    __m256i lo = _mm256_mullo_epi32(_mm256_and_si256(x, _mm256_set1_epi32(0xFFFF)), g);
    __m256i hi = _mm256_mullo_epi32(_mm256_srli_epi32(x, 16), g);
    __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(lo, _mm256_slli_epi32(_mm256_and_si256(hi, _mm256_set1_epi32(0x7FFF)), 16)),
        _mm256_srli_epi32(hi, 15));
    __m256i r = _mm256_add_epi32(_mm256_and_si256(sum, p), _mm256_srli_epi32(sum, 31));
    return _mm256_min_epu32(r, _mm256_sub_epi32(r, p));
}

// x * a mod (2^31 - 1) in eight lanes, for x and a below 2^31 (a in each
// 64-bit lane): the 62-bit products folded to 32 bits, then once more, as
// 2^31 = 1. With a = 16807^8 it makes the word eight on from each lane's
// without waiting on the seven between, as a chain of orbit_next8 does.
__attribute__((target("avx2"))) inline __m256i mul_mod_p8(__m256i x, __m256i a)
{
    const __m256i p = _mm256_set1_epi32(static_cast<int>(rand_model::modulus));
    __m256i even = _mm256_mul_epu32(x, a), odd = _mm256_mul_epu32(_mm256_srli_epi64(x, 32), a);
    even = _mm256_add_epi64(_mm256_and_si256(even, p), _mm256_srli_epi64(even, 31));
    odd = _mm256_add_epi64(_mm256_and_si256(odd, p), _mm256_srli_epi64(odd, 31));
    __m256i r = _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
    r = _mm256_add_epi32(_mm256_and_si256(r, p), _mm256_srli_epi32(r, 31));
    return _mm256_min_epu32(r, _mm256_sub_epi32(r, p));
}

// The same in sixteen lanes.
__attribute__((target("avx512f"))) inline __m512i mul_mod_p16(__m512i x, __m512i a)
{
    const __m512i p = _mm512_set1_epi32(static_cast<int>(rand_model::modulus));
    __m512i even = _mm512_mul_epu32(x, a), odd = _mm512_mul_epu32(_mm512_srli_epi64(x, 32), a);
    even = _mm512_add_epi64(_mm512_and_si512(even, p), _mm512_srli_epi64(even, 31));
    odd = _mm512_add_epi64(_mm512_and_si512(odd, p), _mm512_srli_epi64(odd, 31));
    __m512i r = _mm512_mask_blend_epi32(0xAAAA, even, _mm512_slli_epi64(odd, 32));
    r = _mm512_add_epi32(_mm512_and_si512(r, p), _mm512_srli_epi32(r, 31));
    return _mm512_min_epu32(r, _mm512_sub_epi32(r, p));
}

// The AVX2 orbit kernel (screen.hpp's orbit_kernel).
void avx2_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count, const round_set &set,
                std::vector<uint32_t> *out);
// The AVX-512 one, for CPUs with AVX-512F.
void avx512_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> *out);
// The same, with the later draws of a set whose pairs are a power of two
// up to 64 made modulo 2^8, four taps at a time: for CPUs with AVX-512
// VNNI too.
void avx512_vnni_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count,
                       const round_set &set, std::vector<uint32_t> *out);
#endif

} // namespace gen
