// Microsoft's C runtime (msvcrt, UCRT; so MinGW too): a 32-bit LCG,
// output bits 16 to 30. A first draw leaves 17 bits of the state unseen,
// so each gives 2^17 seeds; s and s + 2^31 make the same draws.
#include "family.hpp"

namespace gen {

namespace {

constexpr uint32_t mul = 214013, add = 2531011;
constexpr uint32_t unmul = inverse_mod_2_32(mul);

void msvc_seed(rand_state &st, uint32_t s) { st.x = s; }

int msvc_next(rand_state &st)
{
    st.x = static_cast<uint32_t>(mul * static_cast<uint32_t>(st.x) + add);
    return static_cast<int>((st.x >> 16) & 0x7fff);
}

void msvc_early(uint32_t s, int *out, int count) { early_of(msvc_seed, msvc_next, s, out, count); }

void msvc_twins(uint32_t s, std::vector<uint32_t> &out) { out.push_back(s ^ 0x80000000u); }

void seeds_of(uint32_t o, std::vector<uint32_t> &out)
{
    for (uint32_t top = 0; top < 2; ++top)
        for (uint32_t low = 0; low < 0x10000; ++low)
            out.push_back((((top << 31) | (o << 16) | low) - add) * unmul);
}

constexpr inverse_form inverse{0x7fff, seeds_of};
constexpr lcg64_form form{mul, uint64_t{add} << 32, 0, 16, 0x7fff, 32, 0};

} // namespace

extern const family msvc{"msvc",
                         "Microsoft's C runtime (msvcrt, UCRT; so MinGW too)",
                         "Microsoft's rand()",
                         32767,
                         msvc_seed,
                         msvc_next,
                         msvc_early,
                         msvc_twins,
                         lcg64_units,
                         lcg64_portable,
                         lcg64_avx2,
                         lcg64_avx512,
                         &inverse,
                         &form};

} // namespace gen
