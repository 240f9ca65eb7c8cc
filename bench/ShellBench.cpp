// Start-up and command-enabling costs: UpdateCommandStates runs after every state change,
// and FormatNumber for every status value on every cursor move.
#include <benchmark/benchmark.h>

#include "base/NumberText.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "support/FakePlatform.h"

namespace {

void BM_UpdateCommandStatesToggling(benchmark::State& state) {
  vocara::test::FakePlatform fake;
  vocara::App app(fake.ports);
  app.flags = vocara::Ready;
  for (auto _ : state) {
    app.flags ^= vocara::WavOpen | vocara::SasOpen | vocara::WavSasMatch;
    vocara::UpdateCommandStates(app.commands);
  }
}
BENCHMARK(BM_UpdateCommandStatesToggling);

void BM_FormatNumberThreeDecimals(benchmark::State& state) {
  double v = -100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vocara::FormatNumber(v, 3, 16, true));
    v += 0.001;
  }
}
BENCHMARK(BM_FormatNumberThreeDecimals);

}  // namespace
