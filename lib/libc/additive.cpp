// What glibc's generator and FreeBSD's share: 31 words, r[f] += r[b],
// output the sum shifted right by one; and the whole range walked along
// the orbit of 16807 mod 2^31 - 1.
#include "family.hpp"
#include "rand_model.hpp"

static_assert(gen::early_draws <= gen::rand_model::early_draws);

namespace gen {

int additive_next(rand_state &st)
{
    uint32_t v = st.r[st.f] += st.r[st.b];
    st.f = st.f + 1 == 31 ? 0 : st.f + 1;
    st.b = st.b + 1 == 31 ? 0 : st.b + 1;
    return static_cast<int>(v >> 1);
}

void additive_start(rand_state &st)
{
    st.f = 3;
    st.b = 0;
    for (int i = 0; i < 310; ++i)
        additive_next(st);
}

void additive_early(const uint32_t w[31], int *out, int count)
{
    for (int k = 0; k < count; ++k)
        out[k] = rand_model::early_draw(k, w);
}

namespace {

// Unit u of the families' walk: out[i] gets fams[i]'s seeds.
void orbit_unit(const screen_ops &ops, const family *const *fams, int n, uint64_t u,
                const round_set &set, std::vector<uint32_t> *out)
{
    if (u + 1 == orbit_units) {
        for (int i = 0; i < n; ++i)
            for (uint32_t s : fams[i]->orbit->odd)
                if (early_passes(*fams[i], s, set))
                    out[i].push_back(s);
        return;
    }
    orbit_form forms[most_forms];
    for (int i = 0; i < n; ++i)
        forms[i] = fams[i]->orbit->form();
    uint64_t first = u * orbit_unit_windows;
    ops.orbit(forms, n, first, std::min(orbit_unit_windows, rand_model::orbit_length - first), set, out);
}

template <const screen_ops *(*Ops)()>
void whole(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    const family *one[] = {&f};
    orbit_unit(*Ops(), one, 1, u, set, &out);
}

template <const screen_ops *(*Ops)()>
void walk(const family *const *fams, int n, uint64_t u, const round_set &set, std::vector<uint32_t> *out)
{
    orbit_unit(*Ops(), fams, n, u, set, out);
}

const screen_ops *portable_ops() { return &portable_screen(); }

} // namespace

void orbit_whole_portable(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    whole<portable_ops>(f, u, set, out);
}

void orbit_walk_portable(const family *const *fams, int n, uint64_t u, const round_set &set,
                         std::vector<uint32_t> *out)
{
    walk<portable_ops>(fams, n, u, set, out);
}

family_kernels orbit_avx2(seeds_kernel seeds) { return {"avx2", seeds, whole<avx2_screen>, walk<avx2_screen>}; }

namespace {

// AVX-512's walk, with VNNI's byte sums where the CPU has them.
const screen_ops *avx512_walk() { return avx512_vnni_screen() ? avx512_vnni_screen() : avx512_screen(); }

} // namespace

family_kernels orbit_avx512(seeds_kernel seeds)
{
    return {"avx512", seeds, whole<avx512_walk>, walk<avx512_walk>};
}

} // namespace gen
