// How long reading an MD5 list of 100,000 lines takes: every line split off and parsed, and
// then also its name taken below its folder, as Verify Checksums does before it reads a file. The list mixes
// the forms people keep: md5sum's binary and text lines, BSD lines, escaped names, CR LF.
//   checksum_list_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "compare/checksum_list.h"

namespace {

constexpr int kLines = 100000;

std::string MakeList() {
  std::string text = "\xEF\xBB\xBF";
  char line[200];
  for (int i = 0; i < kLines; ++i) {
    const char* folder = i % 3 == 0 ? "photos/2019/summer" : i % 3 == 1 ? "documents/letters" : "music";
    switch (i % 4) {
      case 0: std::snprintf(line, sizeof line, "%032x *%s/file%06d.jpg\n", i, folder, i); break;
      case 1: std::snprintf(line, sizeof line, "%032X  %s/file%06d.txt\r\n", i, folder, i); break;
      case 2: std::snprintf(line, sizeof line, "MD5 (%s/file%06d.bin) = %032x\n", folder, i, i); break;
      default: std::snprintf(line, sizeof line, "\\%032x *%s\\\\file%06d.dat\n", i, folder, i); break;
    }
    text += line;
  }
  return text;
}

// With `placeNames`, each name is also checked as UTF-8 and taken below its folder.
void ParseList(benchmark::State& state, bool placeNames) {
  const std::string text = MakeList();
  for (auto _ : state) {
    int entries = 0;
    ForEachChecksumLine(text.data(), text.size(), [&](int, const char* line, std::size_t length) {
      std::uint8_t digest[16];
      PlainText name, below;
      if (ParseChecksumLine(line, length, digest, name) == ChecksumLine::kEntry &&
          (!placeNames || (IsValidUtf8(name.c_str(), name.size()) && PathBelowFolder(name.c_str(), '\\', below)))) {
        ++entries;
      }
    });
    if (entries != kLines) state.SkipWithError("a line was not taken");
    benchmark::DoNotOptimize(entries);
  }
  state.counters["lines"] = kLines;
}
BENCHMARK_CAPTURE(ParseList, lines, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseList, lines_and_names, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
