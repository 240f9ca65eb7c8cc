#include "program/audio/Playback.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/MessageId.h"
#include "engine/wav/WavDocument.h"
#include "program/audio/AudioProbe.h"
#include "program/commands/WavCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/Warning.h"
#include "program/views/Render.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

constexpr char LostOutputPrefix[] = "Lost Output Buffers = ";
constexpr char LostInputPrefix[] = "Lost Buffers=";
// The largest data size whose RIFF size (data size + 36) a 32-bit field still holds.
constexpr std::uint64_t LargestDataSize = 0xFFFFFFFFull - 36;

void ReportLostBuffers(WarningSwitch& warnings, Devices& devices, platform::Platform& ports,
                       const char* prefix, int prefixSize) {
  if (devices.lostBuffers > 0) ShowWarning(ports.desktop, warnings, prefix, prefixSize, devices.lostBuffers);
}

// Takes a returned buffer in the alternating order: one that is not the expected one counts
// as lost and is taken as the one to refill.
void CheckOrder(Devices& devices, int& expected, int buffer) {
  if (buffer != expected) {
    ++devices.lostBuffers;
    expected ^= 1;
  }
}

// Reads `bytes` of the play file at playPos into buffer `index` and queues it. A file that
// ends early (it changed or vanished under the program) queues what it still gave, and
// playback ends with that buffer.
void QueueNext(Devices& devices, platform::Platform& ports, int index, std::size_t bytes) {
  PlaybackState& play = devices.playback;
  std::uint8_t* data = play.buffers->data[static_cast<std::size_t>(index)].data();
  std::size_t got = 0;
  if (bytes > 0 && play.file.Seek(play.dataOffset + std::uint64_t{play.blockAlign} * play.playPos)) {
    got = play.file.Read(data, bytes);
  }
  got -= got % play.blockAlign;
  ports.audio.QueueOutput(play.device, index, data, got);
  ++play.queued;
  play.playPos =
      got < bytes ? play.playEnd : play.playPos + static_cast<std::uint32_t>(bytes / play.blockAlign);
}

// The stream is closed and the program can play again.
void EndPlayback(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports,
                 bool report = true) {
  PlaybackState& play = devices.playback;
  platform::AudioPort& audio = ports.audio;
  audio.ResetOutput(play.device);
  audio.CloseOutput(play.device);
  play.deviceOpen = false;
  play.queued = 0;
  play.file.Close();
  ClearBits(commands.flags, Playing | StopAvailable);
  commands.flags |= PlayAvailable;
  UpdateCommandStates(commands);
  if (report) ReportLostBuffers(warnings, devices, ports, LostOutputPrefix, sizeof LostOutputPrefix);
}

std::uint32_t RecordingRate(const Devices& devices) {
  return static_cast<std::uint32_t>(AudioRates[static_cast<std::size_t>(
      std::clamp<std::int32_t>(devices.audioChoice.inRate, 0, AudioRates.size() - 1))]);
}

bool WriteRecordingHeader(RecordingState& record) {
  const auto bytes = record.header.Serialise();
  return record.file.Seek(0) && record.file.Write(bytes.data(), bytes.size()) && record.file.Flush();
}

// Closes the file as a whole WAV of what was written, and the device.
void FinishRecording(WindowStates& windows, Devices& devices, std::uint32_t& flags,
                     platform::Platform& ports) {
  RecordingState& record = devices.recording;
  ClearBits(flags, Recording | StopAvailable);
  record.header.SetDataSize(record.header.data.size);
  WriteRecordingHeader(record);
  record.file.Truncate(WavHeader::ByteSize + std::uint64_t{record.header.data.size});
  record.file.Close();
  platform::AudioPort& audio = ports.audio;
  audio.ResetInput(record.device);
  audio.CloseInput(record.device);
  record.deviceOpen = false;
  windows.wavView.firstSample = 0;
}

void EndRecording(App& app, MessageId problem) {
  FinishRecording(app.windows, app.devices, app.flags, app.ports);
  // An end the user did not ask for leaves recording possible again.
  app.flags |= RecordAvailable;
  ShowErrorMessage(app.ports.desktop, problem);
  WavOpenCommand(app, &app.devices.recording.path);
  UpdateCommandStates(app.commands);
  ReportLostBuffers(app.warnings, app.devices, app.ports, LostInputPrefix, sizeof LostInputPrefix);
}

// The recording's first 1280 samples of this buffer as one-sample columns at the view's
// left edge, left-aligned like every value the view draws.
void ShowRecordedBuffer(WindowStates& windows, Devices& devices, platform::Platform& ports,
                        const std::uint8_t* data, std::size_t bytes) {
  const unsigned align = devices.recording.header.fields.blockAlign;
  windows.wavView.firstSample = devices.recording.header.data.size / align;
  const std::size_t samples = std::min<std::size_t>(bytes / align, MaxPlotColumns);
  for (std::size_t i = 0; i < samples; ++i) {
    std::uint32_t value = 0;
    for (unsigned b = 0; b < align; ++b) value |= std::uint32_t{data[i * align + b]} << (8 * (b + 4 - align));
    const auto sample = static_cast<std::int32_t>(value);
    windows.wavView.envelope[i] = {sample, sample};
  }
  const ViewGeometry& geometry = windows.geometry[WavView];
  const platform::Rect plot{0, geometry.plotTop, ViewWidth(windows, WavView), geometry.plotBottom};
  ports.windows.Invalidate(WavView, &plot);
}

bool ExistsAsOtherThanFile(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

}  // namespace

bool PlayFile(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports,
              const std::string& path, std::uint32_t first, std::uint32_t last, std::uint32_t positionBase) {
  PlaybackState& play = devices.playback;
  // Never a second stream while the last one still plays out.
  if (play.deviceOpen) EndPlayback(commands, warnings, devices, ports);
  if (first > last) return false;
  FileHandle file = FileHandle::OpenForReading(path);
  if (!file.IsOpen()) return false;
  WavHeader header;
  std::uint64_t dataOffset = 0;
  if (WavReadLayout(file, header, dataOffset) != MessageId::None) return false;
  const unsigned blockAlign = header.fields.blockAlign;
  const std::uint64_t dataSize = header.data.size;
  if (last == 0) last = static_cast<std::uint32_t>(dataSize / blockAlign);
  if (std::uint64_t{blockAlign} * first >= dataSize || std::uint64_t{blockAlign} * last > dataSize)
    return false;

  const platform::AudioHandle device =
      ports.audio.OpenOutput(devices.audioChoice.outDevice, OutputFormatRecord(devices.audioChoice), WavView);
  if (device == 0) {
    ShowErrorMessage(ports.desktop, MessageId::NotSupportedOutputFormat);
    return false;
  }
  play.file = std::move(file);
  play.dataOffset = dataOffset;
  play.dataSize = header.data.size;
  play.blockAlign = blockAlign;
  play.playPos = first;
  play.playEnd = last;
  play.positionBase = positionBase;
  play.device = device;
  play.deviceOpen = true;
  play.queued = 0;
  play.stopped = false;
  if (!play.buffers) play.buffers = std::make_unique<AudioBufferPair>();

  ClearBits(commands.flags, PlayAvailable);
  commands.flags |= Playing | StopAvailable;
  UpdateCommandStates(commands);
  play.expected = 0;
  devices.lostBuffers = 0;
  for (int index = 0; index < 2; ++index) {
    const std::uint64_t left = std::uint64_t{blockAlign} * (play.playEnd - play.playPos);
    QueueNext(devices, ports, index,
              static_cast<std::size_t>(std::min<std::uint64_t>(AudioBufferBytes, left)));
  }
  return true;
}

void OnOutputDone(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports,
                  const platform::Message& message) {
  PlaybackState& play = devices.playback;
  if (message.device != play.device) ShowErrorMessage(ports.desktop, MessageId::WrongOutputHandle);
  if (!play.deviceOpen) return;
  CheckOrder(devices, play.expected, message.buffer);
  play.queued = std::max(play.queued - 1, 0);
  if (!(commands.flags & Playing)) {
    // Playing out the last buffers; the stream closes when the device holds none.
    play.expected ^= 1;
    if (play.queued == 0 || message.deviceFailed) EndPlayback(commands, warnings, devices, ports);
    return;
  }
  if (message.deviceFailed) {
    play.playPos = play.playEnd;
    play.stopped = true;
  }
  const std::uint64_t remaining = std::uint64_t{play.blockAlign} * (play.playEnd - play.playPos);
  if (remaining > AudioBufferBytes) {
    QueueNext(devices, ports, play.expected, AudioBufferBytes);
    play.expected ^= 1;
    return;
  }
  ClearBits(commands.flags, Playing);
  if (remaining > 0) QueueNext(devices, ports, play.expected, static_cast<std::size_t>(remaining));
  play.expected ^= 1;  // the other buffer, if any, comes back next
  play.file.Close();
  if (play.stopped || play.queued == 0) {
    EndPlayback(commands, warnings, devices, ports);
  } else {
    UpdateCommandStates(commands);
  }
}

bool RecordStart(Commands& commands, OpenDocuments& docs, Devices& devices, platform::Platform& ports,
                 const std::string& path) {
  RecordingState& record = devices.recording;
  FileHandle file = FileHandle::Create(path);
  if (!file.IsOpen()) return false;
  const platform::AudioHandle device =
      ports.audio.OpenInput(devices.audioChoice.inDevice, InputFormatRecord(devices.audioChoice), WavView);
  if (device == 0) {
    ShowErrorMessage(ports.desktop, MessageId::NotSupportedInputFormat);
    return false;  // the empty file stays, as the user named it
  }
  record.file = std::move(file);
  record.path = path;
  record.device = device;
  record.deviceOpen = true;
  ClearBits(commands.flags, RecordAvailable);
  commands.flags |= Recording | StopAvailable;
  UpdateCommandStates(commands);

  // Always integer PCM, also when the device was opened with the extensible format.
  const auto align = static_cast<std::uint16_t>(std::clamp<int>(devices.audioChoice.inSampleSize, 0, 2) + 2);
  const std::uint32_t rate = RecordingRate(devices);
  record.header = WavHeader::MonoPcm(rate, align, 0);
  docs.wav.header.fields.sampleRate = rate;  // the time axis of the live display
  WriteRecordingHeader(record);

  if (!record.buffers) record.buffers = std::make_unique<AudioBufferPair>();
  for (int index = 0; index < 2; ++index) {
    ports.audio.QueueInput(device, index, record.buffers->data[static_cast<std::size_t>(index)].data(),
                           AudioBufferBytes);
  }
  record.expected = 0;
  devices.lostBuffers = 0;
  ports.audio.StartInput(device);
  return true;
}

void OnInputData(App& app, const platform::Message& message) {
  RecordingState& record = app.devices.recording;
  if (message.device != record.device) ShowErrorMessage(app.ports.desktop, MessageId::WrongInputHandle);
  if (!record.deviceOpen) return;
  CheckOrder(app.devices, record.expected, message.buffer);
  if (!(app.flags & Recording)) return;

  const auto index = static_cast<std::size_t>(record.expected);
  const std::uint8_t* data = record.buffers->data[index].data();
  const std::size_t bytes = std::min(message.bytes, AudioBufferBytes);
  const std::uint32_t dataSize = record.header.data.size;
  if (dataSize + std::uint64_t{bytes} > LargestDataSize) {
    EndRecording(app, MessageId::RecordingAtLargestSize);
    return;
  }
  const bool written =
      record.file.Seek(WavHeader::ByteSize + std::uint64_t{dataSize}) && record.file.Write(data, bytes);
  if (!written) {
    EndRecording(app, MessageId::RecordingWriteFailed);
    return;
  }
  ShowRecordedBuffer(app.windows, app.devices, app.ports, data, bytes);
  // The header follows every buffer, so that the file on the disk is always a whole WAV of
  // what was recorded, whatever happens to the program.
  record.header.SetDataSize(dataSize + static_cast<std::uint32_t>(bytes));
  if (!WriteRecordingHeader(record)) {
    EndRecording(app, MessageId::RecordingWriteFailed);
    return;
  }
  if (message.deviceFailed) {
    EndRecording(app, MessageId::RecordingDeviceStopped);
    return;
  }
  app.ports.audio.QueueInput(record.device, record.expected, record.buffers->data[index].data(),
                             AudioBufferBytes);
  record.expected ^= 1;
  if (app.flags & RecordAvailable) EndRecording(app, MessageId::None);
}

void RecordCommand(App& app) {
  app.dialogs.fileDialogName = "Temp.wav";
  // A recording replaces its file from the first byte: an existing one is only replaced when
  // the user says so, and the open recording never.
  platform::FileDialogRequest request =
      SaveRequest("Save recorded WAV file", {WavFileFilter, AllFilesFilter}, "WAV", true);
  request.initialName = app.dialogs.fileDialogName;
  const std::optional<std::string> name = app.ports.desktop.GetSaveFileName(request);
  if (!name) return;
  app.dialogs.fileDialogName = *name;
  if ((app.flags & WavOpen) && SameFile(*name, app.docs.wav.path)) {
    ShowErrorMessage(app.ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return;
  }
  if (ExistsAsOtherThanFile(*name)) {
    ShowErrorMessage(app.ports.desktop, MessageId::NotARegularFile);
    return;
  }
  if (app.flags & WavOpen) WavClose(app.commands, app.session, app.docs, app.config, app.ports, true);
  RecordStart(app.commands, app.docs, app.devices, app.ports, *name);
}

void StopCommand(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports) {
  PlaybackState& play = devices.playback;
  if (commands.flags & Playing) {
    play.playPos = play.playEnd;
    play.stopped = true;
  } else if (play.deviceOpen) {
    EndPlayback(commands, warnings, devices, ports);
  }
  if (commands.flags & Recording) commands.flags |= RecordAvailable;
}

void FollowPlayback(Screen& screen, Devices& devices, std::uint32_t& flags, platform::Platform& ports) {
  if (!(flags & Playing)) return;
  const auto columns = static_cast<std::uint32_t>(std::max(ViewWidth(screen.windows, WavView) - 1, 1));
  if (screen.windows.wavView.samplesPerPixel != screen.docs.wav.sampleCount / columns)
    WavViewFitWholeFile(screen.windows, screen.docs, ports);
  const std::uint32_t position = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      std::uint64_t{devices.playback.positionBase} + devices.playback.playPos, screen.docs.wav.sampleCount));
  screen.docs.wav.cursor = position;
  screen.windows.geometry[WavView].cursorX =
      static_cast<std::int16_t>(position / std::max(screen.windows.wavView.samplesPerPixel, 1u));
  MoveCursor(screen, WavView);
}

void CloseAudio(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports) {
  if (devices.recording.deviceOpen) {
    if (commands.flags & Recording) {
      FinishRecording(commands.windows, devices, commands.flags, ports);
    } else {
      ports.audio.ResetInput(devices.recording.device);
      ports.audio.CloseInput(devices.recording.device);
      devices.recording.deviceOpen = false;
    }
  }
  if (devices.playback.deviceOpen) EndPlayback(commands, warnings, devices, ports, false);
}

std::string PlayRefusal(const CommandState& state, CommandId) {
  return state.Has(PlayAvailable) ? "" : state.devices.outputProblem;
}

namespace {

std::string RecordRefusal(const CommandState& state, CommandId) {
  return state.Has(RecordAvailable) ? "" : state.devices.inputProblem;
}

constexpr CommandEntry Entries[] = {
    {.id = CommandId::Record,
     .label = "&Record",
     .tooltip = "Record",
     .image = 2,
     .handler = [](App& app, int, CommandId) { RecordCommand(app); },
     .required = RecordAvailable,
     .refusal = RecordRefusal},
    // WAV File / Play: from the cursor to the end.
    {.id = CommandId::Play,
     .label = "&Play",
     .key = Accelerator('P'),
     .tooltip = "Play",
     .image = 0,
     .handler =
         [](App& app, int, CommandId) {
           PlayFile(app.commands, app.warnings, app.devices, app.ports, app.docs.wav.path,
                    app.docs.wav.cursor, app.docs.wav.sampleCount);
         },
     .required = WavOpen | PlayAvailable,
     .refusal = PlayRefusal},
    {.id = CommandId::Stop,
     .label = "Stop",
     .key = Unnamed(WindowKey(platform::key::Return, In(WavView) | In(SasView) | In(FftView) | In(MftView))),
     .tooltip = "Stop",
     .image = 1,
     .handler = [](App& app, int,
                   CommandId) { StopCommand(app.commands, app.warnings, app.devices, app.ports); },
     .required = StopAvailable},
    // WAV Range / Play.
    {.id = CommandId::PlayRange,
     .label = "&Play",
     .key = Accelerator(platform::key::F1 + 6),
     .handler =
         [](App& app, int, CommandId) {
           PlayFile(app.commands, app.warnings, app.devices, app.ports, app.docs.wav.path,
                    app.docs.wav.rangeLeft, app.docs.wav.rangeRight);
         },
     .required = WavOpen | WavRangeSelected | PlayAvailable,
     .refusal = PlayRefusal},
};

}  // namespace

std::span<const CommandEntry> PlaybackCommandEntries() { return Entries; }

}  // namespace vocara
