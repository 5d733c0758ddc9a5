// The whole range of a generator whose draw is its state (inverse_form
// with draw_is_state), for a wide set: eight first draws of one wanted
// count at a time (sixty-four with AVX-512, in four vectors), their later
// draws stepped side by side.
#include "family.hpp"
#include "orbit_walk.hpp"
#include "round_test_avx512.hpp"

namespace gen {

#ifdef GEN_HAVE_AVX2

namespace {

// The pairs plus one that count R's flips want (-1 where any will do), up
// to the last flip that names one.
struct count_wants {
    int want[round_set::most_flips];
    int last = 0;

    count_wants(const round_set &set, size_t R)
    {
        for (int k = 0; k < set.flips; ++k) {
            want[k] = set.want[static_cast<size_t>(k)][R];
            if (want[k] > 0)
                last = k + 1;
        }
    }
};

// The draws after x in eight lanes: mul (x + add) mod p - add.
struct avx2_state_step {
    __m256i mul, add;

    __attribute__((target("avx2"))) explicit avx2_state_step(const inverse_form &inv)
        : mul(_mm256_set1_epi64x(inv.mul)), add(_mm256_set1_epi32(static_cast<int>(inv.add)))
    {
    }

    __attribute__((target("avx2"))) __m256i operator()(__m256i x) const
    {
        return _mm256_sub_epi32(mul_mod_p8(_mm256_add_epi32(x, add), mul), add);
    }
};

// Which of the first draws o, o + 4011, ... (eight, all of count R) have
// later draws that name the pairs R's flips want, up to draw last.
struct avx2_inverse_lanes {
    static constexpr int lanes = 8;
    avx2_state_step next;
    avx2_flip_test test;
    __m256i apart;

    __attribute__((target("avx2"))) avx2_inverse_lanes(const inverse_form &inv, const round_set &set)
        : next(inv), test(set, 0), apart(_mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                             _mm256_set1_epi32(4011)))
    {
    }

    __attribute__((target("avx2"))) int passing(const count_wants &c, uint32_t o) const
    {
        __m256i x = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(o)), apart);
        int alive = 0xFF;
        for (int k = 0; k < c.last && alive; ++k) {
            x = next(x);
            if (c.want[k] > 0)
                alive &= _mm256_movemask_ps(_mm256_castsi256_ps(test.names(_mm256_set1_epi32(c.want[k]), x)));
        }
        return alive;
    }
};

// The same in sixteen lanes.
struct avx512_state_step {
    __m512i mul, add;

    GEN_AVX512 explicit avx512_state_step(const inverse_form &inv)
        : mul(_mm512_set1_epi64(inv.mul)), add(_mm512_set1_epi32(static_cast<int>(inv.add)))
    {
    }

    GEN_AVX512 __m512i operator()(__m512i x) const
    {
        return _mm512_sub_epi32(mul_mod_p16(_mm512_add_epi32(x, add), mul), add);
    }
};

struct avx512_inverse_lanes {
    static constexpr int vectors = 4, lanes = 16 * vectors;
    avx512_state_step next;
    avx512_flip_test test;
    __m512i apart;
    int sure;  // flips tested with no branch on the lanes (avx512_flip_test::sure_flips)

    GEN_AVX512 avx512_inverse_lanes(const inverse_form &inv, const round_set &set)
        : next(inv), test(set),
          apart(_mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                   _mm512_set1_epi32(4011))),
          sure(avx512_flip_test::sure_flips(set))
    {
    }

    GEN_AVX512 uint64_t passing(const count_wants &c, uint32_t o) const
    {
        // Each step waits on the one before (a multiply mod 2^31 - 1):
        // four vectors' chains keep the multiplier busy.
        __m512i x[vectors];
        __mmask16 alive[vectors];
        for (int v = 0; v < vectors; ++v) {
            x[v] = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(o + 16u * 4011u * v)), apart);
            alive[v] = 0xFFFF;
        }
        auto step = [&](int k) GEN_AVX512 {
            for (int v = 0; v < vectors; ++v) {
                x[v] = next(x[v]);
                if (c.want[k] > 0)
                    alive[v] &= test.names(_mm512_set1_epi32(c.want[k]), x[v]);
            }
        };
        auto any = [&] {
            __mmask16 a = 0;
            for (int v = 0; v < vectors; ++v)
                a |= alive[v];
            return a != 0;
        };
        int k = 0;
        for (; k < sure && k < c.last; ++k)
            step(k);
        for (; k < c.last && any(); ++k)
            step(k);
        uint64_t m = 0;
        for (int v = 0; v < vectors; ++v)
            m |= uint64_t{alive[v]} << (16 * v);
        return m;
    }
};

// As whole_by_inverse, in the same order, Lanes::lanes first draws at a
// time. First draw 0 (macOS's state 0, which its next draw does not
// follow from) has count 0, which names no flip, so no lane steps from it.
template <class Lanes>
void inverse_vector_whole(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    const inverse_form &inv = *f.inverse;
    if (set.flips == 0 || !inv.draw_is_state) {
        whole_by_inverse(f, u, set, out);
        return;
    }
    const auto [lo, hi] = inverse_unit(f, u);
    const Lanes lanes(inv, set);
    for (int i = 0; i < set.count; ++i) {
        const size_t R = static_cast<size_t>(set.listed[i]);
        const count_wants wants(set, R);
        uint64_t o = lo + R;
        for (; o + (Lanes::lanes - 1) * 4011 < hi; o += Lanes::lanes * 4011)
            for (uint64_t m = lanes.passing(wants, static_cast<uint32_t>(o)); m; m &= m - 1)
                inv.seeds_of(static_cast<uint32_t>(o + 4011u * static_cast<unsigned>(__builtin_ctzll(m))), out);
        for (; o < hi; o += 4011)
            if (inverse_draws_pass(f, set, static_cast<uint32_t>(o)))
                inv.seeds_of(static_cast<uint32_t>(o), out);
    }
}

} // namespace

#endif

const family_kernels *inverse_avx2()
{
#ifdef GEN_HAVE_AVX2
    static const family_kernels k{"avx2", seeds_by_early_draw, inverse_vector_whole<avx2_inverse_lanes>};
    if (__builtin_cpu_supports("avx2"))
        return &k;
#endif
    return nullptr;
}

const family_kernels *inverse_avx512()
{
#ifdef GEN_HAVE_AVX2
    static const family_kernels k{"avx512", seeds_by_early_draw, inverse_vector_whole<avx512_inverse_lanes>};
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2"))
        return &k;
#endif
    return nullptr;
}

} // namespace gen
