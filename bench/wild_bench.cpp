// Wildcard matching speed. A walk tests every directory entry against a pattern, so a
// short match must be cheap; and a pattern with many stars against a long name must not
// blow up, which a plain backtracking matcher does.
#include <benchmark/benchmark.h>

#include <string>

#include "lib.h"

namespace {

void BM_ShortName(benchmark::State &state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(installer::wild_match("webnotes.cgi", "*.cgi"));
    benchmark::DoNotOptimize(installer::wild_match("index.html~", "*.htm?"));
  }
}
BENCHMARK(BM_ShortName);

void BM_ShortNameIgnoringCase(benchmark::State &state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(installer::wmatch("README.TXT", "read*.t?t", 0));
  }
}
BENCHMARK(BM_ShortNameIgnoringCase);

// Ten stars that can each sit anywhere in a run of 'a' and a final 'b' that never comes:
// a backtracking matcher tries a number of splits that grows like n^10.
void BM_ManyStarsNoMatch(benchmark::State &state) {
  const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
  for (auto _ : state) {
    benchmark::DoNotOptimize(installer::wmatch(text.c_str(), "*a*a*a*a*a*a*a*a*a*a*b", 1));
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ManyStarsNoMatch)->RangeMultiplier(10)->Range(100, 10000)->Complexity();

// The same text with the 'b' at its end: the match succeeds after the last star.
void BM_ManyStarsMatch(benchmark::State &state) {
  std::string text(static_cast<std::size_t>(state.range(0)), 'a');
  text.back() = 'b';
  for (auto _ : state) {
    benchmark::DoNotOptimize(installer::wmatch(text.c_str(), "*a*a*a*a*a*a*a*a*a*a*b", 1));
  }
}
BENCHMARK(BM_ManyStarsMatch)->Arg(10000);

// An exclusion list as the copy commands use it.
void BM_ExclusionList(benchmark::State &state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(installer::wild_ilist("style.css", "*~,*.bak,*.orig,CVS,.git"));
  }
}
BENCHMARK(BM_ExclusionList);

}  // namespace
