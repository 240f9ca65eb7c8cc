// What the program adds around its long operations: Build and Correct of the 10-minute tone
// through the program's own command path (the started program on the fake platform, with its
// real progress pacing, cursor drawing and status values; a pump that finds no message) against
// the bare engine call that vocara-cli makes. The ratio of the two is the interface's cost.
//
//   BM_BuildEngine / BM_BuildCommand        SAS File / Build (command 120), default settings
//   BM_CorrectEngine / BM_CorrectCommand    WAV File / Correct (command 105), identity targets
//   BM_BuildPerFrameInterface               the engine with a pump and a cursor move on every
//                                           frame: what the program did before its pacing
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "BenchTone.h"
#include "engine/processing/Correct.h"
#include "engine/sas/SasBuild.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "platform/Message.h"
#include "program/commands/SasCommands.h"
#include "program/commands/WavCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/views/Render.h"
#include "program/views/WavView.h"
#include "support/FakePlatform.h"

namespace {

using vocara::bench::TempFile;

std::string Wav() { return vocara::bench::HarmonicToneWav("vocara-program-bench.wav"); }
std::string Sas() { return TempFile("vocara-program-bench.sas"); }

// The started program with the tone open, the system's clock and a command to send.
struct Program {
  Program() : app(fake.ports), sink(app) {
    fake.desktop.programPath = TempFile("vocara-program-bench");
    fake.desktop.configDirectory = TempFile("vocara-program-bench-config");
    fake.windows.sink = &sink;
    fake.pump.realTime = true;
    ok = vocara::ProgramStart(app, "");
    const std::string wav = Wav();
    vocara::WavOpenCommand(app, &wav);
    ok = ok && app.Has(vocara::WavOpen);
  }
  void Command(int id, const std::string& answer) {
    fake.desktop.fileAnswers.push_back(answer);
    vocara::platform::Message m;
    m.kind = vocara::platform::MessageKind::Command;
    m.command = id;
    sink.Dispatch(vocara::WavView, m);
  }
  vocara::test::FakePlatform fake;
  vocara::App app;
  vocara::WindowProcedureSink sink;
  bool ok = false;
};

void SetRealTime(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter(vocara::bench::ToneSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BuildEngine(benchmark::State& state) {
  vocara::WavDocument wav;
  if (vocara::WavOpenDocument(wav, Wav()).message != vocara::MessageId::None) {
    state.SkipWithError("cannot open the WAV file");
    return;
  }
  for (auto _ : state) {
    const auto result =
        vocara::SasBuildFile(wav, vocara::GeneralSettings{}, Sas(), [](auto, auto) { return true; });
    benchmark::DoNotOptimize(result.frameCount);
  }
  SetRealTime(state);
}
BENCHMARK(BM_BuildEngine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_BuildCommand(benchmark::State& state) {
  Program program;
  if (!program.ok) {
    state.SkipWithError("the program did not start");
    return;
  }
  for (auto _ : state) program.Command(120, Sas());
  state.counters["pumps"] =
      static_cast<double>(program.fake.pump.pumped) / static_cast<double>(state.iterations());
  SetRealTime(state);
}
BENCHMARK(BM_BuildCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_BuildPerFrameInterface(benchmark::State& state) {
  Program program;
  if (!program.ok) {
    state.SkipWithError("the program did not start");
    return;
  }
  vocara::App& app = program.app;
  vocara::WavViewFitWholeFile(app.windows, app.docs, app.ports);
  for (auto _ : state) {
    const auto result =
        vocara::SasBuildFile(app.docs.wav, app.config.settings, Sas(), [&app](std::uint64_t position, auto) {
          app.ports.pump.PumpOneMessage();
          app.windows.geometry[vocara::WavView].cursorX =
              static_cast<std::int16_t>(position / app.windows.wavView.samplesPerPixel);
          vocara::MoveCursor(app.screen, vocara::WavView);
          return true;
        });
    benchmark::DoNotOptimize(result.frameCount);
  }
  SetRealTime(state);
}
BENCHMARK(BM_BuildPerFrameInterface)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Correct needs the SAS built above, opened as the program's document.
void BM_CorrectEngine(benchmark::State& state) {
  vocara::WavDocument wav;
  vocara::SasDocument sas;
  if (vocara::WavOpenDocument(wav, Wav()).message != vocara::MessageId::None ||
      (!std::filesystem::exists(Sas()) &&
       vocara::SasBuildFile(wav, vocara::GeneralSettings{}, Sas(), {}).result !=
           vocara::LongOperationResult::Done) ||
      vocara::SasOpenDocument(sas, Sas(), vocara::SasAccess::ReadOnly) != vocara::MessageId::None) {
    state.SkipWithError("cannot open the files");
    return;
  }
  const vocara::CorrectRequest request{0, wav.sampleCount, true, vocara::CorrectMode::Save};
  const std::string output = TempFile("vocara-program-bench-out.wav");
  for (auto _ : state) {
    const auto result = vocara::Correct(wav, sas, request, output, [](auto, auto) { return true; });
    benchmark::DoNotOptimize(result.outputSamples);
  }
  SetRealTime(state);
}
BENCHMARK(BM_CorrectEngine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_CorrectCommand(benchmark::State& state) {
  Program program;
  const std::string sas = Sas();
  if (program.ok) vocara::SasOpenCommand(program.app, &sas);
  if (!program.ok || !program.app.Has(vocara::SasOpen)) {
    state.SkipWithError("the program did not start with both files");
    return;
  }
  const std::string output = TempFile("vocara-program-bench-out.wav");
  for (auto _ : state) program.Command(105, output);
  SetRealTime(state);
}
BENCHMARK(BM_CorrectCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
