// In-process timings of the two ways to encode: round by round (forced,
// whatever the size) and as a whole. Progress lines go to /dev/null; the
// report goes to standard error.
//
//   build/bench/encode_bench --benchmark_filter=32768
//   build/bench/encode_bench --benchmark_filter=Crossover
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "batch.hpp"
#include "encode.hpp"
#include "files.hpp"

namespace {

std::string out_path;

std::vector<unsigned char> input(size_t n)
{
    std::vector<unsigned char> v(n);
    srand(1);
    for (auto &c : v)
        c = static_cast<unsigned char>(rand());
    return v;
}

void stepwise(benchmark::State &st)
{
    auto bytes = input(static_cast<size_t>(st.range(0)));
    int R = static_cast<int>(st.range(1));
    for (auto _ : st) {
        srand(7);
        int n = static_cast<int>(bytes.size());
        bi *cfile = build_elements(bytes.data(), n);
        run_rounds(cfile, n, R);
        write_crypt(out_path.c_str(), cfile, n);
        free_elements(cfile, n);
    }
    st.SetBytesProcessed(st.iterations() * st.range(0));
}

void batched(benchmark::State &st)
{
    auto bytes = input(static_cast<size_t>(st.range(0)));
    int R = static_cast<int>(st.range(1));
    for (auto _ : st) {
        srand(7);
        encode_batched(bytes.data(), static_cast<int>(bytes.size()), R, out_path.c_str());
    }
    st.SetBytesProcessed(st.iterations() * st.range(0));
}

// The sizes the speed targets name.
BENCHMARK(stepwise)->Name("Stepwise")->Args({32768, 4010})->Unit(benchmark::kMillisecond);
BENCHMARK(batched)->Name("Batched")->Args({32768, 4010})->Unit(benchmark::kMillisecond);

// Where the two meet, to place the switch between them.
void crossover(benchmark::internal::Benchmark *b)
{
    for (long n : {2, 16, 64, 256, 1024})
        for (long R : {1, 10, 100, 1000, 4010})
            b->Args({n, R});
    b->Unit(benchmark::kMicrosecond);
}
BENCHMARK(stepwise)->Name("CrossoverStepwise")->Apply(crossover);
BENCHMARK(batched)->Name("CrossoverBatched")->Apply(crossover);

} // namespace

int main(int argc, char **argv)
{
    char dir[] = "/tmp/encode-bench.XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    out_path = std::string(dir) + "/crypt";
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 1;

    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter report(benchmark::ConsoleReporter::OO_None);
    report.SetOutputStream(&std::cerr);
    report.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();

    unlink(out_path.c_str());
    rmdir(dir);
    return 0;
}
