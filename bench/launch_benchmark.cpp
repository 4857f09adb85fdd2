// The emulated launch of calc (configuration, argument placement, one call of
// the device entry per thread position) against plain loops doing the same
// arithmetic on the same data. Prints ns per element and the ratios at the end.
#include "calc_binding.h"
#include "cudart_emu.h"
#include "plain_loop.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// 250 threads per block keeps 10^7 positions within the grid's 65535 blocks.
constexpr int threads_per_block = 250;

// The program's midpoints, repeated: every value stays in calc's plain range
// also after the repeated in-place transformation of the timing loop.
std::vector<float> samples(int n)
{
  std::vector<float> values(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    values[static_cast<std::size_t>(i)] = static_cast<float>((i % 10000 + 0.5) / 10000.0);
  return values;
}

bool launch_calc(float* device, int n)
{
  if (cudaConfigureCall(dim3(static_cast<unsigned>(n / threads_per_block)), dim3(threads_per_block), 0, 0) !=
      cudaSuccess)
    return false;
  calc_stub(device, n);
  return cudaGetLastError() == cudaSuccess;
}

void count_elements(benchmark::State& state, int n)
{
  state.SetItemsProcessed(state.iterations() * n);
}

void emulated_launch(benchmark::State& state)
{
  const int n = static_cast<int>(state.range(0));
  std::vector<float> host = samples(n);
  const std::size_t bytes = host.size() * sizeof(float);
  float* device = nullptr;
  if (cudaMalloc(reinterpret_cast<void**>(&device), bytes) != cudaSuccess ||
      cudaMemcpy(device, host.data(), bytes, cudaMemcpyHostToDevice) != cudaSuccess) {
    state.SkipWithError("no device memory");
    return;
  }
  // One launch checked against the plain loop before any is timed.
  std::vector<float> expected = host;
  plain_scalar_loop(expected.data(), n);
  if (!launch_calc(device, n) || cudaMemcpy(host.data(), device, bytes, cudaMemcpyDeviceToHost) != cudaSuccess ||
      std::memcmp(host.data(), expected.data(), bytes) != 0) {
    state.SkipWithError("the launch disagrees with the plain loop");
    cudaFree(device);
    return;
  }
  for (auto _ : state)
    launch_calc(device, n);
  count_elements(state, n);
  cudaFree(device);
}

template <void (*loop)(float*, int)> void plain_loop(benchmark::State& state)
{
  const int n = static_cast<int>(state.range(0));
  std::vector<float> values = samples(n);
  for (auto _ : state) {
    loop(values.data(), n);
    benchmark::ClobberMemory();
  }
  count_elements(state, n);
}

void plain_scalar(benchmark::State& state)
{
  plain_loop<plain_scalar_loop>(state);
}

void plain_vectorised(benchmark::State& state)
{
  plain_loop<plain_vectorised_loop>(state);
}

void sizes(benchmark::internal::Benchmark* b)
{
  b->Unit(benchmark::kMicrosecond)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Arg(10'000'000);
}

BENCHMARK(emulated_launch)->Apply(sizes);
BENCHMARK(plain_scalar)->Apply(sizes);
BENCHMARK(plain_vectorised)->Apply(sizes);

// The console report, then per size the CPU time per element of each
// benchmark and the emulated launch's ratio to each plain loop. CPU time rather
// than wall-clock: other work on a shared machine inflates the latter. With
// repetitions the medians are compared.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override
  {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median"))
        continue;
      // A median comes after the repetitions it summarises and replaces them.
      const long n = std::stol(run.run_name.args);
      times_[run.run_name.function_name][n] =
          run.cpu_accumulated_time * 1e9 / static_cast<double>(run.iterations) / static_cast<double>(n);
    }
  }

  void Finalize() override
  {
    ConsoleReporter::Finalize();
    std::printf("\nCPU time per element\n%12s %12s %12s %12s %14s %14s\n", "positions", "emulated", "scalar",
                "vectorised", "emu/scalar", "emu/vectorised");
    for (const auto& [n, emulated] : times_["emulated_launch"]) {
      const double scalar = times_["plain_scalar"][n];
      const double vectorised = times_["plain_vectorised"][n];
      std::printf("%12ld %9.3f ns %9.3f ns %9.3f ns %13.2fx %13.2fx\n", n, emulated, scalar, vectorised,
                  emulated / scalar, emulated / vectorised);
    }
  }

private:
  std::map<std::string, std::map<long, double>> times_;
};

} // namespace

int main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
