// Throughput of our MD5 digest against OpenSSL's (hand-written x86-64 assembly), in the
// two shapes that matter: a stream of 4096-byte pieces, as the file comparison feeds it,
// and one 1 MiB buffer per digest.
//
// Besides bytes per second every case reports cycles per byte. The core clock is measured
// around every run with a chain of dependent register additions (one cycle each), because
// performance counters are often unavailable in virtual machines and the time-stamp
// counter ticks at a fixed rate that need not be the core's. Clock and throughput are both
// taken in thread CPU time, so that time the host gives to other guests counts in neither.
// Compare the two implementations in short interleaved repetitions, which spread clock
// drift and other guests' load over both:
//   md5_bench --benchmark_repetitions=40 --benchmark_min_time=0.1
//             --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <openssl/md5.h>

#include <time.h>

#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "compare/md5.h"

namespace {

constexpr std::uint32_t kPieceSize = 4096;
constexpr std::uint32_t kBufferSize = 1 << 20;

double ThreadCpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double MeasureCoreHz(int passes) { return CoreHzFromAddChains(ThreadCpuSeconds, passes); }

// Times the loop of one benchmark run in thread CPU time and measures the core clock just
// before and after it, since a virtual machine's clock drifts from one run to the next.
class RunClock {
 public:
  RunClock() : hzBefore_(MeasureCoreHz(kPasses)), start_(ThreadCpuSeconds()) {}
  void Stop() {
    cpuSeconds_ = ThreadCpuSeconds() - start_;
    hz_ = (hzBefore_ + MeasureCoreHz(kPasses)) / 2;
  }
  double cpuSeconds() const { return cpuSeconds_; }
  double hz() const { return hz_; }

 private:
  static constexpr int kPasses = 10000;  // about 3 ms
  double hzBefore_;
  double start_;
  double cpuSeconds_ = 0;
  double hz_ = 0;
};


void ReportThroughput(benchmark::State& state, std::uint64_t bytesPerIteration,
                      const RunClock& clock) {
  const double bytes = static_cast<double>(state.iterations()) * bytesPerIteration;
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  if (clock.hz() > 0 && bytes > 0) {
    state.counters["cycles_per_byte"] = clock.cpuSeconds() * clock.hz() / bytes;
    state.counters["core_ghz"] = clock.hz() / 1e9;
  }
}

// One digest kept running; every iteration adds the next 4096-byte piece.
void BM_Verolux_Pieces4096(benchmark::State& state) {
  const auto data = MakeBenchData(kPieceSize);
  Md5State md5;
  Md5Start(md5);
  RunClock clock;
  for (auto _ : state) {
    Md5Add(md5, data.data(), kPieceSize);
    benchmark::DoNotOptimize(md5);
  }
  clock.Stop();
  std::uint8_t digest[16];
  Md5Finish(digest, md5);
  benchmark::DoNotOptimize(digest);
  ReportThroughput(state, kPieceSize, clock);
}

void BM_OpenSsl_Pieces4096(benchmark::State& state) {
  const auto data = MakeBenchData(kPieceSize);
  MD5_CTX md5;
  MD5_Init(&md5);
  RunClock clock;
  for (auto _ : state) {
    MD5_Update(&md5, data.data(), kPieceSize);
    benchmark::DoNotOptimize(md5);
  }
  clock.Stop();
  unsigned char digest[16];
  MD5_Final(digest, &md5);
  benchmark::DoNotOptimize(digest);
  ReportThroughput(state, kPieceSize, clock);
}

// A whole digest of a 1 MiB buffer per iteration, start and finish included.
void BM_Verolux_Buffer1MiB(benchmark::State& state) {
  const auto data = MakeBenchData(kBufferSize);
  RunClock clock;
  for (auto _ : state) {
    Md5State md5;
    Md5Start(md5);
    Md5Add(md5, data.data(), kBufferSize);
    std::uint8_t digest[16];
    Md5Finish(digest, md5);
    benchmark::DoNotOptimize(digest);
  }
  clock.Stop();
  ReportThroughput(state, kBufferSize, clock);
}

void BM_OpenSsl_Buffer1MiB(benchmark::State& state) {
  const auto data = MakeBenchData(kBufferSize);
  RunClock clock;
  for (auto _ : state) {
    MD5_CTX md5;
    MD5_Init(&md5);
    MD5_Update(&md5, data.data(), kBufferSize);
    unsigned char digest[16];
    MD5_Final(digest, &md5);
    benchmark::DoNotOptimize(digest);
  }
  clock.Stop();
  ReportThroughput(state, kBufferSize, clock);
}

BENCHMARK(BM_Verolux_Pieces4096);
BENCHMARK(BM_OpenSsl_Pieces4096);
BENCHMARK(BM_Verolux_Buffer1MiB);
BENCHMARK(BM_OpenSsl_Buffer1MiB);

}  // namespace

BENCHMARK_MAIN();
