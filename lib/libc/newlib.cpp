// newlib (embedded systems, Cygwin): a 64-bit LCG seeded with s, output
// bits 32 to 62.
#include "family.hpp"

namespace gen {

namespace {

constexpr lcg64_form form{6364136223846793005ull, 1, 0, 0, 0x7fffffffu};

void newlib_seed(rand_state &st, uint32_t s) { st.x = s; }

int newlib_next(rand_state &st)
{
    st.x = form.mul * st.x + form.add;
    return static_cast<int>((st.x >> 32) & 0x7fffffff);
}

void newlib_early(uint32_t s, int *out, int count) { early_of(newlib_seed, newlib_next, s, out, count); }

} // namespace

extern const family newlib{"newlib",
                           "newlib (embedded systems, Cygwin)",
                           "newlib's rand()",
                           2147483647u,
                           newlib_seed,
                           newlib_next,
                           newlib_early,
                           nullptr,
                           lcg64_units,
                           lcg64_portable,
                           lcg64_avx2,
                           lcg64_avx512,
                           nullptr,
                           &form};

} // namespace gen
