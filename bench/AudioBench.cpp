// The interface thread's share of playback and recording, on the fake audio port with the
// 10-minute tone in the page cache: what a key press costs until the first buffer is queued,
// and what each returned buffer costs to refill (playback) or to append (recording). The
// device gives each buffer about a second; these must stay far below a millisecond.
//
//   BM_PlayStart          WAV File / Play (command 106) up to both buffers queued
//   BM_OutputRefill       one returned output buffer: read 98304 bytes and queue them
//   BM_InputAppend        one full input buffer: live display, append, header, queue again
#include <benchmark/benchmark.h>

#include <string>

#include "BenchTone.h"
#include "platform/Message.h"
#include "program/audio/Playback.h"
#include "program/commands/WavCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "support/FakePlatform.h"

namespace {

using vocara::bench::TempFile;
using vocara::platform::MessageKind;

struct Program {
  Program() : app(fake.ports), sink(app) {
    fake.desktop.programPath = TempFile("vocara-audio-bench");
    fake.desktop.configDirectory = TempFile("vocara-audio-bench-config");
    fake.windows.sink = &sink;
    fake.audio.inputs = {"in"};
    fake.audio.outputs = {"out"};
    fake.audio.keepBytes = false;
    ok = vocara::ProgramStart(app, "");
    const std::string wav = vocara::bench::HarmonicToneWav("vocara-program-bench.wav");
    vocara::WavOpenCommand(app, &wav);
    ok = ok && app.Has(vocara::WavOpen | vocara::PlayAvailable | vocara::RecordAvailable);
  }
  void Send(MessageKind kind, int buffer, int command = 0) {
    vocara::platform::Message m;
    m.kind = kind;
    m.command = command;
    m.buffer = buffer;
    m.bytes = vocara::AudioBufferBytes;
    m.device = kind == MessageKind::WaveInData ? fake.audio.openInput : fake.audio.openOutput;
    sink.Dispatch(vocara::WavView, m);
  }
  // Stop, then both buffers back: the stream closes.
  void StopPlayback() {
    Send(MessageKind::Command, 0, 107);
    Send(MessageKind::WaveOutDone, app.devices.playback.expected);
    if (app.devices.playback.deviceOpen) Send(MessageKind::WaveOutDone, app.devices.playback.expected);
  }
  vocara::test::FakePlatform fake;
  vocara::App app;
  vocara::WindowProcedureSink sink;
  bool ok = false;
};

void BM_PlayStart(benchmark::State& state) {
  Program program;
  if (!program.ok) {
    state.SkipWithError("the program did not start");
    return;
  }
  for (auto _ : state) {
    program.Send(MessageKind::Command, 0, 106);
    state.PauseTiming();
    program.StopPlayback();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PlayStart)->Unit(benchmark::kMicrosecond);

void BM_OutputRefill(benchmark::State& state) {
  Program program;
  if (!program.ok) {
    state.SkipWithError("the program did not start");
    return;
  }
  vocara::App& app = program.app;
  program.Send(MessageKind::Command, 0, 106);
  for (auto _ : state) {
    if (!app.Has(vocara::Playing)) {
      state.PauseTiming();
      program.StopPlayback();
      program.Send(MessageKind::Command, 0, 106);
      state.ResumeTiming();
    }
    program.Send(MessageKind::WaveOutDone, app.devices.playback.expected);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * vocara::AudioBufferBytes));
}
BENCHMARK(BM_OutputRefill)->Unit(benchmark::kMicrosecond);

void BM_InputAppend(benchmark::State& state) {
  Program program;
  if (!program.ok) {
    state.SkipWithError("the program did not start");
    return;
  }
  vocara::App& app = program.app;
  const std::string path = TempFile("vocara-audio-bench-recording.wav");
  // Long recordings are not the point: start again every 200 buffers (about 200 s of sound).
  int appended = 0;
  for (auto _ : state) {
    if (appended % 200 == 0) {
      state.PauseTiming();
      if (app.Has(vocara::Recording)) vocara::CloseAudio(app.commands, app.warnings, app.devices, app.ports);
      app.flags &= ~static_cast<std::uint32_t>(vocara::WavOpen);
      vocara::RecordStart(app.commands, app.docs, app.devices, app.ports, path);
      state.ResumeTiming();
    }
    program.Send(MessageKind::WaveInData, app.devices.recording.expected);
    ++appended;
  }
  vocara::CloseAudio(app.commands, app.warnings, app.devices, app.ports);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * vocara::AudioBufferBytes));
}
BENCHMARK(BM_InputAppend)->Unit(benchmark::kMicrosecond);

}  // namespace
