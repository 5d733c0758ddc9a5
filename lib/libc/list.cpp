// The families the search knows, in the order it tries them: glibc's
// first, as most crypts come from a glibc build.
#include "family.hpp"

namespace gen {

extern const family glibc, musl, msvc, macos, freebsd, freebsd10, netbsd, newlib, klibc, dietlibc;

const std::vector<const family *> &all_families()
{
    static const std::vector<const family *> list{&glibc,     &musl,   &msvc,   &macos, &freebsd,
                                                  &freebsd10, &netbsd, &newlib, &klibc, &dietlibc};
    return list;
}

const family &glibc_family() { return glibc; }

const family *find_family(std::string_view name)
{
    for (const family *f : all_families())
        if (name == f->name)
            return f;
    return nullptr;
}

const family_kernels &best_kernels(const family &f)
{
    for (auto vector : {f.avx512, f.avx2})
        if (const family_kernels *k = vector ? vector() : nullptr)
            return *k;
    return f.portable;
}

std::unique_ptr<draw_source> authority_draws(const family &f, uint32_t s)
{
    if (f.c_library)
        return f.c_library(s);
    return std::make_unique<model_draws>(f, s);
}

} // namespace gen
