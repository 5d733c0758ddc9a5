// Screen kernels that several families share: the portable screen by
// seed, the whole range of an inverse_form, and the screens of a 64-bit
// linear congruential generator (lcg64_form).
#include <algorithm>

#include "family.hpp"
#include "round_test_avx2.hpp"
#include "round_test_avx512.hpp"

namespace gen {

uint32_t pow_mod_p(uint64_t a, uint64_t e)
{
    const uint64_t p = 2147483647u;
    uint64_t r = 1;
    for (a %= p; e > 0; e >>= 1, a = a * a % p)
        if (e & 1)
            r = r * a % p;
    return static_cast<uint32_t>(r);
}

void seeds_by_early_draw(const family &f, uint32_t first, uint64_t count, const round_set &set,
                         std::vector<uint32_t> &out)
{
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t s = static_cast<uint32_t>(first + i);
        if (early_passes(f, s, set))
            out.push_back(s);
    }
}

std::pair<uint64_t, uint64_t> inverse_unit(const family &f, uint64_t u)
{
    const uint64_t most = f.inverse->most;
    const uint64_t step = (most / 4011 / f.units + 1) * 4011;
    const uint64_t lo = u * step;
    return {lo, std::min(most + 1, lo + step)};
}

bool inverse_draws_pass(const family &f, const round_set &set, uint32_t o)
{
    rand_state st;
    st.x = o;
    uint32_t d[round_set::most_flips + 1];
    int made = 0;
    auto draw = [&](int k) {
        for (; made < k; ++made)
            d[made + 1] = static_cast<uint32_t>(f.next(st));
        return d[k];
    };
    return set.passes_by(o, draw);
}

void whole_by_inverse(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    const auto [lo, hi] = inverse_unit(f, u);
    const bool by_draws = set.flips > 0 && f.inverse->draw_is_state;
    for (int i = 0; i < set.count; ++i)
        for (uint64_t o = lo + static_cast<uint64_t>(set.listed[i]); o < hi; o += 4011) {
            if (by_draws) {
                // A wide set: the later draws follow from the first, so the
                // seeds of a draw are listed only where its draws pass.
                if (inverse_draws_pass(f, set, static_cast<uint32_t>(o)))
                    f.inverse->seeds_of(static_cast<uint32_t>(o), out);
                continue;
            }
            size_t from = out.size();
            f.inverse->seeds_of(static_cast<uint32_t>(o), out);
            if (set.flips > 0)
                out.erase(std::remove_if(out.begin() + static_cast<long>(from), out.end(),
                                         [&](uint32_t s) { return !early_passes(f, s, set); }),
                          out.end());
        }
}

namespace {

// The first draw of state t (the seed's start added).
inline uint32_t lcg64_draw(const lcg64_form &g, uint64_t x)
{
    return static_cast<uint32_t>(x >> 32 >> g.shift) & g.mask;
}

// Whether seed s passes the set, its draws made as they are asked for.
bool lcg64_passes(const lcg64_form &g, uint32_t s, const round_set &set)
{
    uint64_t t = uint64_t{static_cast<uint32_t>(s + g.start)} << g.state_shift | g.offset;
    auto draw = [&](int) {
        t = g.mul * t + g.add;
        return lcg64_draw(g, t);
    };
    return set.passes_by(draw(0), draw);
}

void lcg64_portable_run(const lcg64_form &g, uint32_t first, uint64_t count, const round_set &set,
                        std::vector<uint32_t> &out)
{
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t s = static_cast<uint32_t>(first + i);
        if (lcg64_passes(g, s, set))
            out.push_back(s);
    }
}

// Pushes the seeds of the lanes of mask (seeds[l] + add), which passed
// the first `tested` flips, that pass the set's later flips too.
inline void lcg64_push(const lcg64_form &g, const round_set &set, int tested, int mask, const uint32_t *seeds,
                       uint32_t add, std::vector<uint32_t> &out)
{
    if (set.flips > tested)
        push_lanes_if(mask, seeds, add, out, [&](uint32_t s) { return lcg64_passes(g, s, set); });
    else
        push_lanes(mask, seeds, add, out);
}

void lcg64_portable_seeds(const family &f, uint32_t first, uint64_t count, const round_set &set,
                          std::vector<uint32_t> &out)
{
    lcg64_portable_run(*f.lcg64, first, count, set, out);
}

constexpr uint64_t lcg64_unit = (1ull << 32) / lcg64_units;

// Whether unit u of f's whole range goes another way than a screen of
// its seeds, and if so goes it.
bool lcg64_whole_otherwise(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    if (f.inverse && set.flips == 0)
        whole_by_inverse(f, u, set, out);
    else if (lcg64_lattice_pays(f, set))
        lcg64_whole_by_lattice(f, u, set, out);
    else
        return false;
    return true;
}

// Whether seeds s and s + 2^31 make the same draws: a 32-bit state kept in
// the top bits, whose top bit (all they differ in) no draw reads.
bool lcg64_halves(const lcg64_form &g)
{
    return g.state_shift == 32 && (uint64_t{g.mask} << g.shift) >> 31 == 0;
}

// Unit u of f's whole range, its seeds screened by run(first, count).
// Where the halves draw alike, a unit of the lower half gives its seeds
// that pass and their twins, and one of the upper half nothing: half the
// screen.
template <class Run>
void lcg64_whole_unit(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out, Run run)
{
    if (lcg64_whole_otherwise(f, u, set, out))
        return;
    const bool halves = lcg64_halves(*f.lcg64);
    if (halves && u >= lcg64_units / 2)
        return;
    const size_t from = out.size();
    run(static_cast<uint32_t>(u * lcg64_unit), lcg64_unit);
    if (halves)
        for (size_t i = from, n = out.size(); i < n; ++i)
            out.push_back(out[i] | 0x80000000u);
}

void lcg64_portable_whole(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    lcg64_whole_unit(f, u, set, out, [&](uint32_t first, uint64_t count) {
        lcg64_portable_run(*f.lcg64, first, count, set, out);
    });
}

#ifdef GEN_HAVE_AVX2

// What a vector screen of Lanes seeds a block starts from: the states after
// draw k (0 to the eager flips) of seeds first .. first + Lanes - 1, and what each
// adds from one block to the next. Draw k's state is mul^(k+1) t plus a
// constant, so seed s + Lanes adds Lanes mul^(k+1).
template <int Lanes>
struct lcg64_block_start {
    uint64_t state[round_set::vector_flips + 1][Lanes], step[round_set::vector_flips + 1];

    lcg64_block_start(const lcg64_form &g, uint32_t first, int flips)
    {
        const uint64_t t0 = static_cast<uint32_t>(first + g.start);
        uint64_t t[Lanes], mul_k = 1;
        for (int l = 0; l < Lanes; ++l)
            t[l] = (t0 + static_cast<uint64_t>(l)) << g.state_shift | g.offset;
        for (int k = 0; k <= flips; ++k) {
            mul_k *= g.mul;
            for (int l = 0; l < Lanes; ++l)
                state[k][l] = t[l] = g.mul * t[l] + g.add;
            step[k] = mul_k * (uint64_t{Lanes} << g.state_shift);
        }
    }
    long long at(int k, int l) const { return static_cast<long long>(state[k][l]); }
};

// Eight seeds per step: the states of seeds 0, 2, 4, 6 of a block in one
// vector, of 1, 3, 5, 7 in the other; each step adds 8 mul to both. The
// high words of the even lanes shift down, the odd ones are in place, so
// one blend gives the eight draws in seed order. Runs where the state
// would wrap from 2^32 - 1 to 0 are split there.
__attribute__((target("avx2"))) void lcg64_avx2_run(const lcg64_form &g, uint32_t first,
                                                    uint64_t count, const round_set &set,
                                                    std::vector<uint32_t> &out)
{
    constexpr int lanes = 8;
    const uint64_t blocks = count / lanes;
    if (blocks > 0) {
        // The states after draw k of the even and odd seeds of a block.
        __m256i even[round_set::eager_flips + 1], odd[round_set::eager_flips + 1],
            step[round_set::eager_flips + 1];
        const lcg64_block_start<lanes> start(g, first, set.eager);
        for (int k = 0; k <= set.eager; ++k) {
            even[k] = _mm256_set_epi64x(start.at(k, 6), start.at(k, 4), start.at(k, 2), start.at(k, 0));
            odd[k] = _mm256_set_epi64x(start.at(k, 7), start.at(k, 5), start.at(k, 3), start.at(k, 1));
            step[k] = _mm256_set1_epi64x(static_cast<long long>(start.step[k]));
        }
        const __m128i shift = _mm_cvtsi32_si128(g.shift);
        const __m256i mask = _mm256_set1_epi32(static_cast<int>(g.mask));
        const avx2_round_test test(set);
        const avx2_flip_test flip_test(set, set.eager);
        alignas(32) uint32_t seeds[lanes];
        for (int l = 0; l < lanes; ++l)
            seeds[l] = first + static_cast<uint32_t>(l);
        __m256i o[round_set::eager_flips + 1];
        for (uint64_t b = 0; b < blocks; ++b) {
            for (int k = 0; k <= set.eager; ++k) {
                __m256i hi = _mm256_blend_epi32(_mm256_srli_epi64(even[k], 32), odd[k], 0xAA);
                o[k] = _mm256_and_si256(_mm256_srl_epi32(hi, shift), mask);
                even[k] = _mm256_add_epi64(even[k], step[k]);
                odd[k] = _mm256_add_epi64(odd[k], step[k]);
            }
            if (int m = set.flips > 0 ? flip_test.mask(o) : test.mask(o[0]))
                lcg64_push(g, set, set.eager, m, seeds, static_cast<uint32_t>(b * lanes), out);
        }
    }
    const uint64_t done = blocks * lanes;
    if (done < count)
        lcg64_portable_run(g, static_cast<uint32_t>(first + done), count - done, set, out);
}

// The seeds of [first, first + count) through Run, one run of states on
// each side of the seed whose state is 0.
template <void (*Run)(const lcg64_form &, uint32_t, uint64_t, const round_set &, std::vector<uint32_t> &)>
void lcg64_vector_seeds(const family &f, uint32_t first, uint64_t count, const round_set &set,
                        std::vector<uint32_t> &out)
{
    const lcg64_form &g = *f.lcg64;
    const uint32_t wrap = 0u - g.start;
    uint64_t before = static_cast<uint32_t>(wrap - first);
    if (before == 0 || before >= count) {
        Run(g, first, count, set, out);
        return;
    }
    Run(g, first, before, set, out);
    Run(g, wrap, count - before, set, out);
}

// Unit u of the whole range: another way where one pays, else a screen of
// its seeds by Seeds.
template <seeds_kernel Seeds>
void lcg64_vector_whole(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    lcg64_whole_unit(f, u, set, out, [&](uint32_t first, uint64_t count) { Seeds(f, first, count, set, out); });
}

// Draw k of block b of sixteen seeds: even and odd, the states of block 0
// after each draw; e0 and o0 block b's after the first.
struct lcg64_draw16 {
    const uint64_t *step;
    const __m512i *even, *odd;
    __m128i shift;
    __m512i mask, e0, o0;
    uint64_t b;

    GEN_AVX512 __m512i of(__m512i e, __m512i o) const
    {
        __m512i hi = _mm512_mask_blend_epi32(0xAAAA, _mm512_srli_epi64(e, 32), o);
        return _mm512_and_si512(_mm512_srl_epi32(hi, shift), mask);
    }
    GEN_AVX512 __m512i operator()(int k) const
    {
        if (k == 0)
            return of(e0, o0);
        const __m512i add = _mm512_set1_epi64(static_cast<long long>(b * step[k]));
        return of(_mm512_add_epi64(even[k], add), _mm512_add_epi64(odd[k], add));
    }
};

// Sixteen seeds per step, as lcg64_avx2_run does eight: the states of the
// even seeds of a block in one vector of 64-bit lanes, of the odd ones in
// the other. The first draw's states go on by a step each block; a later
// draw's are made only while some lane passes, from block 0's and b
// steps (the same for every lane). Test: lcg64_first_draw<n>, or
// lcg64_flips for a set that screens by flips.
template <class Test>
GEN_AVX512 void lcg64_avx512_run(const lcg64_form &g, uint32_t first, uint64_t count, const round_set &set,
                                 std::vector<uint32_t> &out)
{
    constexpr int lanes = 16;
    const uint64_t blocks = count / lanes;
    if (blocks > 0) {
        const Test test(set);
        __m512i even[round_set::vector_flips + 1], odd[round_set::vector_flips + 1];
        const lcg64_block_start<lanes> start(g, first, test.flips);
        for (int k = 0; k <= test.flips; ++k) {
            auto at = [&](int l) { return start.at(k, l); };
            even[k] = _mm512_set_epi64(at(14), at(12), at(10), at(8), at(6), at(4), at(2), at(0));
            odd[k] = _mm512_set_epi64(at(15), at(13), at(11), at(9), at(7), at(5), at(3), at(1));
        }
        const __m512i step0 = _mm512_set1_epi64(static_cast<long long>(start.step[0]));
        lcg64_draw16 draw{start.step,
                          even,
                          odd,
                          _mm_cvtsi32_si128(g.shift),
                          _mm512_set1_epi32(static_cast<int>(g.mask)),
                          even[0],
                          odd[0],
                          0};
        alignas(64) uint32_t seeds[lanes];
        for (int l = 0; l < lanes; ++l)
            seeds[l] = first + static_cast<uint32_t>(l);
        // Each block's first draw is tested a block ahead, before the
        // branches on the block before it: its gather then waits on no
        // mispredicted branch.
        auto next = test.first(draw(0));
        for (; draw.b < blocks; ++draw.b) {
            const auto now = next;
            draw.e0 = _mm512_add_epi64(draw.e0, step0);
            draw.o0 = _mm512_add_epi64(draw.o0, step0);
            next = test.first(draw(0));
            if (int m = test.passing(draw, now))
                lcg64_push(g, set, test.flips, m, seeds, static_cast<uint32_t>(draw.b * lanes), out);
        }
    }
    const uint64_t done = blocks * lanes;
    if (done < count)
        lcg64_portable_run(g, static_cast<uint32_t>(first + done), count - done, set, out);
}

// The tests as lcg64_avx512_run takes them.
// flips: how many later draws they test; first() tests a block's first
// draw, passing() the rest, draw(k) giving draw k.
template <int Tests>
struct lcg64_first_draw {
    avx512_round_test<Tests> test;
    static constexpr int flips = 0;
    GEN_AVX512 explicit lcg64_first_draw(const round_set &set) : test(set) {}
    GEN_AVX512 __mmask16 first(__m512i d0) const { return test.mask(d0); }
    template <class Draw>
    GEN_AVX512 int passing(const Draw &, __mmask16 first) const
    {
        return first;
    }
};

struct lcg64_flips {
    avx512_flip_test test;
    int flips, sure;
    GEN_AVX512 explicit lcg64_flips(const round_set &set)
        : test(set), flips(set.dense), sure(avx512_flip_test::sure_flips(set))
    {
    }
    // The lanes whose first draw d0 is in the set, and their wants.
    struct first_test {
        __mmask16 alive;
        __m512i p;
    };
    GEN_AVX512 first_test first(__m512i d0) const
    {
        first_test t;
        __m512i r;
        t.alive = test.first(d0, r, t.p);
        return t;
    }
    template <class Draw>
    GEN_AVX512 int passing(const Draw &draw, const first_test &first) const
    {
        const __m512i p = first.p;
        __mmask16 alive = first.alive;
        int k = 0;
        for (; k < sure; ++k)
            alive = test.flip(k, alive, p, draw(k + 1));
        for (; k < flips && alive; ++k)
            alive = test.flip(k, alive, p, draw(k + 1));
        return alive;
    }
};

// The screen by seed with the test the set takes.
void lcg64_avx512_seeds(const family &f, uint32_t first, uint64_t count, const round_set &set,
                        std::vector<uint32_t> &out)
{
    using seeds = void (*)(const family &, uint32_t, uint64_t, const round_set &, std::vector<uint32_t> &);
    static constexpr seeds by_tests[] = {
        lcg64_vector_seeds<lcg64_avx512_run<lcg64_first_draw<0>>>,
        lcg64_vector_seeds<lcg64_avx512_run<lcg64_first_draw<1>>>,
        lcg64_vector_seeds<lcg64_avx512_run<lcg64_first_draw<2>>>,
        lcg64_vector_seeds<lcg64_avx512_run<lcg64_first_draw<3>>>,
        lcg64_vector_seeds<lcg64_avx512_run<lcg64_first_draw<4>>>};
    seeds screen = set.flips > 0 ? lcg64_vector_seeds<lcg64_avx512_run<lcg64_flips>>
                                 : by_tests[set.count > 4 ? 0 : set.count];
    screen(f, first, count, set, out);
}

#endif

} // namespace

const family_kernels lcg64_portable{"portable", lcg64_portable_seeds, lcg64_portable_whole};

const family_kernels *lcg64_avx2()
{
#ifdef GEN_HAVE_AVX2
    static const family_kernels k{"avx2", lcg64_vector_seeds<lcg64_avx2_run>,
                                  lcg64_vector_whole<lcg64_vector_seeds<lcg64_avx2_run>>};
    if (__builtin_cpu_supports("avx2"))
        return &k;
#endif
    return nullptr;
}

const family_kernels *lcg64_avx512()
{
#ifdef GEN_HAVE_AVX2
    static const family_kernels k{"avx512", lcg64_avx512_seeds, lcg64_vector_whole<lcg64_avx512_seeds>};
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2"))
        return &k;
#endif
    return nullptr;
}

} // namespace gen
