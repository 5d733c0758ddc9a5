// klibc, and Android before 5: srand(s) is srand48(s), so X = s 2^16 +
// 0x330E; each draw X = 0x5DEECE66D X + 0xB (mod 2^48), output X >> 17.
// The seeding fixes the low 16 bits of every state, so a first draw
// leaves one bit unseen and gives two seeds.
#include "family.hpp"

namespace gen {

namespace {

constexpr uint64_t mul = 0x5DEECE66Dull, add = 0xB, low = 0x330E, bits48 = (1ull << 48) - 1;

constexpr uint64_t inverse_mod_2_48(uint64_t a)
{
    uint64_t x = a;
    for (int i = 0; i < 6; ++i)
        x *= 2 - a * x;
    return x & bits48;
}
constexpr uint64_t unmul = inverse_mod_2_48(mul);
static_assert((mul * unmul & bits48) == 1);

void klibc_seed(rand_state &st, uint32_t s) { st.x = uint64_t{s} << 16 | low; }

int klibc_next(rand_state &st)
{
    st.x = (mul * st.x + add) & bits48;
    return static_cast<int>(st.x >> 17);
}

void klibc_early(uint32_t s, int *out, int count) { early_of(klibc_seed, klibc_next, s, out, count); }

void seeds_of(uint32_t o, std::vector<uint32_t> &out)
{
    const uint64_t low1 = (mul * low + add) & 0xffff;
    for (uint64_t bit = 0; bit < 2; ++bit) {
        uint64_t x1 = uint64_t{o} << 17 | bit << 16 | low1;
        out.push_back(static_cast<uint32_t>(((x1 - add) * unmul & bits48) >> 16));
    }
}

constexpr inverse_form inverse{0x7fffffff, seeds_of};
// The 48 bits kept in the top of 64.
constexpr lcg64_form form{mul, add << 16, 0, 1, 0x7fffffff, 32, low << 16};

} // namespace

extern const family klibc{"klibc",
                          "klibc; Android (bionic) before 5",
                          "klibc's rand()",
                          2147483647u,
                          klibc_seed,
                          klibc_next,
                          klibc_early,
                          nullptr,
                          lcg64_units,
                          lcg64_portable,
                          lcg64_avx2,
                          lcg64_avx512,
                          &inverse,
                          &form};

} // namespace gen
