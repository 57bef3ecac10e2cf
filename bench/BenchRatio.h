#pragma once
// Benchmarks that report themselves against a yardstick measured in the same
// run, since absolute times on a shared machine say little.
//
// Convention: a benchmark named "<family>/ours/<args>" is paired with the one
// named "<family>/ref/<args>". Google Benchmark builds such names from
// ->Name("<family>/ours")->Arg(x) (or from RegisterRatioPair below); settings
// it appends itself ("iterations:3", "min_time:0.100", "manual_time",
// "real_time") are ignored when pairing. After its usual report,
// sonavir_bench prints one line per complete pair:
//
//     <family> <args>: ours/ref = x.xx
//
// from the mean real time per iteration (the manual time when the benchmark
// sets it). A family may have no args: "<family>/ours" and "<family>/ref".

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <utility>

namespace sonavir::bench {

using BenchBody = std::function<void(benchmark::State&)>;
using BenchHandle = benchmark::internal::Benchmark*;

// Registers "<family>/ours" and "<family>/ref"; the caller adds arguments,
// units and timing settings to both handles.
inline std::pair<BenchHandle, BenchHandle> RegisterRatioPair(const std::string& family, BenchBody ours,
                                                             BenchBody ref)
{
    BenchHandle a = benchmark::RegisterBenchmark((family + "/ours").c_str(),
                                                 [ours](benchmark::State& s) { ours(s); });
    BenchHandle b = benchmark::RegisterBenchmark((family + "/ref").c_str(),
                                                 [ref](benchmark::State& s) { ref(s); });
    return {a, b};
}

}  // namespace sonavir::bench
