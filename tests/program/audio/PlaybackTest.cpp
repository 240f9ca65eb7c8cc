// Playback and recording through the fake audio port: the tests hand buffers back as the
// device would, in order, out of order, after Stop, and with the device failing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Keys.h"
#include "program/audio/AudioProbe.h"
#include "program/audio/Playback.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/ChildProcess.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using platform::MessageKind;

class PlaybackTest : public AppTest {
 protected:
  void SetUp() override {
    fake.audio.inputs = {"microphone"};
    fake.audio.outputs = {"speakers"};
    ASSERT_TRUE(ProgramStart(app, ""));
    ASSERT_TRUE(app.Has(PlayAvailable | RecordAvailable));
  }

  // A 16-bit recording of `count` samples whose bytes are easy to tell apart.
  std::string Open(std::uint32_t count) {
    std::vector<std::int32_t> values;
    for (std::uint32_t i = 0; i < count; ++i)
      values.push_back(static_cast<std::int32_t>(i * 7 % 60000) - 30000);
    data = Samples(2, values);
    return OpenWav16(values);
  }
  // Everything queued for output so far, end to end.
  std::string Played() const {
    std::string all;
    for (const auto& q : fake.audio.outputQueue) all.append(q.bytes.begin(), q.bytes.end());
    return all;
  }
  std::vector<std::size_t> Lengths() const {
    std::vector<std::size_t> lengths;
    for (const auto& q : fake.audio.outputQueue) lengths.push_back(q.length);
    return lengths;
  }
  bool Idle() const { return app.Has(PlayAvailable) && !(app.flags & (Playing | StopAvailable)); }

  std::string data;
};

TEST_F(PlaybackTest, PlaysTheWholeFileInAlternatingBuffersAndLetsTheEndPlayOut) {
  Open(150000);  // 300000 bytes: three full buffers and 5088 bytes
  Command(WavView, 106);
  ASSERT_EQ(fake.audio.outputOpens.size(), 1u);
  EXPECT_EQ(std::tuple(fake.audio.outputOpens[0].notifyView, app.Has(Playing | StopAvailable),
                       app.Has(PlayAvailable), Enabled(106), Enabled(107), Lengths()),
            std::tuple(WavView, true, false, false, true, std::vector<std::size_t>{98304, 98304}));
  OutputDone(0);
  OutputDone(1);
  // The last piece is queued; the stream stays open until the device has played it.
  EXPECT_EQ(std::tuple(Lengths(), app.Has(Playing), fake.audio.closes.size()),
            std::tuple(std::vector<std::size_t>{98304, 98304, 98304, 5088}, false, 0u));
  OutputDone(0);
  EXPECT_TRUE(fake.audio.closes.empty());
  OutputDone(1);
  EXPECT_EQ(std::tuple(fake.audio.closes.size(), Idle(), fake.desktop.messages.size()),
            std::tuple(1u, true, 0u));
  EXPECT_EQ(Played(), data);
}

// A missing device is told in the tooltips of Play, Record and Stop, in the WAV strip and when
// P asks to play regardless; a device that comes back takes its reason away.
TEST_F(PlaybackTest, MissingDevicesSayWhyTheSoundCommandsAreGreyed) {
  Open(1000);
  const auto notes = [this](std::vector<std::string> expected) {
    EXPECT_EQ((std::vector{fake.windows.commandNotes[106], fake.windows.commandNotes[101],
                           fake.windows.commandNotes[107]}),
              expected);
  };
  fake.audio.outputs.clear();
  AudioProbe(app, app.devices.audioChoice);
  notes({"No audio output device", "", ""});
  Command(WavView, 106);
  EXPECT_EQ(app.windows.status.notices[WavView], "No audio output device");
  fake.audio.inputs.clear();
  AudioProbe(app, app.devices.audioChoice);
  notes({"No audio output device", "No audio input device", "No audio output device"});
  fake.audio.outputs = {"speakers"};
  AudioProbe(app, app.devices.audioChoice);
  notes({"", "No audio input device", ""});
  EXPECT_EQ(app.windows.status.notices[WavView], "No audio input device");
}

TEST_F(PlaybackTest, BuffersOutOfOrderAreCountedAndReportedOnceUntilSilenced) {
  Open(150000);
  for (int run = 0; run < 2; ++run) {
    fake.desktop.answers.push_back(platform::MessageAnswer::No);
    Command(WavView, 106);
    OutputDone(1);  // the second buffer first: counted, and refilled in the place of the first
    OutputDone(1);
    OutputDone(0);
    OutputDone(1);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(app.devices.lostBuffers, 2);
  }
  // No turned the warning off for the rest of the run.
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(std::tuple(fake.desktop.messages[0].text, fake.desktop.messages[0].buttons),
            std::tuple("Lost Output Buffers = 2", platform::MessageButtons::YesNo));
}

TEST_F(PlaybackTest, StopCutsTheSoundWhenTheNextBufferComesBack) {
  Open(150000);
  Command(WavView, 106);
  Key(WavView, platform::key::Return);  // Stop
  EXPECT_TRUE(app.Has(Playing));
  OutputDone(0);  // nothing queued after the stop
  EXPECT_EQ(std::tuple(fake.audio.resets.size(), fake.audio.closes.size(), Lengths().size()),
            std::tuple(1u, 1u, 2u));
  EXPECT_TRUE(Idle());
  OutputDone(1);  // a late return of a closed stream changes nothing
  EXPECT_EQ(std::tuple(Idle(), fake.desktop.messages.size()), std::tuple(true, 0u));

  // Stop while the end plays out closes at once.
  Command(WavView, 116);  // no range: disabled
  EXPECT_EQ(fake.audio.outputOpens.size(), 1u);
  SelectWavRange(0, 60000);
  Command(WavView, 116);
  OutputDone(0);
  EXPECT_EQ(std::tuple(app.Has(Playing), app.Has(StopAvailable)), std::tuple(false, true));
  Command(WavView, 107);
  EXPECT_EQ(std::tuple(Idle(), fake.audio.closes.size()), std::tuple(true, 2u));
}

TEST_F(PlaybackTest, ShortRangesOneSampleAndNothing) {
  Open(5000);
  SelectWavRange(100, 1100);
  Command(WavView, 116);
  // The whole range, then nothing; then the last sample alone.
  EXPECT_EQ(std::tuple(Lengths(), Played()),
            std::tuple(std::vector<std::size_t>{2000, 0}, data.substr(200, 2000)));
  OutputDone(0);
  EXPECT_FALSE(app.Has(Playing));
  OutputDone(1);
  EXPECT_TRUE(Idle());
  fake.audio.outputQueue.clear();
  app.docs.wav.cursor = 4999;
  Command(WavView, 106);
  EXPECT_EQ(std::tuple(Lengths(), Played()), std::tuple(std::vector<std::size_t>{2, 0}, data.substr(9998)));
  OutputDone(0);
  OutputDone(1);

  app.docs.wav.cursor = 5000;  // past the data: nothing, silently
  for (const auto& [path, from, to] :
       {std::tuple(app.docs.wav.path, 5000u, 5000u), std::tuple(app.docs.wav.path, 10u, 5001u),
        std::tuple(app.docs.wav.path, 20u, 10u), std::tuple(dir.File("missing.wav"), 0u, 0u)})
    EXPECT_FALSE(PlayFile(app.commands, app.warnings, app.devices, app.ports, path, from, to))
        << path << " " << from << ".." << to;
  EXPECT_EQ(std::tuple(fake.audio.outputOpens.size(), Idle(), fake.desktop.messages.size()),
            std::tuple(2u, true, 0u));
}

TEST_F(PlaybackTest, FilesPlayTheirOwnSamplesUnchangedAtTheChosenFormat) {
  // A 44100 Hz file whose data stands behind another chunk, on a 48000 Hz output.
  const std::string samples = Samples(2, {1, -2, 3, -4, 5});
  const std::string path =
      WriteFile(dir.File("list.wav"), RiffFile(Chunk("fmt ", FormatBody(Format(2, 44100))) +
                                               Chunk("LIST", "abcdefgh") + Chunk("data", samples)));
  ASSERT_TRUE(PlayFile(app.commands, app.warnings, app.devices, app.ports, path, 1, 0 + 4));
  EXPECT_EQ(std::tuple(Played(), platform::DecodeWaveFormat(fake.audio.outputOpens[0].format).sampleRate),
            std::tuple(samples.substr(2, 6), 48000));

  // A device that refuses: the message, and nothing changes.
  OutputDone(0);
  OutputDone(1);
  fake.audio.openSucceeds = false;
  EXPECT_FALSE(PlayFile(app.commands, app.warnings, app.devices, app.ports, path, 0, 0));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Not supported output format"});
  EXPECT_TRUE(Idle());
}

TEST_F(PlaybackTest, ForeignHandlesAreReportedAndAFailingDeviceEndsPlayback) {
  Open(150000);
  Command(WavView, 106);
  OutputDone(0, 0x7777);  // another device's buffer: reported, then taken as this one's
  EXPECT_EQ(std::tuple(MessageTexts(), Lengths().size()),
            std::tuple(std::vector<std::string>{"Wrong output handle"}, 3u));
  OutputDone(1, 0, true);  // the device gave up: playback ends, ready to play again
  EXPECT_EQ(std::tuple(Idle(), fake.audio.closes.size()), std::tuple(true, 1u));
}

TEST_F(PlaybackTest, SpaceMovesTheCursorToThePlayPositionAfterFittingTheView) {
  Open(150000);
  Key(WavView, platform::key::Space);  // nothing plays: nothing happens
  EXPECT_EQ(app.docs.wav.cursor, 0u);
  app.windows.wavView.samplesPerPixel = 3;
  app.docs.wav.cursor = 1000;
  Command(WavView, 106);
  OutputDone(0);
  Key(WavView, platform::key::Space);
  const std::uint32_t position = 1000 + 3 * 49152;
  const std::uint32_t spp = app.windows.wavView.samplesPerPixel;
  // Fitted whole, the cursor standing on its column's first sample.
  const auto fitted = 150000 / static_cast<std::uint32_t>(ViewWidth(app.windows, WavView) - 1);
  EXPECT_EQ(std::tuple(app.docs.wav.cursor, app.windows.wavView.firstSample,
                       app.windows.wavView.samplesPerPixel, app.windows.geometry[WavView].drawnCursorX),
            std::tuple(position / spp * spp, 0u, fitted, static_cast<int>(position / fitted)));

  // The corrected file's samples stand for the rendered range of the recording.
  Command(WavView, 107);
  OutputDone(1);
  const std::string corrected = WriteWav16(dir.File("c.wav"), {1, 2, 3});
  ASSERT_TRUE(PlayFile(app.commands, app.warnings, app.devices, app.ports, corrected, 0, 0, 90000));
  Key(WavView, platform::key::Space);
  EXPECT_EQ(app.windows.geometry[WavView].cursorX, static_cast<int>(90003 / spp));
}

class RecordingTest : public PlaybackTest {
 protected:
  // Input buffer `buffer` (as last queued) comes back with `bytes` recorded; with a seed, filled
  // with a ramp from it first.
  void Recorded(int buffer, std::size_t bytes, int seed = -1, bool failed = false) {
    const auto queued = std::find_if(fake.audio.inputQueue.rbegin(), fake.audio.inputQueue.rend(),
                                     [&](const auto& q) { return q.buffer == buffer; });
    ASSERT_TRUE(queued != fake.audio.inputQueue.rend()) << "buffer " << buffer << " not queued";
    for (std::size_t i = 0; seed >= 0 && i < queued->length; ++i)
      queued->inData[i] = static_cast<std::uint8_t>(seed + static_cast<int>(i));
    sink.Dispatch(WavView, {.kind = MessageKind::WaveInData,
                            .buffer = buffer,
                            .device = fake.audio.inputOpens.back().handle,
                            .bytes = bytes,
                            .deviceFailed = failed});
  }
  std::string Expected(std::uint8_t seed, std::size_t bytes) {
    std::string s;
    for (std::size_t i = 0; i < bytes; ++i)
      s.push_back(static_cast<char>(static_cast<std::uint8_t>(seed + i)));
    return s;
  }
  std::string Record(const std::string& name) {
    Command(WavView, 101, dir.File(name));
    return dir.File(name);
  }
};

TEST_F(RecordingTest, ThreeBuffersMakeAWholeFileThatOpens) {
  const std::string take = Open(1000);
  app.devices.audioChoice.inRate = 3;        // 96000
  app.devices.audioChoice.inSampleSize = 1;  // 24 bits
  app.devices.audioChoice.inFormat = 1;      // extensible to the device, plain PCM in the file
  const std::string path = Record("Temp.wav");
  EXPECT_EQ(
      Describe(fake.desktop.fileRequests.at(0)),
      "Save recorded WAV file | Windows Sound File (*.WAV)=*.WAV, All Files (*.*)=*.* | WAV | Temp.wav | "
      "pathMustExist overwritePrompt hideReadOnly");
  // The open recording was closed first.
  EXPECT_EQ(std::tuple(app.Has(Recording | StopAvailable), app.Has(WavOpen), app.Has(RecordAvailable),
                       fake.audio.started.size(), fake.audio.inputQueue.size()),
            std::tuple(true, false, false, 1u, 2u));
  EXPECT_EQ(platform::RecordField(fake.audio.inputOpens.at(0).format, 0, 2), 0xFFFEu);

  Recorded(0, AudioBufferBytes, 1);
  // Left-aligned 24-bit samples.
  EXPECT_EQ(std::tuple(app.windows.wavView.firstSample, app.windows.wavView.envelope[0].min,
                       app.windows.wavView.envelope[1].min, app.windows.wavView.envelope[1].max),
            std::tuple(0u, 0x03020100, 0x06050400, 0x06050400));
  Recorded(1, AudioBufferBytes, 2);
  EXPECT_EQ(app.windows.wavView.firstSample, AudioBufferBytes / 3);
  Command(WavView, 107);  // the buffer that comes back next is kept
  EXPECT_TRUE(app.Has(Recording));
  Recorded(0, AudioBufferBytes, 3);

  EXPECT_EQ(std::tuple(app.Has(Recording), app.Has(RecordAvailable), fake.audio.closes.size()),
            std::tuple(false, true, 1u));
  const std::string file = ReadFile(path);
  ASSERT_EQ(file.size(), 44 + 3 * AudioBufferBytes);
  std::string header = CanonicalWav(Format(3, 96000), "");
  header.replace(4, 4, Le32(36 + 3 * AudioBufferBytes));
  header.replace(40, 4, Le32(3 * AudioBufferBytes));
  EXPECT_EQ(file.substr(0, 44), header);
  EXPECT_EQ(file.substr(44),
            Expected(1, AudioBufferBytes) + Expected(2, AudioBufferBytes) + Expected(3, AudioBufferBytes));
  EXPECT_EQ(std::tuple(app.Has(WavOpen), app.docs.wav.path, app.docs.wav.sampleCount),
            std::tuple(true, path, AudioBufferBytes));
  EXPECT_EQ(ReadFile(take).size(), 44 + 2000u);  // the recording before was not touched
}

TEST_F(RecordingTest, TheOpenRecordingAndDevicesAreNeverOverwritten) {
  const std::string take = Open(1000);
  fake.desktop.fileAnswers = {take, dir.Path().string()};
  Command(WavView, 101);
  EXPECT_TRUE(app.Has(WavOpen));
  Command(WavView, 101);
  EXPECT_EQ(std::tuple(fake.audio.inputOpens.size(), ReadFile(take).size()), std::tuple(0u, 44 + 2000u));
  // A device that refuses: the message, and the empty file stays.
  fake.audio.openSucceeds = false;
  EXPECT_TRUE(std::filesystem::exists(Record("refused.wav")));
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Opened file can not be overwritten",
                                      "The target is not a regular file", "Not supported input format"}));
  EXPECT_EQ(std::tuple(app.Has(Recording), app.Has(RecordAvailable)), std::tuple(false, true));
}

TEST_F(RecordingTest, EarlyEndsKeepAWholeFileOfWhatWasRecorded) {
  struct Case {
    const char* name;
    std::function<void()> cause;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"full.wav",
       [this] {
         // Another buffer would not fit a 32-bit size: the recording stops before it wraps.
         // (The file is not opened afterwards: it would be a sparse file of 4 GiB.)
         app.devices.recording.header.SetDataSize(0xFFFFFFFFu - 36 - AudioBufferBytes / 2);
         Recorded(1, AudioBufferBytes);
         std::filesystem::remove(dir.File("full.wav"));
       },
       "The recording has reached the largest size a WAV file can hold. It was stopped; the part recorded "
       "is kept."},
      {"gone.wav", [this] { Recorded(1, 4000, -1, true); },
       "The recording device stopped. The recording was ended; the part recorded is kept."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.desktop.messages.clear();
    const std::string path = Record(c.name);
    Recorded(0, AudioBufferBytes, 9);
    c.cause();
    EXPECT_EQ(std::tuple(app.Has(Recording), app.Has(RecordAvailable), MessageTexts().at(0)),
              std::tuple(false, true, c.message));
  }
  EXPECT_EQ(std::tuple(ReadFile(dir.File("gone.wav")).size(), app.docs.wav.sampleCount),  // and opened
            std::tuple(44 + AudioBufferBytes + 4000, (AudioBufferBytes + 4000) / 2));

  // A full disk: the header says what reached the file, and the program goes on.
  const ChildResult child = RunWithFileSizeLimit(44 + AudioBufferBytes + 1000, [this](int& exitCode) {
    const std::string path = Record("disk.wav");
    Recorded(0, AudioBufferBytes, 5);
    Recorded(1, AudioBufferBytes);
    exitCode = app.Has(Recording) ? 1 : 0;
    return fake.desktop.messages.empty() ? std::string() : fake.desktop.messages.back().text;
  });
  EXPECT_EQ(std::tuple(child.exitCode, child.output),
            std::tuple(0,
                       "The recording could not be written (is the disk full?). It was stopped; the part "
                       "recorded is kept."));
  const std::string disk = ReadFile(dir.File("disk.wav"));
  EXPECT_EQ(std::tuple(disk.size(), disk.substr(40, 4)),
            std::tuple(44 + AudioBufferBytes, Le32(AudioBufferBytes)));
}

TEST_F(RecordingTest, ProbingTheDevicesLeavesStreamsInUseAlone) {
  // Probing (the settings dialog's OK) must not read as a stop request or allow a second stream.
  Open(150000);
  Command(WavView, 106);
  Record("probe.wav");
  const AudioProbeResult probe = AudioProbe(app, app.devices.audioChoice);
  EXPECT_EQ(std::tuple(probe.record, probe.play, app.Has(RecordAvailable), app.Has(PlayAvailable)),
            std::tuple(true, true, false, false));
  Recorded(0, AudioBufferBytes, 1);
  EXPECT_TRUE(app.Has(Recording));
}

TEST_F(RecordingTest, TheHeaderFollowsEveryBufferAndClosingTheProgramFinishesTheFile) {
  const std::string path = Record("live.wav");
  Recorded(0, AudioBufferBytes, 4);
  // Whatever happens to the program now, the file on the disk is a whole WAV.
  EXPECT_EQ(ReadFile(path).substr(40, 4), Le32(AudioBufferBytes));
  Recorded(1, 1000, 6);  // a partly filled buffer
  sink.Dispatch(WavView, Msg(MessageKind::Close));
  const std::string file = ReadFile(path);
  EXPECT_EQ(std::tuple(file.size(), file.substr(4, 4), file.substr(40, 4)),
            std::tuple(44 + AudioBufferBytes + 1000, Le32(36 + AudioBufferBytes + 1000),
                       Le32(AudioBufferBytes + 1000)));
  EXPECT_EQ(fake.audio.closes.size(), 1u);
}

}  // namespace
}  // namespace vocara::test
