// Testing sixteen draws at once against a set of round counts, and their
// later draws against the pairs their flips name, for the AVX-512 kernels:
// as round_test_avx2.hpp does for eight.
#pragma once

#include "round_test_avx2.hpp"

#ifdef GEN_HAVE_AVX2

// GCC 12's AVX-512 intrinsics start their results from an undefined
// vector, which its flow analysis takes for a read of one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define GEN_AVX512 __attribute__((target("avx512f")))

namespace gen {

// o % 4011 for o below 2^31: o - 4011 (o / 4011), o / 4011 = (o * magic) >> 43.
GEN_AVX512 inline __m512i mod_4011_16(__m512i o)
{
    const __m512i magic = _mm512_set1_epi32(static_cast<int>(2192992527u));
    __m512i qe = _mm512_srli_epi64(_mm512_mul_epu32(o, magic), 43);
    __m512i qo = _mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(o, 32), magic), 43);
    __m512i q = _mm512_mask_blend_epi32(0xAAAA, qe, _mm512_slli_epi64(qo, 32));
    return _mm512_sub_epi32(o, _mm512_mullo_epi32(q, _mm512_set1_epi32(4011)));
}

// Which of sixteen lanes' first draws (each below 2^31) are in the set:
// as avx2_round_test, with unsigned compares, the number of counts tried
// as divisibility tests fixed (Tests), or 0 where they are looked up.
template <int Tests>
struct avx512_round_test {
    const int *member;
    __m512i inv, limit, offset[4];

    GEN_AVX512 explicit avx512_round_test(const round_set &set)
        : member(reinterpret_cast<const int *>(set.member))
    {
        const uint32_t inverse = inverse_of_4011();
        inv = _mm512_set1_epi32(static_cast<int>(inverse));
        limit = _mm512_set1_epi32(static_cast<int>(0xFFFFFFFFu / 4011));
        for (int i = 0; i < Tests; ++i)
            offset[i] = _mm512_set1_epi32(static_cast<int>(static_cast<uint32_t>(4011 - set.listed[i]) * inverse));
    }

    GEN_AVX512 __mmask16 mask(__m512i o) const
    {
        if (Tests == 0) {
            __m512i in = _mm512_i32gather_epi32(mod_4011_16(o), member, 4);
            return _mm512_test_epi32_mask(in, in);
        }
        __m512i m = _mm512_mullo_epi32(o, inv);
        __mmask16 hit = 0;
        for (int i = 0; i < Tests; ++i)
            hit |= _mm512_cmple_epu32_mask(_mm512_add_epi32(m, offset[i]), limit);
        return hit;
    }
};

// The same for a set that screens by its first flips (as avx2_flip_test):
// first() the round count, then flip(k) for each flip while lanes pass:
// the set's dense flips, which round_set::packed holds, so that they take
// no load of their own.
struct avx512_flip_test {
    const round_set &set;
    __m512i numbers, field, plus, inv, rot, limit, low;
    __m512d inverse;
    // Whether numbers is even, 2P: then the pair a draw o names is
    // (o >> 1) mod P, tested with no division; and P a power of two.
    bool even, power;

    GEN_AVX512 explicit avx512_flip_test(const round_set &s)
        : set(s), numbers(_mm512_set1_epi32(s.numbers)), field(_mm512_set1_epi32((1 << s.pack_bits) - 1)),
          inverse(_mm512_set1_pd(1.0 / s.numbers)), even(s.numbers > 0 && s.numbers % 2 == 0)
    {
        // P = 2^e q, q odd: P divides v if and only if v q^-1 (mod 2^32),
        // rotated right by e, is at most (2^32 - 1) / P.
        const uint32_t P = even ? static_cast<uint32_t>(s.numbers) / 2 : 1;
        const int e = __builtin_ctz(P);
        const uint32_t q = P >> e;
        uint32_t qi = q;  // Newton's iteration: each step doubles the bits right
        for (int i = 0; i < 5; ++i)
            qi *= 2 - q * qi;
        plus = _mm512_set1_epi32(static_cast<int>(P + 1));
        inv = _mm512_set1_epi32(static_cast<int>(qi));
        rot = _mm512_set1_epi32(e);
        limit = _mm512_set1_epi32(static_cast<int>(0xFFFFFFFFu / P));
        low = _mm512_set1_epi32(static_cast<int>(P - 1));
        power = even && q == 1;
    }

    // o % numbers: the quotient in doubles is off by at most one.
    GEN_AVX512 __m512i mod_numbers(__m512i o) const
    {
        __m256i lo = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(o)), inverse));
        __m256i hi = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(o, 1)), inverse));
        __m512i q = _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
        __m512i r = _mm512_sub_epi32(o, _mm512_mullo_epi32(q, numbers));
        r = _mm512_mask_add_epi32(r, _mm512_cmplt_epi32_mask(r, _mm512_setzero_si512()), r, numbers);
        return _mm512_mask_sub_epi32(r, _mm512_cmpge_epi32_mask(r, numbers), r, numbers);
    }

    // The lanes whose first draw o is in the set; r gets o % 4011, p the
    // counts' packed wants.
    GEN_AVX512 __mmask16 first(__m512i o, __m512i &r, __m512i &p) const
    {
        r = mod_4011_16(o);
        p = _mm512_i32gather_epi32(r, set.packed, 4);
        return _mm512_cmplt_epi32_mask(p, _mm512_setzero_si512());  // bit 31: member
    }

    // Of the lanes alive, those whose draw o names the pair that flip k of
    // their run must (p as first gave it): want w, the pair plus one, or 0
    // for any.
    GEN_AVX512 __mmask16 flip(int k, __mmask16 alive, __m512i p, __m512i o) const
    {
        // The tests leave alive out of all but the last step: it is the
        // only thing one flip waits on from the one before.
        const __m512i pk = _mm512_srl_epi32(p, _mm_cvtsi32_si128(k * set.pack_bits));
        if (power) {
            // The fields above w change only the bits above those tested.
            __m512i v = _mm512_add_epi32(_mm512_srli_epi32(o, 1), _mm512_sub_epi32(plus, pk));
            return alive & (_mm512_testn_epi32_mask(pk, field) | _mm512_testn_epi32_mask(v, low));
        }
        __m512i w = _mm512_and_si512(pk, field);
        return alive & (_mm512_testn_epi32_mask(w, w) | names(w, o));
    }

    // How many flips a vector kernel tests whether or not some lane still
    // passes, so that the branch on it, which mispredicted in about half
    // the blocks of the LCGs' screen, goes mostly one way: as many as
    // leave some of sixteen lanes passing one time in four, or in twenty
    // where the pairs are a power of two and a flip costs least (best on
    // the crypts of 4 and of 10 numbers).
    static int sure_flips(const round_set &set)
    {
        const int pair_count = set.numbers / 2;
        const double pairs = pair_count, few = (pair_count & (pair_count - 1)) == 0 ? 0.05 : 0.25;
        int f = 0;
        for (double left = 16; f < set.dense && left > few; left /= pairs)
            ++f;
        return f;
    }

    // The lanes whose draw o names pair w - 1.
    GEN_AVX512 __mmask16 names(__m512i w, __m512i o) const
    {
        if (even) {
            // (o >> 1) - (w - 1), less a multiple of P that keeps it positive.
            __m512i v = _mm512_add_epi32(_mm512_srli_epi32(o, 1), _mm512_sub_epi32(plus, w));
            return power ? _mm512_testn_epi32_mask(v, low)
                         : _mm512_cmple_epu32_mask(_mm512_rorv_epi32(_mm512_mullo_epi32(v, inv), rot), limit);
        }
        const __m512i one = _mm512_set1_epi32(1);
        return _mm512_cmpeq_epi32_mask(w, _mm512_add_epi32(_mm512_srli_epi32(_mm512_or_si512(mod_numbers(o), one), 1), one));
    }
};

} // namespace gen

#endif
