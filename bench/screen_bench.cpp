// Screens every seed gen can be seeded with for one round count, for every
// C library's rand() (LIBC=NAME: one): over the whole range by units, as a
// whole-range search does, and for the vectorised screens by seed too, as
// a search over a stretch of seconds does; times them with each number of
// threads given, and checks that both find the same seeds. Then glibc's
// and FreeBSD 13's in one walk, against each in its own.
//   build/bench/screen_bench [ROUNDS [JOBS ...]]   (default: 50, then 1 and 2)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "libc/family.hpp"

namespace {

using namespace gen;

// Runs work(piece, hits) for pieces 0 .. pieces - 1 on jobs threads and
// returns every hit, sorted, and the wall time.
template <class Work>
std::vector<uint32_t> in_threads(int jobs, uint64_t pieces, Work work, double &seconds)
{
    auto start = std::chrono::steady_clock::now();
    std::atomic<uint64_t> next{0};
    std::vector<std::vector<uint32_t>> found(static_cast<size_t>(jobs));
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t)
        threads.emplace_back([&, t] {
            for (uint64_t c; (c = next.fetch_add(1)) < pieces;)
                work(c, found[static_cast<size_t>(t)]);
        });
    for (auto &t : threads)
        t.join();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<uint32_t> all;
    for (auto &f : found)
        all.insert(all.end(), f.begin(), f.end());
    std::sort(all.begin(), all.end());
    return all;
}

// Screens the whole range for the family by units, and where its screen by
// seed is vectorised (glibc's, musl's and newlib's) seed by seed too,
// checking that both find the same seeds.
bool bench_family(const family &f, const round_set &set, int j)
{
    constexpr uint64_t piece = 1 << 22;
    const family_kernels &k = best_kernels(f);
    double by_units, by_seed = 0;
    std::vector<uint32_t> b = in_threads(
        j, f.units, [&](uint64_t u, std::vector<uint32_t> &out) { k.whole(f, u, set, out); }, by_units);
    bool same = true;
    if (f.lcg64 || &f == &glibc_family()) {
        std::vector<uint32_t> a = in_threads(
            j, (1ull << 32) / piece,
            [&](uint64_t c, std::vector<uint32_t> &out) {
                k.seeds(f, static_cast<uint32_t>(c * piece), piece, set, out);
            },
            by_seed);
        same = a == b;
        printf("%-10s %-22s %4d %8.2f %9zu\n", f.name, (std::string("by seed, ") + k.isa).c_str(), j,
               by_seed, a.size());
    }
    printf("%-10s %-22s %4d %8.2f %9zu", f.name, (std::string("whole range, ") + k.isa).c_str(), j,
           by_units, b.size());
    if (by_seed > 0)
        printf("  (%.2f of by seed)", by_units / by_seed);
    printf("\n");
    return same;
}

// Screens the whole range of two families whose screens share one walk
// (glibc's orbit, FreeBSD 13's too) in that one walk, checking that each
// gets the seeds of its own.
bool bench_shared_walk(const family &a, const family &b, const round_set &set, int j)
{
    const family_kernels &k = best_kernels(a);
    const family *both[] = {&a, &b};
    double seconds;
    std::vector<uint32_t> together = in_threads(
        j, a.units,
        [&](uint64_t u, std::vector<uint32_t> &out) {
            std::vector<uint32_t> seeds[2];
            k.walk(both, 2, u, set, seeds);
            // b's seeds tagged (xor), to tell them from a's.
            for (uint32_t s : seeds[0])
                out.push_back(s);
            for (uint32_t s : seeds[1])
                out.push_back(s ^ 0x5bd1e995u);
        },
        seconds);
    double alone;
    std::vector<uint32_t> want = in_threads(
        j, a.units,
        [&](uint64_t u, std::vector<uint32_t> &out) {
            std::vector<uint32_t> seeds;
            k.whole(a, u, set, out);
            best_kernels(b).whole(b, u, set, seeds);
            for (uint32_t s : seeds)
                out.push_back(s ^ 0x5bd1e995u);
        },
        alone);
    std::sort(want.begin(), want.end());
    printf("%-10s %-22s %4d %8.2f %9zu  (%.2f of each alone, %.2f s)\n", (std::string(a.name) + "+" + b.name).c_str(),
           (std::string("one walk, ") + k.isa).c_str(), j, seconds, together.size(), seconds / alone, alone);
    return together == want;
}

} // namespace

int main(int argc, char **argv)
{
    int R = argc > 1 ? atoi(argv[1]) : 50;
    std::vector<int> jobs;
    const char *only = getenv("LIBC");
    for (int i = 2; i < argc; ++i)
        jobs.push_back(atoi(argv[i]));
    if (jobs.empty())
        jobs = {1, 2};
    round_set set;
    set.add(R);
    printf("%-10s %-22s %4s %8s %9s\n", "libc", "screen", "jobs", "wall_s", "hits");
    bool same = true;
    const family *freebsd = find_family("freebsd");
    for (int j : jobs) {
        for (const family *f : all_families())
            if (only == nullptr || std::string(only) == f->name)
                same = bench_family(*f, set, j) && same;
        if (only == nullptr && best_kernels(glibc_family()).walk == best_kernels(*freebsd).walk)
            same = bench_shared_walk(glibc_family(), *freebsd, set, j) && same;
    }
    if (!same) {
        fprintf(stderr, "screen_bench: the two screens found different seeds\n");
        return 1;
    }
    return 0;
}
