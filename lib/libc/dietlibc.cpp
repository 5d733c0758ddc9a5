// dietlibc: x = 48271 x mod (2^31 - 1), output x, from x = s read as a
// signed 32-bit value (srand(0) uses 23). The first draw gives x mod p
// back, which two or three seeds share.
#include "family.hpp"

namespace gen {

namespace {

constexpr int64_t p = 2147483647;
constexpr uint32_t zero_seed = 23;

// The seed's value mod p, from 0 to p - 1.
uint64_t residue(uint32_t s)
{
    int64_t x = s == 0 ? int64_t{zero_seed} : int64_t{static_cast<int32_t>(s)};
    return static_cast<uint64_t>((x % p + p) % p);
}

void dietlibc_seed(rand_state &st, uint32_t s) { st.x = residue(s); }

int dietlibc_next(rand_state &st)
{
    st.x = 48271 * st.x % p;
    return static_cast<int>(st.x);
}

void dietlibc_early(uint32_t s, int *out, int count) { early_of(dietlibc_seed, dietlibc_next, s, out, count); }

// Every seed whose value is r mod p, in increasing order: r itself (p
// for 0), 2^31 for p - 1 (as -2^31), and r - p read as unsigned.
void seeds_of_residue(uint64_t r, std::vector<uint32_t> &out)
{
    if (r == zero_seed)
        out.push_back(0);
    out.push_back(static_cast<uint32_t>(r == 0 ? p : r));
    if (r == p - 1)
        out.push_back(0x80000000u);
    out.push_back(static_cast<uint32_t>(r + 0x80000001u));
}

void dietlibc_twins(uint32_t s, std::vector<uint32_t> &out)
{
    std::vector<uint32_t> all;
    seeds_of_residue(residue(s), all);
    others_than(s, all, out);
}

void seeds_of(uint32_t o, std::vector<uint32_t> &out)
{
    static const uint64_t unmul = pow_mod_p(48271, p - 2);
    seeds_of_residue(o * unmul % p, out);
}

constexpr inverse_form inverse{2147483646u, seeds_of, true, 48271, 0};

} // namespace

extern const family dietlibc{"dietlibc",
                             "dietlibc",
                             "dietlibc's rand()",
                             2147483646u,
                             dietlibc_seed,
                             dietlibc_next,
                             dietlibc_early,
                             dietlibc_twins,
                             inverse_units,
                             {"portable", seeds_by_early_draw, whole_by_inverse},
                             inverse_avx2,
                             inverse_avx512,
                             &inverse};

} // namespace gen
