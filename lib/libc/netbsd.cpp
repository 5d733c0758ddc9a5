// NetBSD, OpenBSD's srand_deterministic(), and musl before 0.9.11: a
// 32-bit LCG, output its low 31 bits. A first draw leaves the top bit
// unseen, so each gives two seeds, s and s + 2^31, which make the same
// draws.
#include "family.hpp"

namespace gen {

namespace {

constexpr uint32_t mul = 1103515245, add = 12345;
constexpr uint32_t unmul = inverse_mod_2_32(mul);

void netbsd_seed(rand_state &st, uint32_t s) { st.x = s; }

int netbsd_next(rand_state &st)
{
    st.x = static_cast<uint32_t>(mul * static_cast<uint32_t>(st.x) + add);
    return static_cast<int>(st.x & 0x7fffffff);
}

void netbsd_early(uint32_t s, int *out, int count) { early_of(netbsd_seed, netbsd_next, s, out, count); }

void netbsd_twins(uint32_t s, std::vector<uint32_t> &out) { out.push_back(s ^ 0x80000000u); }

void seeds_of(uint32_t o, std::vector<uint32_t> &out)
{
    out.push_back((o - add) * unmul);
    out.push_back(((o | 0x80000000u) - add) * unmul);
}

constexpr inverse_form inverse{0x7fffffff, seeds_of};
constexpr lcg64_form form{mul, uint64_t{add} << 32, 0, 0, 0x7fffffff, 32, 0};

} // namespace

extern const family netbsd{"netbsd",
                           "NetBSD; OpenBSD's srand_deterministic(); musl before 0.9.11",
                           "NetBSD's rand()",
                           2147483647u,
                           netbsd_seed,
                           netbsd_next,
                           netbsd_early,
                           netbsd_twins,
                           lcg64_units,
                           lcg64_portable,
                           lcg64_avx2,
                           lcg64_avx512,
                           &inverse,
                           &form};

} // namespace gen
