// FreeBSD 10 to 12: x = (next mod 0x7ffffffe) + 1, x = 16807 x mod
// (2^31 - 1) - 1, next = x, output x. The first draw gives
// (s mod 0x7ffffffe) back: s and s + 0x7ffffffe make the same draws.
#include "family.hpp"

namespace gen {

namespace {

constexpr uint64_t p = 2147483647u, fold = 0x7ffffffe;

void freebsd10_seed(rand_state &st, uint32_t s) { st.x = s; }

int freebsd10_next(rand_state &st)
{
    st.x = 16807 * (st.x % fold + 1) % p - 1;
    return static_cast<int>(st.x);
}

void freebsd10_early(uint32_t s, int *out, int count) { early_of(freebsd10_seed, freebsd10_next, s, out, count); }

// Every seed with s mod 0x7ffffffe = f, in increasing order.
void seeds_of_fold(uint64_t f, std::vector<uint32_t> &out)
{
    for (uint64_t s = f; s <= 0xffffffffu; s += fold)
        out.push_back(static_cast<uint32_t>(s));
}

void freebsd10_twins(uint32_t s, std::vector<uint32_t> &out)
{
    std::vector<uint32_t> all;
    seeds_of_fold(s % fold, all);
    others_than(s, all, out);
}

void seeds_of(uint32_t o, std::vector<uint32_t> &out)
{
    static const uint64_t unmul = pow_mod_p(16807, p - 2);
    seeds_of_fold((uint64_t{o} + 1) * unmul % p - 1, out);
}

constexpr inverse_form inverse{0x7ffffffdu, seeds_of, true, 16807, 1};

} // namespace

extern const family freebsd10{"freebsd10",
                              "FreeBSD 10 to 12",
                              "FreeBSD 10's rand()",
                              0x7ffffffdu,
                              freebsd10_seed,
                              freebsd10_next,
                              freebsd10_early,
                              freebsd10_twins,
                              inverse_units,
                              {"portable", seeds_by_early_draw, whole_by_inverse},
                              inverse_avx2,
                              inverse_avx512,
                              &inverse};

} // namespace gen
