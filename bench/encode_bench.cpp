// In-process timings of the two ways to encode: round by round (forced,
// whatever the size) and as a whole, each into a file as gen writes it.
// The report goes to standard error.
//
//   build/bench/encode_bench --benchmark_filter=32768
//   build/bench/encode_bench --benchmark_filter=Crossover
#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "gen/gen.hpp"

namespace {

std::string out_path;

// A fresh output file, written through as gen writes its crypt.
struct output {
    int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    gen::write_fn write = [this](const char *p, size_t len) {
        return ::write(fd, p, len) == static_cast<ssize_t>(len) ? 0 : EIO;
    };
    ~output() { close(fd); }
};

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
        output out;
        int n = static_cast<int>(bytes.size());
        bi *cfile = gen::build_elements(bytes.data(), n);
        for (int j = 0; j < R; ++j)
            gen::scramble(cfile, n);
        gen::write_elements(cfile, n, out.write);
        gen::free_elements(cfile, n);
    }
    st.SetBytesProcessed(st.iterations() * st.range(0));
}

void batched(benchmark::State &st)
{
    auto bytes = input(static_cast<size_t>(st.range(0)));
    int R = static_cast<int>(st.range(1));
    for (auto _ : st) {
        srand(7);
        output out;
        gen::encode_rounds(bytes.data(), static_cast<int>(bytes.size()), R, out.write);
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
