// The streams on a real, paced sound server: a private PulseAudio with a null sink, whose
// monitor lets a test hear what was played, and a null source. Skipped where PulseAudio is
// missing or will not start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "QtTestSupport.h"
#include "platform/qt/PortAudioDevices.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtPlatform.h"
#include "program/audio/AudioProbe.h"
#include "program/audio/Playback.h"
#include "program/commands/WavCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "support/Environment.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

extern char** environ;

namespace vocara::platform::qt::test {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Runs a program quietly with this process's environment; its pid, or nothing when it
// cannot be started.
std::optional<pid_t> Spawn(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  return failed == 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

// A private PulseAudio server for this process: its own runtime folder and home (for the
// client cookie and an .asoundrc naming the sink's monitor), set in the environment before
// PortAudio starts and put back afterwards.
class PulseNullServer {
 public:
  // Empty when the server runs; otherwise why not.
  std::string Start() {
    environment_.emplace();
    char runtimeTemplate[] = "/tmp/vocara-pulse-XXXXXX";  // mkdtemp makes it 0700
    char homeTemplate[] = "/tmp/vocara-home-XXXXXX";
    if (mkdtemp(runtimeTemplate) == nullptr || mkdtemp(homeTemplate) == nullptr)
      return "no temporary folder for the sound server";
    runtime_ = runtimeTemplate;
    home_ = homeTemplate;
    std::ofstream(home_ / ".asoundrc") << "pcm.ci_monitor { type pulse; device ci_sink.monitor }\n";
    environment_->Set("XDG_RUNTIME_DIR", runtime_.string());
    environment_->Set("HOME", home_.string());
    environment_->Unset("PULSE_SERVER");
    const auto server = Spawn({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--disallow-exit",
                               "--log-level=error", "--load=module-native-protocol-unix",
                               "--load=module-null-sink sink_name=ci_sink rate=48000 channels=2 norewinds=1",
                               "--load=module-null-source source_name=ci_source rate=48000 channels=2 "
                               "max_latency_msec=20"});
    if (!server) return "pulseaudio is not installed (scripts/install-deps installs it)";
    pid_ = *server;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return "the PulseAudio server exited at start-up";
      }
      const auto probe = Spawn({"pactl", "info"});
      if (probe && waitpid(*probe, &status, 0) == *probe && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        environment_->Set("PULSE_SERVER", "unix:" + (runtime_ / "pulse" / "native").string());
        return "";
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "the PulseAudio server did not answer within 5 s";
  }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
    environment_.reset();
    std::error_code ignored;
    for (const auto& folder : {runtime_, home_})
      if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }

  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
  std::filesystem::path runtime_;
  std::filesystem::path home_;
  std::optional<vocara::test::ScopedEnvironment> environment_;
};

struct Delivered {
  int view = 0;
  Message message;
  Clock::time_point at;
};

// 48 kHz mono 16-bit samples of a 1 kHz tone.
std::vector<std::uint8_t> Tone(double seconds, double amplitude) {
  const std::size_t samples = static_cast<std::size_t>(seconds * 48000);
  std::vector<std::uint8_t> bytes(samples * 2);
  for (std::size_t i = 0; i < samples; ++i) {
    const auto value =
        static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * i / 48000)));
    bytes[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  }
  return bytes;
}

int Peak(const std::vector<std::uint8_t>& bytes, std::size_t count) {
  int peak = 0;
  for (std::size_t i = 0; i + 1 < count; i += 2) {
    const auto value = static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8));
    peak = std::max(peak, std::abs(static_cast<int>(value)));
  }
  return peak;
}

const WaveFormatRecord Mono48k = AudioFormatRecord(0, 1, 0, 0);

class PortAudioStreamsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { whyNot_ = server_.Start(); }
  static void TearDownTestSuite() { server_.Stop(); }

  void SetUp() override {
    if (!whyNot_.empty()) GTEST_SKIP() << whyNot_;
    devices_ = std::make_unique<PortAudioDevices>([this](int view, const Message& message) {
      delivered_.push_back({view, message, Clock::now()});
      if (onMessage_) onMessage_(message);
    });
  }
  void TearDown() override { devices_.reset(); }

  static int Find(const std::vector<std::string>& names, const std::string& name) {
    const auto found = std::find(names.begin(), names.end(), name);
    return found != names.end() ? static_cast<int>(found - names.begin()) : -1;
  }
  // ALSA's default devices lead to the server's default sink and source.
  int Output() const { return Find(devices_->OutputDevices(), "default"); }
  int Input(const std::string& name = "default") const { return Find(devices_->InputDevices(), name); }
  bool WaitForMessages(std::size_t count, int milliseconds) {
    return QTest::qWaitFor([&] { return delivered_.size() >= count; }, milliseconds);
  }

  inline static PulseNullServer server_;
  inline static std::string whyNot_;
  std::unique_ptr<PortAudioDevices> devices_;
  std::vector<Delivered> delivered_;
  std::function<void(const Message&)> onMessage_;
};

TEST_F(PortAudioStreamsTest, PlaysASecondInRealTimeAndReturnsBuffersInQueueOrder) {
  ASSERT_GE(Output(), 0);
  const std::vector<std::uint8_t> half(48000, 0);
  const auto opened = Clock::now();
  const AudioHandle handle = devices_->OpenOutput(Output(), Mono48k, 5);
  ASSERT_NE(handle, 0);
  devices_->QueueOutput(handle, 7, half.data(), half.size());
  devices_->QueueOutput(handle, 8, half.data(), half.size());
  ASSERT_TRUE(WaitForMessages(2, 3000));

  const double seconds = Seconds(opened, delivered_[1].at);
  const double between = Seconds(delivered_[0].at, delivered_[1].at);
  std::cout << "[ figures  ] 1 s of sound came back after " << seconds << " s, the halves " << between
            << " s apart\n";
  // Paced by the device, not returned at once nor stuck: wide bounds, since a loaded machine
  // and the sound server's start-up only add to the time; the figures line shows the pace.
  EXPECT_GE(seconds, 0.5);
  EXPECT_LT(seconds, 5.0);
  EXPECT_GE(between, 0.25);
  for (std::size_t i = 0; i < 2; ++i) {
    const Message& m = delivered_[i].message;
    EXPECT_EQ(std::tuple(delivered_[i].view, m.kind, m.device, m.buffer, m.deviceFailed),
              std::tuple(5, MessageKind::WaveOutDone, handle, 7 + static_cast<int>(i), false));
  }
  devices_->CloseOutput(handle);
}

// Plays the tone on the default output with `playFormat` while recording the sink's monitor
// with each of `recordFormats`; the peak each recording heard.
std::vector<int> PlayAndHear(PortAudioDevices& devices, int output, int monitor,
                             const WaveFormatRecord& playFormat,
                             const std::vector<WaveFormatRecord>& recordFormats,
                             std::vector<Delivered>& delivered) {
  const std::vector<std::uint8_t> tone = Tone(1.0, 10000);
  std::vector<std::vector<std::uint8_t>> recorded(recordFormats.size(), std::vector<std::uint8_t>(48000));
  std::vector<AudioHandle> inputs;
  for (std::size_t i = 0; i < recordFormats.size(); ++i) {
    inputs.push_back(devices.OpenInput(monitor, recordFormats[i], 0));
    devices.QueueInput(inputs.back(), static_cast<int>(i), recorded[i].data(), recorded[i].size());
    devices.StartInput(inputs.back());
  }
  const AudioHandle played = devices.OpenOutput(output, playFormat, 0);
  devices.QueueOutput(played, 0, tone.data(), tone.size());
  devices.QueueOutput(played, 1, tone.data(), tone.size());

  // Half-second recordings go back into their queue until the tone is over.
  std::vector<int> peaks(recordFormats.size(), 0);
  std::size_t seen = 0;
  bool toneOver = false;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (!toneOver && Clock::now() < deadline) {
    QTest::qWait(20);
    for (; seen < delivered.size(); ++seen) {
      const Message& message = delivered[seen].message;
      if (message.kind == MessageKind::WaveOutDone) {
        toneOver = toneOver || message.buffer == 1;
        continue;
      }
      const auto i = static_cast<std::size_t>(message.buffer);
      peaks[i] = std::max(peaks[i], Peak(recorded[i], message.bytes));
      devices.QueueInput(inputs[i], message.buffer, recorded[i].data(), recorded[i].size());
    }
  }
  devices.CloseOutput(played);
  for (const AudioHandle input : inputs) devices.CloseInput(input);
  return peaks;
}

// A tone played in mono is heard at its level; one played on the right channel of an extended
// record is heard on that channel only.
TEST_F(PortAudioStreamsTest, WhatIsPlayedIsHeardAtItsLevelOnItsChannel) {
  ASSERT_GE(Input("ci_monitor"), 0) << "the .asoundrc names the sink's monitor";
  const int mono = PlayAndHear(*devices_, Output(), Input("ci_monitor"), Mono48k, {Mono48k}, delivered_)[0];
  const WaveFormatRecord left = AudioFormatRecord(1, 1, 0, 0), right = AudioFormatRecord(1, 1, 0, 1);
  delivered_.clear();  // the first playing's deliveries
  const std::vector<int> sides =
      PlayAndHear(*devices_, Output(), Input("ci_monitor"), right, {left, right}, delivered_);
  std::cout << "[ figures  ] a tone of amplitude 10000 came back with peak " << mono
            << "; on the right channel: left peak " << sides[0] << ", right peak " << sides[1] << "\n";
  EXPECT_NEAR(mono, 10000, 1000);
  EXPECT_LT(sides[0], 100);
  EXPECT_NEAR(sides[1], 10000, 1000);
}

TEST_F(PortAudioStreamsTest, ResetAndCloseEndDeliveryAndStrangeRequestsAreRefused) {
  const std::vector<std::uint8_t> quarter(24000, 0);
  const AudioHandle output = devices_->OpenOutput(Output(), Mono48k, 0);
  ASSERT_NE(output, 0);
  devices_->QueueOutput(output, 1, quarter.data(), quarter.size());
  devices_->QueueOutput(output, 2, quarter.data(), quarter.size());
  std::vector<std::uint8_t> capture(9600);
  const AudioHandle input = devices_->OpenInput(Input(), Mono48k, 0);
  ASSERT_NE(input, 0);
  devices_->QueueInput(input, 3, capture.data(), capture.size());
  devices_->StartInput(input);
  const AudioHandle closed = devices_->OpenOutput(Output(), Mono48k, 0);
  devices_->QueueOutput(closed, 4, quarter.data(), quarter.size());
  QTest::qWait(50);
  devices_->ResetOutput(output);
  devices_->ResetInput(input);
  devices_->CloseOutput(closed);
  // The reset output goes on playing what comes next.
  devices_->QueueOutput(output, 5, quarter.data(), 0);
  QTest::qWait(800);
  ASSERT_EQ(delivered_.size(), 1u);
  EXPECT_EQ(delivered_[0].message.buffer, 5);

  // Handles are new each time, also after a close.
  const AudioHandle next = devices_->OpenOutput(Output(), Mono48k, 0);
  EXPECT_TRUE(next > closed && closed > input) << next << " " << closed << " " << input;
  // Unknown or mismatched handles are ignored.
  devices_->CloseOutput(12345);
  devices_->CloseInput(output);
  devices_->QueueInput(output, 6, capture.data(), capture.size());
  devices_->StartInput(next);
  devices_->ResetInput(54321);
  WaveFormatRecord oddRate = Mono48k;
  oddRate[4] = 1;
  oddRate[5] = oddRate[6] = oddRate[7] = 0;
  EXPECT_EQ(std::tuple(devices_->OpenOutput(Output(), oddRate, 0), devices_->OpenInput(Input(), oddRate, 0),
                       devices_->OpenOutput(-1, Mono48k, 0)),
            std::tuple(0, 0, 0));
  QTest::qWait(50);
  EXPECT_EQ(delivered_.size(), 1u);
}

// The whole program on the real platform: P plays a 3-second recording while the user
// scrolls and zooms the WAV window, and not one buffer comes back out of order.
TEST_F(PortAudioStreamsTest, TheProgramPlaysWithoutLosingBuffersWhileTheViewScrolls) {
  QtProgram program;
  App& app = program.app;
  ASSERT_TRUE(ProgramStart(app, ""));
  app.warnings.on = false;  // a lost buffer must fail the test, not wait in a message box
  app.devices.audioChoice.outDevice = Output();
  AudioProbe(app, app.devices.audioChoice);
  const std::vector<std::uint8_t> tone = Tone(3.0, 8000);
  const std::string path = vocara::test::WriteFile(
      program.dir.File("tone.wav"),
      vocara::test::CanonicalWav(vocara::test::Format(2), std::string(tone.begin(), tone.end())));
  WavOpenCommand(app, &path);
  ASSERT_TRUE(app.Has(WavOpen | PlayAvailable));

  const auto send = [&](MessageKind kind, int command, ScrollCode code) {
    program.sink.Dispatch(WavView, {.kind = kind, .command = command, .scrollCode = code});
  };
  const auto start = Clock::now();
  send(MessageKind::Command, 106, ScrollCode::EndScroll);
  ASSERT_TRUE(app.Has(Playing));
  int step = 0;
  const bool ended = QTest::qWaitFor(
      [&] {
        // Zoom in and out (Page Up / Page Down) and scroll, as fast as events allow.
        const int phase = step++ % 4;
        if (phase < 2)
          send(MessageKind::Command, phase == 0 ? 145 : 144, ScrollCode::EndScroll);
        else
          send(MessageKind::HScroll, 0, phase == 2 ? ScrollCode::LineDown : ScrollCode::LineUp);
        return app.Has(PlayAvailable);
      },
      8000);
  const double seconds = Seconds(start, Clock::now());
  program.qt.ClearSink();
  ASSERT_TRUE(ended);
  std::cout << "[ figures  ] 3 s played in " << seconds << " s with " << step << " view changes\n";
  EXPECT_GT(step, 100);
  EXPECT_EQ(app.devices.lostBuffers, 0);
  EXPECT_GE(seconds, 1.5);
  EXPECT_LT(seconds, 15.0);
}

// A recording through the real input stream: Stop after 2 s (in the second buffer) keeps the buffer
// that comes back next, and the file of whole buffers opens as the WAV.
TEST_F(PortAudioStreamsTest, TheProgramRecordsWholeBuffersAndOpensTheRecording) {
  QtProgram program;
  App& app = program.app;
  ASSERT_TRUE(ProgramStart(app, ""));
  app.warnings.on = false;  // a lost buffer must fail the test, not wait in a message box
  app.devices.audioChoice.inDevice = Input();
  AudioProbe(app, app.devices.audioChoice);
  ASSERT_TRUE(app.Has(RecordAvailable));
  const std::string path = program.dir.File("take.wav");
  ASSERT_TRUE(RecordStart(app.commands, app.docs, app.devices, app.ports, path));
  QTest::qWait(2000);
  StopCommand(app.commands, app.warnings, app.devices, app.ports);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app.Has(Recording); }, 3000));
  program.qt.ClearSink();
  // Two buffers of 1.024 s.
  EXPECT_EQ(std::tuple(app.devices.lostBuffers, app.Has(WavOpen), app.docs.wav.path, app.docs.wav.sampleCount,
                       std::filesystem::file_size(path)),
            std::tuple(0, true, path, AudioBufferBytes, 44 + 2 * AudioBufferBytes));
}

// Kills its server, so it gets one of its own.
class PortAudioDeviceLossTest : public PortAudioStreamsTest {};

TEST_F(PortAudioDeviceLossTest, EveryQueuedBufferComesBackWhenTheServerDies) {
  const std::vector<std::uint8_t> second(96000, 0);
  const AudioHandle handle = devices_->OpenOutput(Output(), Mono48k, 0);
  ASSERT_NE(handle, 0);
  devices_->QueueOutput(handle, 1, second.data(), second.size());
  devices_->QueueOutput(handle, 2, second.data(), second.size());
  QTest::qWait(100);
  kill(server_.Pid(), SIGKILL);
  const auto killed = Clock::now();
  ASSERT_TRUE(WaitForMessages(2, 4000));
  std::cout << "[ figures  ] buffers back " << Seconds(killed, delivered_[1].at)
            << " s after the server died\n";
  for (std::size_t i = 0; i < 2; ++i)
    EXPECT_EQ(std::pair(delivered_[i].message.buffer, delivered_[i].message.deviceFailed),
              std::pair(1 + static_cast<int>(i), true));
}

}  // namespace
}  // namespace vocara::platform::qt::test
