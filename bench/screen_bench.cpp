// Screens every seed gen can be seeded with for one round count, twice:
// by seed, as a search over a stretch of seconds does, and by orbit, as a
// whole-range search does; times both with each number of threads given,
// and checks that both find the same seeds.
//   build/bench/screen_bench [ROUNDS [JOBS ...]]   (default: 50, then 1 and 2)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "rand_model.hpp"
#include "screen.hpp"

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

} // namespace

int main(int argc, char **argv)
{
    int R = argc > 1 ? atoi(argv[1]) : 50;
    std::vector<int> jobs;
    for (int i = 2; i < argc; ++i)
        jobs.push_back(atoi(argv[i]));
    if (jobs.empty())
        jobs = {1, 2};
    round_set set;
    set.add(R);
    const screen_ops &ops = best_screen();
    constexpr uint64_t piece = 1 << 22;
    printf("%-26s %4s %8s %9s\n", "screen", "jobs", "wall_s", "hits");
    bool same = true;
    for (int j : jobs) {
        double by_seed, by_orbit;
        std::vector<uint32_t> a = in_threads(
            j, (1ull << 32) / piece,
            [&](uint64_t c, std::vector<uint32_t> &out) {
                screen_seeds(ops, static_cast<uint32_t>(c * piece), piece, set, out);
            },
            by_seed);
        const uint64_t windows = rand_model::orbit_length;
        std::vector<uint32_t> b = in_threads(
            j, (windows + piece - 1) / piece,
            [&](uint64_t c, std::vector<uint32_t> &out) {
                uint64_t first = c * piece;
                ops.orbit(first, std::min(piece, windows - first), set, out);
                if (c == 0)
                    screen_odd_seeds(set, out);
            },
            by_orbit);
        std::sort(b.begin(), b.end());
        same = same && a == b;
        printf("%-26s %4d %8.2f %9zu\n", (std::string("by seed, ") + ops.name).c_str(), j, by_seed,
               a.size());
        printf("%-26s %4d %8.2f %9zu  (%.2f of by seed)\n", (std::string("by orbit, ") + ops.name).c_str(),
               j, by_orbit, b.size(), by_orbit / by_seed);
    }
    if (!same) {
        fprintf(stderr, "screen_bench: the two screens found different seeds\n");
        return 1;
    }
    return 0;
}
