// The settings store at 1,000, 10,000 and 100,000 settings. Each case should cost in step
// with the number of settings (Complexity reports O(N)); a lookup that walks the table, or a
// table that grows by a fixed step, shows here as O(N^2).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "ini.h"

using namespace installer;

namespace {

std::vector<std::string> names(benchmark::State &state) {
  std::vector<std::string> out;
  for (int i = 0; i < state.range(0); i++) out.push_back("setting_" + std::to_string(i));
  state.SetComplexityN(state.range(0));
  return out;
}

// Settings created by adds, as init commands and answers make them; then each one read,
// given a second value and filled into a text.
void BM_CreateReadAdd(benchmark::State &state) {
  const auto all = names(state);
  const std::vector<SettingList> base = {{"host", "alpha", Ini_Fixed | Ini_Replace}};
  char out[1000];
  for (auto _ : state) {
    auto ini = ini_init();
    ini_setup(ini.get(), &base, nullptr, 1);
    for (const auto &n : all) ini_add_name(ini.get(), n.c_str(), "first");
    for (const auto &n : all) {
      benchmark::DoNotOptimize(ini_value_name(ini.get(), n.c_str()));
      ini_add_name(ini.get(), n.c_str(), "second");
      ini_replace(ini.get(), ("<$(" + n + ")>").c_str(), out, sizeof out);
    }
  }
}
BENCHMARK(BM_CreateReadAdd)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

// Defaults that each refer to the one before in another letter case, resolved as at load.
void BM_SetupAndProcess(benchmark::State &state) {
  std::vector<SettingList> table = {{"root", "/srv", Ini_Replace}};
  std::string before = "root";
  for (const auto &n : names(state)) {
    std::string upper = n;
    upper[0] = 'S';
    table.push_back({upper, std::string("$(").append(before).append(")/d"), Ini_Replace});
    before = n;
  }
  for (auto _ : state) {
    auto ini = ini_init();
    ini_setup(ini.get(), &table, nullptr, 1);
    ini_process(ini.get());
  }
}
BENCHMARK(BM_SetupAndProcess)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

}  // namespace
