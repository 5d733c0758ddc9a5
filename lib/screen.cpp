#include "screen.hpp"

#include <algorithm>

#include "rand_model.hpp"
#include "orbit_walk.hpp"
#include "round_test_avx2.hpp"


namespace gen {

using rand_model::modulus;
using rand_model::words;

void round_set::add(int R)
{
    if (member[R])
        return;
    member[R] = 1;
    packed[R] |= 1u << 31;
    listed[count++] = R;
}

void round_set::screen_flips(int f, int n, int e)
{
    flips = std::min(f, most_flips);
    numbers = n;
    want.assign(static_cast<size_t>(flips), std::vector<int>(4011, -1));
    // The pairs plus one go up to ((n - 1) | 1) / 2 + 1.
    const int most = ((n - 1) | 1) / 2 + 1;
    pack_bits = 1;
    while ((1 << pack_bits) <= most)
        ++pack_bits;
    packed_flips = std::min(flips, 31 / pack_bits);
    dense = std::min(packed_flips, vector_flips);
    eager = std::min({e, dense, eager_flips});
}

static_assert(round_set::most_flips < rand_model::early_draws);

orbit_form make_orbit_form(uint32_t word_add, uint32_t twin_w0)
{
    // Every word adds word_add, so each sum adds word_add times the sum of
    // its coefficients; the twin's first word adds twin_w0 times c_0.
    orbit_form form{word_add, word_add + twin_w0, {}, {}};
    for (int k = 0; k <= round_set::most_flips; ++k) {
        const uint32_t *c = rand_model::draw_coefficients(k);
        uint32_t sum = 0;
        for (int i = 0; i < words; ++i)
            sum += c[i];
        form.sum_add[k] = word_add * sum;
        form.up_delta[k] = c[0] * twin_w0;
    }
    return form;
}

unsigned orbit_later_lanes(unsigned mask, const round_set &set, int from, const orbit_form &form, bool twin,
                           const uint32_t *d, const uint32_t *w, int stride)
{
    for (unsigned m = mask; m; m &= m - 1) {
        const int l = __builtin_ctz(m);
        const bool passes = set.later_pass(d[l] % 4011, from, [&](int k) {
            const uint32_t *c = rand_model::draw_coefficients(k);
            uint32_t acc = form.sum_add[k] + (twin ? form.up_delta[k] : 0);
            for (int t = 0; t < words; ++t)
                acc += c[t] * w[l + t * stride];
            return acc >> 1;
        });
        if (!passes)
            mask &= ~(1u << l);
    }
    return mask;
}

namespace {

constexpr int lanes = 8;  // of the AVX2 screen by seed

// Whether seed s (not 0) passes the set, from the words srand(s) fills.
bool model_passes(uint32_t s, const round_set &set)
{
    uint32_t w[words];
    rand_model::seed_words(s, w);
    auto draw = [&](int k) { return static_cast<uint32_t>(rand_model::early_draw(k, w)); };
    return set.passes_by(draw(0), draw);
}

void portable_seeds(uint32_t first, uint32_t count, const round_set &set,
                    std::vector<uint32_t> &out)
{
    const uint32_t *a = rand_model::word_steps();
    uint32_t w[words];
    rand_model::seed_words(first, w);
    auto draw = [&](int k) { return static_cast<uint32_t>(rand_model::early_draw(k, w)); };
    for (uint32_t i = 0; i < count; ++i) {
        if (set.passes_by(draw(0), draw))
            out.push_back(first + i);
        ++w[0];
        for (int j = 1; j < words; ++j) {
            w[j] += a[j];
            if (w[j] >= modulus)
                w[j] -= modulus;
        }
    }
}

// Screens window n of a ring of 31 words that holds its words, x_(k + n)
// at n % 31, then slides the ring on by one word. The sums of later draws
// are made when a seed still passes, once for every form.
void ring_step(const walk_out &walk, uint32_t *w, uint64_t n, const round_set &set,
               std::vector<uint32_t> *lower, std::vector<uint32_t> *upper)
{
    uint32_t sum[round_set::most_flips + 1];
    int made = 0;
    auto sum_of = [&](int k) {
        for (; made <= k; ++made) {
            const uint32_t *c = rand_model::draw_coefficients(made);
            uint32_t acc = 0;
            for (int j = 0; j < words; ++j)
                acc += c[j] * w[(n + j) % words];
            sum[made] = acc;
        }
        return sum[k];
    };
    for (int i = 0; i < walk.count; ++i) {
        const orbit_form &form = walk.forms[i];
        auto draw = [&](int k, uint32_t up) { return (sum_of(k) + form.sum_add[k] + up) >> 1; };
        if (set.passes_by(draw(0, 0), [&](int k) { return draw(k, 0); }))
            lower[i].push_back(w[n % words] + form.lower_add);
        if (set.passes_by(draw(0, form.up_delta[0]), [&](int k) { return draw(k, form.up_delta[k]); }))
            upper[i].push_back(w[n % words] + form.up_add);
    }
    w[n % words] = rand_model::orbit_next(w[(n + words - 1) % words]);
}

// Per form, the seeds of one step of the walk: those below 2^31 by lane,
// then their twins by lane.
struct step_seeds {
    std::vector<uint32_t> lower[most_forms], upper[most_forms];

    void clear()
    {
        for (int i = 0; i < most_forms; ++i) {
            lower[i].clear();
            upper[i].clear();
        }
    }
    void flush(const walk_out &walk)
    {
        for (int i = 0; i < walk.count; ++i) {
            walk.out[i].insert(walk.out[i].end(), lower[i].begin(), lower[i].end());
            walk.out[i].insert(walk.out[i].end(), upper[i].begin(), upper[i].end());
        }
        clear();
    }
};

} // namespace

// The windows of [first, first + count) one after the other, as the tail
// of both orbit kernels.
void orbit_in_turn(const walk_out &walk, uint64_t first, uint64_t count, const round_set &set)
{
    if (count == 0)
        return;
    uint32_t w[words];
    orbit_window(first, w);
    step_seeds step;
    for (uint64_t n = 0; n < count; ++n) {
        ring_step(walk, w, n, set, step.lower, step.upper);
        step.flush(walk);
    }
}

namespace {

// Eight stretches side by side, as the AVX2 kernel walks them.
void portable_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count,
                    const round_set &set, std::vector<uint32_t> *out)
{
    const walk_out walk{forms, nforms, out};
    const uint64_t stretch = orbit_stretch(count);
    if (stretch > 0) {
        uint32_t w[orbit_lanes][words];
        for (int l = 0; l < orbit_lanes; ++l)
            orbit_window(first + static_cast<uint64_t>(l) * stretch, w[l]);
        step_seeds step;
        for (uint64_t n = 0; n < stretch; ++n) {
            for (int l = 0; l < orbit_lanes; ++l)
                ring_step(walk, w[l], n, set, step.lower, step.upper);
            step.flush(walk);
        }
    }
    orbit_in_turn(walk, first + orbit_lanes * stretch, count - orbit_lanes * stretch, set);
}

#ifdef GEN_HAVE_AVX2

// Eight seeds per vector: words step by 8 * a[j] mod (2^31 - 1).
__attribute__((target("avx2"))) void avx2_seeds(uint32_t first, uint32_t count,
                                                const round_set &set, std::vector<uint32_t> &out)
{
    const uint32_t *c = rand_model::draw_coefficients(0);
    const uint32_t *a = rand_model::word_steps();
    uint32_t blocks = count / lanes;
    if (blocks > 0) {
        alignas(32) uint32_t start[words][lanes];
        for (int l = 0; l < lanes; ++l) {
            uint32_t w[words];
            rand_model::seed_words(first + static_cast<uint32_t>(l), w);
            for (int j = 0; j < words; ++j)
                start[j][l] = w[j];
        }
        __m256i w[words], step[words], coeff[words], later[round_set::eager_flips][words];
        for (int k = 0; k < set.eager; ++k)
            for (int j = 0; j < words; ++j)
                later[k][j] = _mm256_set1_epi32(static_cast<int>(rand_model::draw_coefficients(k + 1)[j]));
        for (int j = 0; j < words; ++j) {
            w[j] = _mm256_load_si256(reinterpret_cast<const __m256i *>(start[j]));
            coeff[j] = _mm256_set1_epi32(static_cast<int>(c[j]));
            uint32_t s = j == 0 ? lanes : static_cast<uint32_t>(uint64_t{lanes} * a[j] % modulus);
            step[j] = _mm256_set1_epi32(static_cast<int>(s));
        }
        const __m256i m = _mm256_set1_epi32(static_cast<int>(modulus));
        const avx2_round_test test(set);
        const avx2_flip_test flip_test(set, set.eager);
        alignas(32) uint32_t seeds[lanes];
        for (int l = 0; l < lanes; ++l)
            seeds[l] = first + static_cast<uint32_t>(l);

        __m256i o[round_set::eager_flips + 1];
        for (uint32_t b = 0; b < blocks; ++b) {
            for (int k = 0; k < set.eager; ++k) {
                __m256i sum = _mm256_setzero_si256();
                for (int j = 0; j < words; ++j)
                    sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(later[k][j], w[j]));
                o[k + 1] = _mm256_srli_epi32(sum, 1);
            }
            __m256i acc = _mm256_mullo_epi32(coeff[0], w[0]);
            w[0] = _mm256_add_epi32(w[0], step[0]);
            for (int j = 1; j < words; ++j) {
                __m256i x = w[j];
                acc = _mm256_add_epi32(acc, _mm256_mullo_epi32(coeff[j], x));
                __m256i y = _mm256_add_epi32(x, step[j]);
                w[j] = _mm256_min_epu32(y, _mm256_sub_epi32(y, m));
            }
            o[0] = _mm256_srli_epi32(acc, 1);
            int passing = set.flips > 0 ? flip_test.mask(o) : test.mask(o[0]);
            if (set.flips > set.eager)
                push_lanes_if(passing, seeds, lanes * b, out, [&](uint32_t s) { return model_passes(s, set); });
            else
                push_lanes(passing, seeds, lanes * b, out);
        }
    }
    uint32_t done = blocks * lanes;
    if (done < count)
        portable_seeds(first + done, count - done, set, out);
}

// What a form adds to the sums of draws 0 to eager_flips, beside the
// taps' own: for both seeds (the form's sum_add less the taps'), and for
// the twin too.
struct avx2_adds {
    __m256i both[round_set::eager_flips + 1], up[round_set::eager_flips + 1];
    bool any = false;  // whether both[] is not all zero

    avx2_adds() = default;
    __attribute__((target("avx2"))) avx2_adds(const orbit_form &form, const orbit_form &taps)
    {
        for (int k = 0; k <= round_set::eager_flips; ++k) {
            uint32_t add = form.sum_add[k] - taps.sum_add[k];
            any = any || add != 0;
            both[k] = _mm256_set1_epi32(static_cast<int>(add));
            up[k] = _mm256_set1_epi32(static_cast<int>(form.up_delta[k]));
        }
    }
};

// The seeds of eight orbit windows whose first draws pass: the first
// seeds by lane, then the second ones by lane. acc is the first draw
// before the shift, with the taps' sum_add.
__attribute__((target("avx2"))) inline void report_window(const orbit_form &form, const avx2_adds &adds,
                                                           const avx2_round_test &test, __m256i acc,
                                                           const uint32_t *seeds, std::vector<uint32_t> &out)
{
    if (adds.any)
        acc = _mm256_add_epi32(acc, adds.both[0]);
    int lower = test.mask(_mm256_srli_epi32(acc, 1));
    int upper = test.mask(_mm256_srli_epi32(_mm256_add_epi32(acc, adds.up[0]), 1));
    push_lanes(lower, seeds, form.lower_add, out);
    push_lanes(upper, seeds, form.up_add, out);
}

// Of the lanes of mask, those whose seeds pass the set's later flips too:
// d0 the first draws, words row n of the windows' (row m word m of each
// lane).
__attribute__((target("avx2"))) inline int later_lanes(int mask, const round_set &set, const orbit_form &form,
                                                        bool twin, __m256i d0, const uint32_t *words_n)
{
    alignas(32) uint32_t d[orbit_lanes];
    _mm256_store_si256(reinterpret_cast<__m256i *>(d), d0);
    return static_cast<int>(
        orbit_later_lanes(static_cast<unsigned>(mask), set, set.eager, form, twin, d, words_n, orbit_lanes));
}

// The same for a set that screens by its first flips: acc[k] for draws 0
// to the set's eager flips. seeds: the windows' words from row n on.
__attribute__((target("avx2"))) inline void report_window(const orbit_form &form, const avx2_adds &adds,
                                                           const avx2_flip_test &test, const __m256i *acc,
                                                           const uint32_t *seeds, std::vector<uint32_t> &out)
{
    const round_set &set = test.set;
    __m256i lo[round_set::eager_flips + 1], hi[round_set::eager_flips + 1];
    for (int k = 0; k <= set.eager; ++k) {
        __m256i a = _mm256_add_epi32(acc[k], adds.both[k]);
        lo[k] = _mm256_srli_epi32(a, 1);
        hi[k] = _mm256_srli_epi32(_mm256_add_epi32(a, adds.up[k]), 1);
    }
    int lower = test.mask(lo), upper = test.mask(hi);
    if (set.flips > set.eager) {
        lower = later_lanes(lower, set, form, false, lo[0], seeds);
        upper = later_lanes(upper, set, form, true, hi[0], seeds);
    }
    push_lanes(lower, seeds, form.lower_add, out);
    push_lanes(upper, seeds, form.up_add, out);
}

// Eight stretches of the orbit in the lanes, two windows per step. With
// e_m = x_m - x_(m+1), each pair of taps (a, b) gives the two windows as
// a u + b v = (a + b) v + a e_u and a v + b w = (a + b) v - b e_v: three
// products for four (Karatsuba), 47 for both windows instead of 62. The
// words and their differences slide through buffers; every `run` steps
// the ones still needed move to the front.
// A draw's coefficients as two windows' Karatsuba factors: for the pair
// of taps j, a + b, a and -b; the last tap alone.
struct avx2_taps {
    static constexpr int pairs = words / 2;  // taps 0 .. 29 in pairs, tap 30 alone
    __m256i sum[pairs], even[pairs], odd[pairs], last, add;

    avx2_taps() = default;
    __attribute__((target("avx2"))) avx2_taps(const orbit_form &form, int draw)
    {
        const uint32_t *c = rand_model::draw_coefficients(draw);
        for (int j = 0; j < pairs; ++j) {
            sum[j] = _mm256_set1_epi32(static_cast<int>(c[2 * j] + c[2 * j + 1]));
            even[j] = _mm256_set1_epi32(static_cast<int>(c[2 * j]));
            odd[j] = _mm256_set1_epi32(static_cast<int>(0u - c[2 * j + 1]));
        }
        last = _mm256_set1_epi32(static_cast<int>(c[words - 1]));
        add = _mm256_set1_epi32(static_cast<int>(form.sum_add[draw]));
    }

    // The sums of windows n and n + 1 (x and e as in avx2_orbit).
    __attribute__((target("avx2"))) void sums(const __m256i *x, const __m256i *e, int n, __m256i &y0,
                                              __m256i &y1) const
    {
        y0 = _mm256_add_epi32(add, _mm256_mullo_epi32(last, _mm256_load_si256(x + n + words - 1)));
        y1 = _mm256_add_epi32(add, _mm256_mullo_epi32(last, _mm256_load_si256(x + n + words)));
        for (int j = 0; j < pairs; ++j) {
            __m256i m = _mm256_mullo_epi32(sum[j], _mm256_load_si256(x + n + 2 * j + 1));
            y0 = _mm256_add_epi32(y0, _mm256_add_epi32(m, _mm256_mullo_epi32(even[j], _mm256_load_si256(e + n + 2 * j))));
            y1 = _mm256_add_epi32(y1, _mm256_add_epi32(m, _mm256_mullo_epi32(odd[j], _mm256_load_si256(e + n + 2 * j + 1))));
        }
    }
};

// The words and differences lane l starts from: window first + l stretch.
void start_lanes(uint64_t first, uint64_t stretch, uint32_t (*xb)[orbit_lanes], uint32_t (*eb)[orbit_lanes])
{
    for (int l = 0; l < orbit_lanes; ++l) {
        uint32_t w[words + 1];
        orbit_window(first + static_cast<uint64_t>(l) * stretch, w, words + 1);
        for (int j = 0; j <= words; ++j)
            xb[j][l] = w[j];
        for (int j = 0; j < words - 1; ++j)
            eb[j][l] = w[j] - w[j + 1];
    }
}

// Screened: the set screens by its first flips too. The taps carry the
// first form's sum_add, so that it alone walks as cheaply as ever.
template <bool Screened, int Forms>
__attribute__((target("avx2"))) void avx2_orbit_run(const walk_out &walk, uint64_t first,
                                                    uint64_t count, const round_set &set)
{
    constexpr int run = 256;
    const uint64_t stretch = orbit_stretch(count);
    if (stretch > 0) {
        // Before windows n and n + 1: x holds words n .. n + 31, e the
        // differences n .. n + 29.
        alignas(32) uint32_t xb[words + 1 + run][orbit_lanes], eb[words - 1 + run][orbit_lanes];
        start_lanes(first, stretch, xb, eb);
        const orbit_form &base = walk.forms[0];
        const avx2_taps k(base, 0);
        avx2_taps later[round_set::eager_flips];
        for (int f = 0; f < set.eager; ++f)
            later[f] = avx2_taps(base, f + 1);
        avx2_adds adds[most_forms];
        for (int i = 0; i < Forms; ++i)
            adds[i] = avx2_adds(walk.forms[i], base);
        __m256i y[round_set::eager_flips + 1], z[round_set::eager_flips + 1];
        const avx2_round_test test(set);
        const avx2_flip_test flip_test(set, set.eager);
        const __m256i g8 = _mm256_set1_epi64x(rand_model::orbit_value(8));
        auto *x = reinterpret_cast<__m256i *>(xb);
        auto *e = reinterpret_cast<__m256i *>(eb);
        for (uint64_t n0 = 0; n0 < stretch; n0 += run) {
            int steps = static_cast<int>(std::min<uint64_t>(run, stretch - n0));
            for (int n = 0; n < steps; n += 2) {
                __m256i x30 = _mm256_load_si256(x + n + words - 1);
                __m256i x31 = _mm256_load_si256(x + n + words);
                k.sums(x, e, n, y[0], z[0]);
                if (Screened)
                    for (int f = 0; f < set.eager; ++f)
                        later[f].sums(x, e, n, y[f + 1], z[f + 1]);
                // The words and differences the next two windows need.
                __m256i x32 = mul_mod_p8(_mm256_load_si256(x + n + words - 7), g8);
                _mm256_store_si256(x + n + words + 1, x32);
                _mm256_store_si256(x + n + words + 2, mul_mod_p8(_mm256_load_si256(x + n + words - 6), g8));
                _mm256_store_si256(e + n + words - 1, _mm256_sub_epi32(x30, x31));
                _mm256_store_si256(e + n + words, _mm256_sub_epi32(x31, x32));
                for (int i = 0; i < Forms; ++i) {
                    const orbit_form &form = walk.forms[i];
                    if (Screened) {
                        report_window(form, adds[i], flip_test, y, xb[n], walk.out[i]);
                        report_window(form, adds[i], flip_test, z, xb[n + 1], walk.out[i]);
                    } else {
                        report_window(form, adds[i], test, y[0], xb[n], walk.out[i]);
                        report_window(form, adds[i], test, z[0], xb[n + 1], walk.out[i]);
                    }
                }
            }
            for (int j = 0; j <= words; ++j)
                _mm256_store_si256(x + j, _mm256_load_si256(x + steps + j));
            for (int j = 0; j < words - 1; ++j)
                _mm256_store_si256(e + j, _mm256_load_si256(e + steps + j));
        }
    }
    orbit_in_turn(walk, first + orbit_lanes * stretch, count - orbit_lanes * stretch, set);
}

} // namespace

void avx2_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count,
                const round_set &set, std::vector<uint32_t> *out)
{
    const walk_out walk{forms, nforms, out};
    static_assert(most_forms == 2);
    auto run = set.flips > 0 ? (nforms == 1 ? avx2_orbit_run<true, 1> : avx2_orbit_run<true, 2>)
                             : (nforms == 1 ? avx2_orbit_run<false, 1> : avx2_orbit_run<false, 2>);
    run(walk, first, count, set);
}
#endif

const orbit_form &glibc_orbit()
{
    // Only w0 of the twin differs, by 2^31 + 1.
    static const orbit_form form = make_orbit_form(0, rand_model::twin_offset);
    return form;
}

const screen_ops &portable_screen()
{
    static const screen_ops ops{"portable", portable_seeds, portable_orbit};
    return ops;
}

const screen_ops *avx2_screen()
{
#ifdef GEN_HAVE_AVX2
    static const screen_ops ops{"avx2", avx2_seeds, avx2_orbit};
    if (__builtin_cpu_supports("avx2"))
        return &ops;
#endif
    return nullptr;
}

const screen_ops *avx512_screen()
{
#ifdef GEN_HAVE_AVX2
    static const screen_ops ops{"avx512", avx2_seeds, avx512_orbit};
    if (__builtin_cpu_supports("avx512f") && avx2_screen())
        return &ops;
#endif
    return nullptr;
}

const screen_ops *avx512_vnni_screen()
{
#ifdef GEN_HAVE_AVX2
    static const screen_ops ops{"avx512vnni", avx2_seeds, avx512_vnni_orbit};
    if (__builtin_cpu_supports("avx512vnni") && avx512_screen())
        return &ops;
#endif
    return nullptr;
}

const screen_ops &best_screen()
{
    static const screen_ops &best = avx512_vnni_screen() ? *avx512_vnni_screen()
                                    : avx512_screen()    ? *avx512_screen()
                                    : avx2_screen()      ? *avx2_screen()
                                                         : portable_screen();
    return best;
}

void screen_seeds(const screen_ops &ops, uint32_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> &out)
{
    uint32_t s = first;
    while (count > 0) {
        if (s == 0) {
            // srand(0) seeds as srand(1): not on the progression of its half.
            rand_model::generator g(0);
            uint32_t d[round_set::most_flips + 1] = {};
            for (int k = 0; k <= set.flips; ++k)
                d[k] = static_cast<uint32_t>(g.next());
            if (set.passes(d))
                out.push_back(0);
            s = 1;
            --count;
            continue;
        }
        uint64_t half_end = s < 0x80000000u ? 0x80000000ull : 0x100000000ull;
        uint64_t piece = std::min<uint64_t>(count, half_end - s);
        ops.seeds(s, static_cast<uint32_t>(piece), set, out);
        s = static_cast<uint32_t>(s + piece);
        count -= piece;
    }
}

} // namespace gen
