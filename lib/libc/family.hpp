// The C libraries' rand(): one record per generator family.
//
// gen takes its draws from the rand() of the C library it was built
// with, and each library has its own. A family is one generator that one
// or more C libraries share: its name, its draws after srand(), the seeds
// that share a stream, and its screen kernels, which find the seeds whose
// first draw gives a wanted round count (by seed for a stretch of
// seconds, and over the whole range in work units; portable and AVX2,
// with the same seeds in the same order).
//
// The search and the decisions see only these records. A new family is
// one file in lib/libc/ and one line in list.cpp.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "screen.hpp"

namespace gen {

struct family;

// A generator's state after srand(): one word, or 31 as glibc keeps.
struct rand_state {
    uint64_t x = 0;
    uint32_t r[31];  // filled by the 31-word families' srand()
    int f = 3, b = 0;
};

struct family_kernels {
    const char *isa;
    // Appends every seed of [first, first + count) whose first draw, mod
    // 4011, is in the set, in increasing order (first + count <= 2^32).
    void (*seeds)(const family &, uint32_t first, uint64_t count, const round_set &,
                  std::vector<uint32_t> &out);
    // The same for work unit u of the whole range (u < family::units): the
    // units together hold every seed once. The order within a unit
    // depends on u alone.
    void (*whole)(const family &, uint64_t u, const round_set &, std::vector<uint32_t> &out);
    // Where several families' whole ranges are one walk (the orbit's): unit
    // u of fams[0 .. n) at once, out[i] getting what whole() gives fams[i].
    // Families with the same walk share it; null for the others.
    void (*walk)(const family *const *fams, int n, uint64_t u, const round_set &,
                 std::vector<uint32_t> *out) = nullptr;
};

// Generators whose first draw gives the seed back (an invertible map):
// the whole range is screened by going from the wanted first draws to
// their seeds, not through the seeds.
struct inverse_form {
    uint32_t most;  // the largest first draw
    // Appends every seed whose first draw is o.
    void (*seeds_of)(uint32_t o, std::vector<uint32_t> &out);
    // Whether a draw is the whole state (rand_state::x) after it, so that
    // the later draws follow from the first.
    bool draw_is_state = false;
    // Where it is: the draw after draw x (for x from 1 to most) is
    // mul (x + add) mod (2^31 - 1) - add, as the vector kernels compute it.
    uint32_t mul = 0, add = 0;
};

// Linear congruential generators that output high bits, as 64-bit ones:
// after srand(s) the state is t = (s + start (mod 2^32)) << state_shift |
// offset, and each draw is t = mul t + add (mod 2^64), output
// (t >> 32 >> shift) & mask. A 32-bit or 48-bit LCG is one whose state is
// kept in the top bits (state_shift 32, add and offset shifted to match).
struct lcg64_form {
    uint64_t mul, add;
    uint32_t start;
    int shift;
    uint32_t mask;
    int state_shift = 0;
    uint64_t offset = 0;
};

// The 31-word generators whose words are glibc's orbit windows, up to a
// constant: how they sit on the orbit, and the four seeds on no window.
struct orbit_place {
    const orbit_form &(*form)();
    uint32_t odd[4];
};

struct family {
    const char *name;       // as --libc takes it
    const char *libraries;  // the C libraries whose rand() it is
    const char *owner;      // for messages: "musl's rand()"
    uint32_t rand_max;

    void (*seed)(rand_state &, uint32_t s);
    int (*next)(rand_state &);
    // The first count draws after srand(s) (count at most early_draws),
    // without running the whole generator where that is dear (31 words and
    // 310 discarded outputs).
    void (*early)(uint32_t s, int *out, int count);
    // Appends the other seeds whose draws are the same as s's (or none).
    void (*twins)(uint32_t s, std::vector<uint32_t> &out);

    uint64_t units;  // of the whole range
    family_kernels portable;
    // The vector kernels: each returns nullptr where this CPU or build has
    // none (or is itself null).
    const family_kernels *(*avx2)();
    const family_kernels *(*avx512)();
    const inverse_form *inverse = nullptr;
    const lcg64_form *lcg64 = nullptr;
    const orbit_place *orbit = nullptr;
    // Where this process has the library's own generator (glibc's
    // random_r), a fresh one seeded with s: what confirms a result. Null:
    // the model is the authority, checked in the tests against the real
    // library where one can be installed.
    std::unique_ptr<struct draw_source> (*c_library)(uint32_t s) = nullptr;
};

// A stream of draws, as rand() gives them after srand().
struct draw_source {
    virtual ~draw_source() = default;
    virtual int next() = 0;
};

// The model's draws of f after srand(s).
class model_draws final : public draw_source {
public:
    model_draws(const family &f, uint32_t s) : f_(f) { f.seed(st_, s); }
    int next() override { return f_.next(st_); }

private:
    const family &f_;
    rand_state st_;
};

// The draws that confirm a result: the C library's own where this process
// has it, else the model's.
std::unique_ptr<draw_source> authority_draws(const family &f, uint32_t s);

// Every family, glibc first.
const std::vector<const family *> &all_families();
// The family of that name, or nullptr.
const family *find_family(std::string_view name);
// glibc's, which the search tries first.
const family &glibc_family();
// Whether the model of glibc's generator gives the C library's own draws
// (random_r() on a TYPE_3 state, as rand() has) for a spread of seeds (0,
// 1, both sides of 2^31, the largest, and random ones), 4100 draws each.
// Checked once.
bool glibc_model_fits();
// The fastest kernels of f on this CPU.
const family_kernels &best_kernels(const family &f);

// Shared kernels: the portable screen by seed, one early draw per seed;
// the whole range of an inverse_form; an lcg64_form's screens.
void seeds_by_early_draw(const family &f, uint32_t first, uint64_t count, const round_set &set,
                         std::vector<uint32_t> &out);
constexpr uint64_t inverse_units = 64;
void whole_by_inverse(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out);
// Unit u of an inverse_form's whole range: the first draws [lo, hi), lo a
// multiple of 4011.
std::pair<uint64_t, uint64_t> inverse_unit(const family &f, uint64_t u);
// Whether the draws after first draw o, a draw_is_state form's, pass.
bool inverse_draws_pass(const family &f, const round_set &set, uint32_t o);
// whole_by_inverse with the draws of a draw_is_state form's wide set
// eight (sixteen) first draws at a time.
const family_kernels *inverse_avx2();
const family_kernels *inverse_avx512();
// The families with both an inverse_form and an lcg64_form go through
// their draws for narrow sets, and screen every seed for wide ones.
constexpr uint64_t lcg64_units = 4096;  // of 2^20 seeds each
// Whether a narrow set is cheaper through its draws (lcg64_whole_by_lattice)
// than through a screen of every seed; the whole range that way: unit u
// takes a 1 / units share of the first draws.
bool lcg64_lattice_pays(const family &f, const round_set &set);
void lcg64_whole_by_lattice(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out);
extern const family_kernels lcg64_portable;
const family_kernels *lcg64_avx2();
const family_kernels *lcg64_avx512();

// The 31-word generators (glibc's, FreeBSD's): one step; the 310
// discarded outputs after the words are filled; the first count draws
// from the words alone.
int additive_next(rand_state &st);
void additive_start(rand_state &st);
void additive_early(const uint32_t w[31], int *out, int count);
// Their whole range along the orbit: units of orbit_unit_windows windows,
// and a last one for the four seeds on no window. The kernels of the
// families with an orbit_place, by instruction set, with their own screen
// by seed; the vector ones only where avx2_screen() or avx512_screen() is.
constexpr uint64_t orbit_unit_windows = 1u << 20;
constexpr uint64_t orbit_units = (2147483646u + orbit_unit_windows - 1) / orbit_unit_windows + 1;
using seeds_kernel = void (*)(const family &, uint32_t first, uint64_t count, const round_set &,
                              std::vector<uint32_t> &out);
void orbit_whole_portable(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out);
void orbit_walk_portable(const family *const *fams, int n, uint64_t u, const round_set &set,
                         std::vector<uint32_t> *out);
family_kernels orbit_avx2(seeds_kernel seeds);
family_kernels orbit_avx512(seeds_kernel seeds);
// A family's vector tables with Seeds as its screen by seed, where the CPU
// runs them.
template <seeds_kernel Seeds>
const family_kernels *orbit_avx2_kernels()
{
    static const family_kernels k = orbit_avx2(Seeds);
    return avx2_screen() ? &k : nullptr;
}
template <seeds_kernel Seeds>
const family_kernels *orbit_avx512_kernels()
{
    static const family_kernels k = orbit_avx512(Seeds);
    return avx512_screen() ? &k : nullptr;
}
constexpr int early_draws = 32;

// The first count draws after srand(s), by running a one-word generator.
template <class Seed, class Next>
void early_of(Seed seed, Next next, uint32_t s, int *out, int count)
{
    rand_state st;
    seed(st, s);
    for (int k = 0; k < count; ++k)
        out[k] = next(st);
}

// The first draw after srand(s).
inline int first_draw(const family &f, uint32_t s)
{
    int d;
    f.early(s, &d, 1);
    return d;
}

// Whether the draws after srand(s) pass the set's screen: the first
// eight made at once, the rest only for a seed that passes those.
inline bool early_passes(const family &f, uint32_t s, const round_set &set)
{
    int d[round_set::most_flips + 1];
    int made = std::min(1 + set.flips, 8);
    f.early(s, d, made);
    return set.passes_by(static_cast<uint32_t>(d[0]), [&](int k) {
        if (k >= made) {
            made = 1 + set.flips;
            f.early(s, d, made);
        }
        return static_cast<uint32_t>(d[k]);
    });
}

// Appends the seeds of all but s: the twins of s among the seeds that
// share its state.
inline void others_than(uint32_t s, const std::vector<uint32_t> &all, std::vector<uint32_t> &out)
{
    for (uint32_t t : all)
        if (t != s)
            out.push_back(t);
}

// a^e mod 2^31 - 1.
uint32_t pow_mod_p(uint64_t a, uint64_t e);

} // namespace gen
