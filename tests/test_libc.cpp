// The C libraries' rand(): each family's model against the real library
// where Debian ships it, or against published draws; and every screen
// kernel against the model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "libc/family.hpp"

namespace {

using namespace gen;

const family &named(const char *name) { return *find_family(name); }

std::vector<int> model(const family &f, uint32_t seed, int n)
{
    model_draws d(f, seed);
    std::vector<int> out;
    for (int k = 0; k < n; ++k)
        out.push_back(d.next());
    return out;
}

// 0, 1, both sides of 2^31, the largest, and random ones.
std::vector<uint32_t> spread_of_seeds()
{
    std::vector<uint32_t> s{0, 1, 2, 23, 123459876, 2147483646u, 2147483647u, 2147483648u,
                            2147483649u, 4294967294u, 4294967295u};
    std::mt19937 rng(18);
    for (int i = 0; i < 20; ++i)
        s.push_back(static_cast<uint32_t>(rng()));
    return s;
}

TEST(Libc, ModelsGiveTheRealLibrariesDraws)
{
    const struct {
        const char *family, *printer;
    } real[] = {{"musl", DRAWS_MUSL}, {"dietlibc", DRAWS_DIETLIBC}, {"klibc", DRAWS_KLIBC}};
    std::vector<uint32_t> seeds = spread_of_seeds();
    std::string args;
    for (uint32_t s : seeds)
        args += " " + std::to_string(s);
    int compared = 0;
    for (const auto &r : real) {
        SCOPED_TRACE(r.family);
        if (*r.printer == '\0') {
            ADD_FAILURE() << "no compiler for " << r.family << " was found: make test installs it";
            continue;
        }
        FILE *p = popen(("'" + std::string(r.printer) + "'" + args).c_str(), "r");
        ASSERT_NE(p, nullptr);
        for (uint32_t s : seeds) {
            std::vector<int> got(40);
            for (int &d : got)
                ASSERT_EQ(fscanf(p, "%d", &d), 1) << "seed " << s;
            EXPECT_EQ(model(named(r.family), s, 40), got) << "seed " << s;
        }
        EXPECT_EQ(pclose(p), 0);
        ++compared;
    }
    EXPECT_EQ(compared, 3);
    // glibc's against the C library's own, as every search checks it.
    EXPECT_TRUE(glibc_model_fits());
}

TEST(Libc, ModelsGiveThePublishedDraws)
{
    // Microsoft's documented sequence after srand(1).
    EXPECT_EQ(model(named("msvc"), 1, 5), (std::vector<int>{41, 18467, 6334, 26500, 19169}));
    // Park and Miller's check: the 10,000th output from seed 1.
    EXPECT_EQ(model(named("macos"), 1, 10000).back(), 1043618065);
    // The seeds each family reads as another: srand(0) as 123459876 on
    // macOS, as 23 on dietlibc, as 1 on glibc; and as 2^32 - 1 on musl.
    for (auto [name, zero_as] : {std::pair<const char *, uint32_t>{"macos", 123459876},
                                 {"dietlibc", 23}, {"glibc", 1}})
        EXPECT_EQ(model(named(name), 0, 50), model(named(name), zero_as, 50)) << name;
    EXPECT_EQ(model(named("musl"), 0, 1)[0], static_cast<int>((6364136223846793005ull * 0xffffffffu + 1) >> 33));
}

TEST(Libc, TwinsMakeTheSameDrawsAndNoOthersDo)
{
    for (const family *f : all_families())
        for (uint32_t s : spread_of_seeds()) {
            SCOPED_TRACE(std::string(f->name) + " seed " + std::to_string(s));
            std::vector<uint32_t> twins;
            if (f->twins) {
                f->twins(s, twins);
            }
            for (uint32_t t : twins)
                EXPECT_EQ(model(*f, t, 60), model(*f, s, 60)) << "twin " << t;
            // Seeds with the same first draw are twins, or differ later.
            if (!f->inverse)
                continue;
            std::vector<uint32_t> same_first;
            f->inverse->seeds_of(static_cast<uint32_t>(first_draw(*f, s)), same_first);
            for (uint32_t t : same_first) {
                if (t != s && std::find(twins.begin(), twins.end(), t) == twins.end()) {
                    EXPECT_NE(model(*f, t, 60), model(*f, s, 60)) << "seed " << t;
                }
            }
        }
}

TEST(Libc, StateStepsAreTheModelsNextDraws)
{
    for (const family *f : all_families()) {
        if (!f->inverse || !f->inverse->draw_is_state)
            continue;
        const uint64_t mul = f->inverse->mul, add = f->inverse->add;
        for (uint32_t s : spread_of_seeds()) {
            std::vector<int> d = model(*f, s, 4);
            for (size_t k = 0; k + 1 < d.size(); ++k)
                if (d[k] > 0) {
                    EXPECT_EQ(static_cast<uint64_t>(d[k + 1]), mul * (static_cast<uint64_t>(d[k]) + add) % 2147483647u - add)
                        << f->name << " seed " << s << " draw " << k;
                }
        }
    }
}

// Every kernel set this CPU runs for f.
std::vector<const family_kernels *> kernels(const family &f)
{
    std::vector<const family_kernels *> k{&f.portable};
    for (auto vector : {f.avx2, f.avx512})
        if (vector && vector())
            k.push_back(vector());
    return k;
}

round_set wanted(std::initializer_list<int> counts)
{
    round_set set;
    for (int R : counts)
        set.add(R);
    return set;
}

// A third of all counts, screened by the pairs their first three flips
// name among 12 numbers, as for a crypt that reads as many; or by 17
// flips among 3 numbers (each keeps about 2/3), more than any kernel
// tests side by side.
round_set wide(int flips = 3, int numbers = 12)
{
    round_set set;
    set.screen_flips(flips, numbers, 3);
    for (int R = 0; R < 4011; R += 3)
        set.add(R, [&](int k) { return numbers == 12 ? (R * 7 + k) % 6 : (R + k) % 7 == 0; });
    return set;
}

TEST(Libc, EveryKernelFindsTheSeedsTheModelDraws)
{
    // One count, two, the edges 0 and 4010 among four, five (looked up), and
    // two wide sets screened by flips.
    const round_set sets[] = {wanted({77}), wanted({77, 3000}), wanted({0, 4010, 528, 530}), wanted({1, 2, 3, 4, 5}),
                              wide(), wide(17, 3)};
    const struct {
        uint32_t first;
        uint64_t count;
    } ranges[] = {{4294967295u - 3000, 6001}, {2147483647u - 3000, 6003}, {1, 7}, {123456789, 20011}};
    std::mt19937 rng(4);
    for (const family *f : all_families())
        for (const round_set &set : sets) {
            SCOPED_TRACE(std::string(f->name) + ", " + std::to_string(set.count) + " counts");
            auto passes = [&](uint32_t s) {
                std::vector<int> d = model(*f, s, 1 + set.flips);
                std::vector<uint32_t> u(d.begin(), d.end());
                return set.passes(u.data());
            };
            // By seed: every kernel, split where a range wraps, against
            // the model seed by seed.
            for (const auto &r : ranges) {
                std::vector<uint32_t> want;
                for (uint64_t i = 0; i < r.count; ++i)
                    if (passes(static_cast<uint32_t>(r.first + i)))
                        want.push_back(static_cast<uint32_t>(r.first + i));
                for (const family_kernels *k : kernels(*f)) {
                    std::vector<uint32_t> got;
                    uint64_t head = std::min<uint64_t>(r.count, (1ull << 32) - r.first);
                    k->seeds(*f, r.first, head, set, got);
                    k->seeds(*f, 0, r.count - head, set, got);
                    EXPECT_EQ(got, want) << k->isa << " from " << r.first;
                }
            }
            // Whole range: every kernel gives the same seeds in the same
            // order, each one passing; units that are cheap to run all of
            // (the inverse forms, and the lattice for the set with the
            // edges) hold every seed that passes.
            const bool lattice = f->lcg64 && lcg64_lattice_pays(*f, set) && set.member[0] && set.member[4010];
            const bool all_units = set.flips == 0 && (f->inverse || lattice);
            std::vector<uint64_t> units{0, f->units - 1, rng() % (f->units - 1)};
            if (set.flips > 0)
                units = {rng() % f->units};  // most seeds pass the first draw
            if (set.flips > 0 && f->inverse && f->inverse->draw_is_state)
                units.push_back(0);  // first draw 0, which macOS's next draw does not follow
            if (all_units) {
                units.clear();
                for (uint64_t u = 0; u < f->units; ++u)
                    units.push_back(u);
            }
            std::vector<uint32_t> first_kernel;
            for (const family_kernels *k : kernels(*f)) {
                std::vector<uint32_t> got;
                for (uint64_t u : units)
                    k->whole(*f, u, set, got);
                if (k == &f->portable)
                    first_kernel = got;
                EXPECT_EQ(got, first_kernel) << k->isa;
            }
            for (size_t i = 0; i < first_kernel.size() && i < 3000; ++i)
                EXPECT_TRUE(passes(first_kernel[i])) << first_kernel[i];
            if (set.flips > 0 && f->lcg64 && !lcg64_lattice_pays(*f, set)) {
                // Units are runs of seeds: a unit and the one half the range
                // on hold between them what the screen by seed finds in both
                // (where the halves draw alike, the lower gives them all).
                const uint64_t size = (1ull << 32) / f->units, u = units[0] % (f->units / 2);
                for (const family_kernels *k : kernels(*f)) {
                    std::vector<uint32_t> want, got;
                    for (uint64_t v : {u, u + f->units / 2}) {
                        f->portable.seeds(*f, static_cast<uint32_t>(v * size), size, set, want);
                        k->whole(*f, v, set, got);
                    }
                    std::sort(got.begin(), got.end());
                    EXPECT_EQ(got, want) << k->isa;
                }
            }
            if (set.flips > 0 && f->inverse && f->inverse->draw_is_state) {
                // The unit's first draws, their seeds each drawn again.
                const uint64_t step = (f->inverse->most / 4011 / f->units + 1) * 4011;
                std::vector<uint32_t> want, seeds;
                for (uint64_t o = units[0] * step; o < std::min<uint64_t>((units[0] + 1) * step, f->inverse->most + 1); ++o)
                    if (set.member[o % 4011]) {
                        seeds.clear();
                        f->inverse->seeds_of(static_cast<uint32_t>(o), seeds);
                        for (uint32_t s : seeds)
                            if (passes(s))
                                want.push_back(s);
                    }
                std::vector<uint32_t> got;
                f->portable.whole(*f, units[0], set, got);
                std::sort(want.begin(), want.end());
                std::sort(got.begin(), got.end());
                EXPECT_EQ(got, want);
            }
            if (!all_units)
                continue;
            // Each seed once, and every seed that passes.
            std::vector<uint32_t> found = first_kernel;
            std::sort(found.begin(), found.end());
            EXPECT_EQ(std::unique(found.begin(), found.end()), found.end());
            for (int i = 0; i < 200000; ++i) {
                uint32_t s = static_cast<uint32_t>(rng());
                ASSERT_EQ(std::binary_search(found.begin(), found.end(), s), passes(s)) << s;
            }
            for (uint32_t s : spread_of_seeds())
                EXPECT_EQ(std::binary_search(found.begin(), found.end(), s), passes(s)) << s;
        }
}

} // namespace
