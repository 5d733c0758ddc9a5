#include "screen.hpp"

#include <algorithm>

#include "rand_model.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GEN_HAVE_AVX2 1
#endif

namespace gen {

using rand_model::modulus;
using rand_model::words;

void round_set::add(int R)
{
    if (member[R])
        return;
    member[R] = 1;
    if (count < 4)
        listed[count] = R;
    ++count;
}

namespace {

void portable_kernel(uint32_t first, uint32_t count, const round_set &set,
                     std::vector<uint32_t> &out)
{
    const uint32_t *c = rand_model::first_draw_coefficients();
    const uint32_t *a = rand_model::word_steps();
    uint32_t w[words];
    rand_model::seed_words(first, w);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t acc = 0;
        for (int j = 0; j < words; ++j)
            acc += c[j] * w[j];
        if (set.member[(acc >> 1) % 4011])
            out.push_back(first + i);
        ++w[0];
        for (int j = 1; j < words; ++j) {
            w[j] += a[j];
            if (w[j] >= modulus)
                w[j] -= modulus;
        }
    }
}

#ifdef GEN_HAVE_AVX2
// Eight seeds per vector: words step by 8 * a[j] mod (2^31 - 1).
__attribute__((target("avx2"))) void avx2_kernel(uint32_t first, uint32_t count,
                                                  const round_set &set,
                                                  std::vector<uint32_t> &out)
{
    const uint32_t *c = rand_model::first_draw_coefficients();
    const uint32_t *a = rand_model::word_steps();
    uint32_t blocks = count / 8;
    if (blocks > 0) {
        alignas(32) uint32_t lanes[words][8];
        for (int l = 0; l < 8; ++l) {
            uint32_t w[words];
            rand_model::seed_words(first + static_cast<uint32_t>(l), w);
            for (int j = 0; j < words; ++j)
                lanes[j][l] = w[j];
        }
        __m256i w[words], step[words], coeff[words];
        for (int j = 0; j < words; ++j) {
            w[j] = _mm256_load_si256(reinterpret_cast<const __m256i *>(lanes[j]));
            coeff[j] = _mm256_set1_epi32(static_cast<int>(c[j]));
            uint32_t s = j == 0 ? 8 : static_cast<uint32_t>(8ull * a[j] % modulus);
            step[j] = _mm256_set1_epi32(static_cast<int>(s));
        }
        const __m256i m = _mm256_set1_epi32(static_cast<int>(modulus));
        // q = o / 4011 = (o * magic) >> 43, exact for o < 2^31.
        const __m256i magic = _mm256_set1_epi32(static_cast<int>(2192992527u));
        const __m256i d4011 = _mm256_set1_epi32(4011);
        __m256i want[4];
        for (int i = 0; i < 4; ++i)
            want[i] = _mm256_set1_epi32(set.count <= 4 && i < set.count ? set.listed[i] : -1);
        const bool gather = set.count > 4;
        const int *member = reinterpret_cast<const int *>(set.member);

        for (uint32_t b = 0; b < blocks; ++b) {
            __m256i acc = _mm256_mullo_epi32(coeff[0], w[0]);
            w[0] = _mm256_add_epi32(w[0], step[0]);
            for (int j = 1; j < words; ++j) {
                __m256i x = w[j];
                acc = _mm256_add_epi32(acc, _mm256_mullo_epi32(coeff[j], x));
                __m256i y = _mm256_add_epi32(x, step[j]);
                w[j] = _mm256_min_epu32(y, _mm256_sub_epi32(y, m));
            }
            __m256i o = _mm256_srli_epi32(acc, 1);
            __m256i qe = _mm256_srli_epi64(_mm256_mul_epu32(o, magic), 43);
            __m256i qo = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(o, 32), magic), 43);
            __m256i q = _mm256_blend_epi32(qe, _mm256_slli_epi64(qo, 32), 0xAA);
            __m256i r = _mm256_sub_epi32(o, _mm256_mullo_epi32(q, d4011));
            __m256i hit;
            if (gather)
                hit = _mm256_xor_si256(
                    _mm256_cmpeq_epi32(_mm256_i32gather_epi32(member, r, 4), _mm256_setzero_si256()),
                    _mm256_set1_epi32(-1));
            else
                hit = _mm256_or_si256(
                    _mm256_or_si256(_mm256_cmpeq_epi32(r, want[0]), _mm256_cmpeq_epi32(r, want[1])),
                    _mm256_or_si256(_mm256_cmpeq_epi32(r, want[2]), _mm256_cmpeq_epi32(r, want[3])));
            int mask = _mm256_movemask_ps(_mm256_castsi256_ps(hit));
            while (mask) {
                int l = __builtin_ctz(static_cast<unsigned>(mask));
                mask &= mask - 1;
                out.push_back(first + 8 * b + static_cast<uint32_t>(l));
            }
        }
    }
    uint32_t done = blocks * 8;
    if (done < count)
        portable_kernel(first + done, count - done, set, out);
}
#endif

} // namespace

const screen_ops &portable_screen()
{
    static const screen_ops ops{"portable", portable_kernel};
    return ops;
}

const screen_ops *avx2_screen()
{
#ifdef GEN_HAVE_AVX2
    static const screen_ops ops{"avx2", avx2_kernel};
    if (__builtin_cpu_supports("avx2"))
        return &ops;
#endif
    return nullptr;
}

const screen_ops &best_screen()
{
    static const screen_ops &best = avx2_screen() ? *avx2_screen() : portable_screen();
    return best;
}

void screen_seeds(const screen_ops &ops, uint32_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> &out)
{
    uint32_t s = first;
    while (count > 0) {
        if (s == 0) {
            // srand(0) seeds as srand(1): not on the progression of its half.
            if (set.member[rand_model::generator(0).next() % 4011])
                out.push_back(0);
            s = 1;
            --count;
            continue;
        }
        uint64_t half_end = s < 0x80000000u ? 0x80000000ull : 0x100000000ull;
        uint64_t piece = std::min<uint64_t>(count, half_end - s);
        ops.kernel(s, static_cast<uint32_t>(piece), set, out);
        s = static_cast<uint32_t>(s + piece);
        count -= piece;
    }
}

} // namespace gen
