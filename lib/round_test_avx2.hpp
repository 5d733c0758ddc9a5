// Testing eight first draws at once against a set of round counts, for
// the AVX2 screen kernels.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GEN_HAVE_AVX2 1
#endif

#include <algorithm>
#include <cstdint>
#include <vector>

#include "screen.hpp"

namespace gen {

inline constexpr uint32_t inverse_of_4011() { return inverse_mod_2_32(4011); }
static_assert(uint32_t{4011} * inverse_of_4011() == 1);

#ifdef GEN_HAVE_AVX2

// Which lanes of eight first draws (each below 2^31) are in the set. Up to
// four counts are tried as divisibility tests: o % 4011 == R exactly when
// 4011 divides o + 4011 - R, which for x below 2^32 holds exactly when
// x * 4011^-1 mod 2^32 is at most (2^32 - 1) / 4011. More are looked up.
struct avx2_round_test {
    const int *member;
    bool gather;
    __m256i inv, limit, offset[4];
    int tests;

    __attribute__((target("avx2"))) explicit avx2_round_test(const round_set &set)
        : member(reinterpret_cast<const int *>(set.member)), gather(set.count > 4),
          tests(std::min(set.count, 4))
    {
        const uint32_t inverse = inverse_of_4011();
        inv = _mm256_set1_epi32(static_cast<int>(inverse));
        // Unsigned x <= L as signed (x ^ 2^31) <= (L ^ 2^31); the xor is
        // folded into the offsets.
        limit = _mm256_set1_epi32(static_cast<int>((0xFFFFFFFFu / 4011) ^ 0x80000000u));
        for (int i = 0; i < tests; ++i)
            offset[i] = _mm256_set1_epi32(static_cast<int>(
                static_cast<uint32_t>(4011 - set.listed[i]) * inverse + 0x80000000u));
    }

    // o % 4011, for o below 2^31: o - 4011 (o / 4011), with o / 4011 =
    // (o * magic) >> 43.
    __attribute__((target("avx2"))) static __m256i mod_4011(__m256i o)
    {
        const __m256i magic = _mm256_set1_epi32(static_cast<int>(2192992527u));
        __m256i qe = _mm256_srli_epi64(_mm256_mul_epu32(o, magic), 43);
        __m256i qo = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(o, 32), magic), 43);
        __m256i q = _mm256_blend_epi32(qe, _mm256_slli_epi64(qo, 32), 0xAA);
        return _mm256_sub_epi32(o, _mm256_mullo_epi32(q, _mm256_set1_epi32(4011)));
    }

    __attribute__((target("avx2"))) int mask(__m256i o) const
    {
        if (gather) {
            __m256i r = mod_4011(o);
            __m256i hit = _mm256_cmpeq_epi32(_mm256_i32gather_epi32(member, r, 4), _mm256_setzero_si256());
            return ~_mm256_movemask_ps(_mm256_castsi256_ps(hit)) & 0xFF;
        }
        __m256i m = _mm256_mullo_epi32(o, inv);
        __m256i miss = _mm256_set1_epi32(-1);
        for (int i = 0; i < tests; ++i)
            miss = _mm256_and_si256(miss, _mm256_cmpgt_epi32(_mm256_add_epi32(m, offset[i]), limit));
        return ~_mm256_movemask_ps(_mm256_castsi256_ps(miss)) & 0xFF;
    }
};

// Which lanes of eight runs of draws pass a set that screens by its
// first flips, as round_set::passes does for its first `flips`: o[k]
// holds draw k of each lane (each below 2^31), for k from 0 to flips.
struct avx2_flip_test {
    const round_set &set;
    int flips;
    __m256i numbers;
    __m256d inverse;

    __attribute__((target("avx2"))) avx2_flip_test(const round_set &s, int f)
        : set(s), flips(f), numbers(_mm256_set1_epi32(s.numbers)), inverse(_mm256_set1_pd(1.0 / s.numbers))
    {
    }

    // o % numbers: the quotient in doubles is off by at most one.
    __attribute__((target("avx2"))) __m256i mod_numbers(__m256i o) const
    {
        __m128i lo = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(o)), inverse));
        __m128i hi = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(o, 1)), inverse));
        __m256i q = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
        __m256i r = _mm256_sub_epi32(o, _mm256_mullo_epi32(q, numbers));
        r = _mm256_add_epi32(r, _mm256_and_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), r), numbers));
        return _mm256_sub_epi32(r, _mm256_andnot_si256(_mm256_cmpgt_epi32(numbers, r), numbers));
    }

    // The lanes whose first draw o is in the set; r gets o % 4011.
    __attribute__((target("avx2"))) __m256i first(__m256i o, __m256i &r) const
    {
        r = avx2_round_test::mod_4011(o);
        __m256i member = _mm256_i32gather_epi32(reinterpret_cast<const int *>(set.member), r, 4);
        return _mm256_xor_si256(_mm256_cmpeq_epi32(member, _mm256_setzero_si256()), _mm256_set1_epi32(-1));
    }

    // The lanes whose draw o names the pair that flip k of their run
    // must (r as first gave it).
    __attribute__((target("avx2"))) __m256i flip(int k, __m256i r, __m256i o) const
    {
        __m256i w = _mm256_i32gather_epi32(set.want[static_cast<size_t>(k)].data(), r, 4);
        return _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), w), names(w, o));
    }

    // The lanes whose draw o names pair w - 1.
    __attribute__((target("avx2"))) __m256i names(__m256i w, __m256i o) const
    {
        const __m256i one = _mm256_set1_epi32(1);
        __m256i pair = _mm256_add_epi32(_mm256_srli_epi32(_mm256_or_si256(mod_numbers(o), one), 1), one);
        return _mm256_cmpeq_epi32(w, pair);
    }

    // o[k] holds draw k of each lane, for k from 0 to flips. Flips are
    // tested only while a lane still passes.
    __attribute__((target("avx2"))) int mask(const __m256i *o) const
    {
        __m256i r, hit = first(o[0], r);
        for (int k = 0; k < flips && !_mm256_testz_si256(hit, hit); ++k)
            hit = _mm256_and_si256(hit, flip(k, r, o[k + 1]));
        return _mm256_movemask_ps(_mm256_castsi256_ps(hit));
    }
};

// Appends values[l] + add for every lane l of mask, lowest first.
__attribute__((target("avx2"))) inline void push_lanes(int mask, const uint32_t *values, uint32_t add,
                                                std::vector<uint32_t> &out)
{
    while (mask) {
        int l = __builtin_ctz(static_cast<unsigned>(mask));
        mask &= mask - 1;
        out.push_back(values[l] + add);
    }
}

// push_lanes for the lanes whose values + add pass keep() too.
template <class Keep>
inline void push_lanes_if(int mask, const uint32_t *values, uint32_t add, std::vector<uint32_t> &out, Keep keep)
{
    while (mask) {
        int l = __builtin_ctz(static_cast<unsigned>(mask));
        mask &= mask - 1;
        if (keep(values[l] + add))
            out.push_back(values[l] + add);
    }
}

#endif

} // namespace gen
