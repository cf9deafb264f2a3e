// Throughput of the Windows build's MD5 digest, for running under Wine next to the native
// benchmark: 1 GiB digested in 4096-byte pieces, as the file comparison feeds it, and
// 1 MiB buffers, timed with QueryPerformanceCounter. Each case runs five times and the
// best pass counts, since a shared machine only ever makes a pass slower. Cycles per byte
// use the core clock measured around that pass with a chain of dependent additions.
//
//   scripts/wine-run --prefix /tmp/<yours>/wine md5_wine_bench.exe
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "compare/md5.h"

namespace {

constexpr std::uint32_t kPieceSize = 4096;
constexpr std::uint32_t kBufferSize = 1 << 20;
constexpr std::uint64_t kBytesPerPass = std::uint64_t{1} << 30;
constexpr int kPasses = 5;

double Seconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// About 6 ms of dependent adds.
double MeasureCoreHz() { return CoreHzFromAddChains(Seconds, 20000); }

// The fastest pass, with the core clock measured just before and after it.
struct Pass {
  double seconds = 1e30;
  double hz = 0;
};

template <typename Digest>
Pass TimeBestPass(Digest digest) {
  Pass best;
  for (int pass = 0; pass < kPasses; ++pass) {
    const double hzBefore = MeasureCoreHz();
    const double start = Seconds();
    digest();
    const double seconds = Seconds() - start;
    const double hz = (hzBefore + MeasureCoreHz()) / 2;
    if (seconds < best.seconds) best = {seconds, hz};
  }
  return best;
}


void Report(const char* name, const Pass& best, const std::uint8_t (&digest)[16]) {
  const double bytesPerSecond = static_cast<double>(kBytesPerPass) / best.seconds;
  char text[33];
  FormatDigestText(digest, text);
  std::printf("%-26s %8.1f MB/s  %8.1f MiB/s", name, bytesPerSecond / 1e6,
              bytesPerSecond / (1 << 20));
  if (best.hz > 0) {
    std::printf("  %.2f cycles/byte at %.2f GHz", best.hz / bytesPerSecond, best.hz / 1e9);
  }
  std::printf("  (digest %s)\n", text);
}

}  // namespace

int main() {
  const auto piece = MakeBenchData(kPieceSize);
  const auto buffer = MakeBenchData(kBufferSize);
  std::uint8_t digest[16] = {};

  const Pass pieces = TimeBestPass([&] {
    Md5State state;
    Md5Start(state);
    for (std::uint64_t done = 0; done < kBytesPerPass; done += kPieceSize) {
      Md5Add(state, piece.data(), kPieceSize);
    }
    Md5Finish(digest, state);
  });
  Report("1 GiB in 4096-byte pieces", pieces, digest);

  const Pass buffers = TimeBestPass([&] {
    for (std::uint64_t done = 0; done < kBytesPerPass; done += kBufferSize) {
      Md5State state;
      Md5Start(state);
      Md5Add(state, buffer.data(), kBufferSize);
      Md5Finish(digest, state);
    }
  });
  Report("1024 x 1 MiB buffers", buffers, digest);
  return 0;
}
