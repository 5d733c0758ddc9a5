// musl 0.9.11 and later (Alpine, static builds): a 64-bit LCG seeded with
// s - 1 (in 32 bits, so srand(0) gives 2^32 - 1), output its top 31 bits.
#include "family.hpp"

namespace gen {

namespace {

constexpr lcg64_form form{6364136223846793005ull, 1, 0xffffffffu, 1, 0x7fffffffu};

void musl_seed(rand_state &st, uint32_t s) { st.x = static_cast<uint32_t>(s - 1); }

int musl_next(rand_state &st)
{
    st.x = form.mul * st.x + form.add;
    return static_cast<int>(st.x >> 33);
}

void musl_early(uint32_t s, int *out, int count) { early_of(musl_seed, musl_next, s, out, count); }

} // namespace

extern const family musl{"musl",
                         "musl 0.9.11 and later (Alpine, static builds)",
                         "musl's rand()",
                         2147483647u,
                         musl_seed,
                         musl_next,
                         musl_early,
                         nullptr,
                         lcg64_units,
                         lcg64_portable,
                         lcg64_avx2,
                         lcg64_avx512,
                         nullptr,
                         &form};

} // namespace gen
