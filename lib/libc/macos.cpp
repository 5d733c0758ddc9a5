// macOS, and FreeBSD up to 9: Park and Miller's minimal standard
// generator, next = 16807 next mod (2^31 - 1), output next; a state of 0
// becomes 123459876 first. The first draw is 16807 s mod p, so it gives
// s mod p back: s, s + p and s + 2p make the same draws.
#include "family.hpp"

namespace gen {

namespace {

constexpr uint64_t p = 2147483647u;
constexpr uint64_t zero_state = 123459876;

void macos_seed(rand_state &st, uint32_t s) { st.x = s; }

int macos_next(rand_state &st)
{
    if (st.x == 0)
        st.x = zero_state;
    st.x = 16807 * st.x % p;
    return static_cast<int>(st.x);
}

void macos_early(uint32_t s, int *out, int count) { early_of(macos_seed, macos_next, s, out, count); }

// Every seed whose state is r mod p, in increasing order.
void seeds_of_residue(uint64_t r, std::vector<uint32_t> &out)
{
    if (r == zero_state)
        out.push_back(0);
    for (uint64_t s = r == 0 ? p : r; s <= 0xffffffffu; s += p)
        out.push_back(static_cast<uint32_t>(s));
}

void macos_twins(uint32_t s, std::vector<uint32_t> &out)
{
    std::vector<uint32_t> all;
    seeds_of_residue(s == 0 ? zero_state : s % p, all);
    others_than(s, all, out);
}

void seeds_of(uint32_t o, std::vector<uint32_t> &out)
{
    static const uint64_t unmul = pow_mod_p(16807, p - 2);
    seeds_of_residue(o * unmul % p, out);
}

constexpr inverse_form inverse{2147483646u, seeds_of, true, 16807, 0};

} // namespace

extern const family macos{"macos",
                          "macOS; FreeBSD up to 9",
                          "macOS's rand()",
                          2147483647u,
                          macos_seed,
                          macos_next,
                          macos_early,
                          macos_twins,
                          inverse_units,
                          {"portable", seeds_by_early_draw, whole_by_inverse},
                          inverse_avx2,
                          inverse_avx512,
                          &inverse};

} // namespace gen
