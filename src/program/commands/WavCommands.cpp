#include "program/commands/WavCommands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "engine/wav/Import.h"
#include "engine/wav/RangeExport.h"
#include "program/commands/ProgressPacer.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/WavRange.h"
#include "program/views/SpectrumViews.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

using platform::FileDialogRequest;
using platform::FileFilter;

// The longest name the program's path buffers hold.
constexpr std::size_t MaxPathLength = 259;

// A save dialog that starts with an empty name; the chosen name stays in the shared buffer.
std::optional<std::string> AskSaveName(DialogMemory& dialogs, platform::Platform& ports,
                                       const FileDialogRequest& request) {
  dialogs.fileDialogName.clear();
  std::optional<std::string> name = ports.desktop.GetSaveFileName(request);
  if (name) dialogs.fileDialogName = *name;
  return name;
}

// The view follows a new file from its start when the old position lies beyond it.
void ResetPositions(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  docs.wav.cursor = 0;
  docs.wav.rangeLeft = 0;
  docs.wav.rangeRight = 0;
  docs.noise.length = 0;
  windows.wavView.firstSample = 0;
  ViewGeometry& geometry = windows.geometry[WavView];
  geometry.cursorX = 0;
  geometry.drawnCursorX = 0;
  geometry.selLeftX = 0;
  geometry.selRightX = 0;
  geometry.dataWidth = 0;
  WavViewResetScrollBars(windows, ports);
}

// The name the save dialog offers for the mono copy of `input`: beside it, its stem and
// ".wav", or its stem and "-mono.wav" when that names the input itself.
std::string MonoCopyName(const std::string& input) {
  const std::filesystem::path path(input);
  std::filesystem::path copy = path;
  copy.replace_extension(".wav");
  if (copy == path || SameFile(copy.string(), input))
    copy = path.parent_path() / (path.stem().string() + "-mono.wav");
  return copy.string();
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

// The question for a recording cut short (a recorder that crashed, a partial copy): the
// opener's or the import's refusal, what is wrong and how much a copy would keep.
bool AskSaveCutShortCopy(platform::DesktopPort& desktop, std::string_view refusal, const ImportCut& cut) {
  const std::string question = std::string(refusal) + "\nThe file ends before its data does: only " +
                               Seconds(cut.KeptSeconds()) + " s of " + Seconds(cut.AnnouncedSeconds()) +
                               " s are there.\nSave what is there as a mono WAV copy?";
  return desktop.ShowMessage(question, platform::MessageIcon::Question, platform::MessageButtons::YesNo,
                             platform::MessageAnswer::Yes) == platform::MessageAnswer::Yes;
}

// After Yes to the question: the save dialog, then the import in busy mode with Esc as its
// stop. The copy's name when it was written whole; nothing after a cancelled dialog, Esc or a
// failure (shown). A file whose end only the reading finds (a FLAC or Ogg stream cut short) is
// then offered as one cut short, into the copy already named.
std::optional<std::string> ImportMonoCopy(Screen& screen, Commands& commands, DialogMemory& dialogs,
                                          platform::Platform& ports, const std::string& input,
                                          ImportOptions options) {
  platform::DesktopPort& desktop = ports.desktop;
  // Asking before replacing: the offered name may be another recording of the user's.
  FileDialogRequest request = SaveRequest("Save mono WAV copy", {WavFileFilter, AllFilesFilter}, "WAV", true);
  request.initialName = MonoCopyName(input);
  const std::optional<std::string> copy = desktop.GetSaveFileName(request);
  if (!copy) return std::nullopt;
  dialogs.fileDialogName = *copy;
  if (!screen.session.sas.path.empty() && SameFile(*copy, screen.session.sas.path)) {
    ShowErrorMessage(desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return std::nullopt;
  }

  // Opening happens outside busy mode except when a busy command opens what it made; that
  // command ends busy mode itself.
  const auto import = [&] {
    const bool enterBusy = !HasAll(commands.flags, Busy);
    if (enterBusy) SetBusy(commands, true);
    commands.flags &= ~static_cast<std::uint32_t>(AbortRequested);
    ImportResult result;
    {
      // No recording is open, so the cursor line has nothing to show.
      ProgressPacer pacer(screen, ports.pump, false);
      result = ImportToWav(input, *copy, options, pacer.Callback());
    }
    if (enterBusy) SetBusy(commands, false);
    return result;
  };
  ImportResult imported = import();
  if (imported.result == LongOperationResult::Failed && imported.cut && !options.salvage) {
    if (!AskSaveCutShortCopy(desktop, ImportFailureText(imported), *imported.cut)) return std::nullopt;
    options.salvage = true;
    imported = import();
  }
  if (imported.result == LongOperationResult::Failed) ShowErrorText(desktop, ImportFailureText(imported));
  if (imported.result != LongOperationResult::Done) return std::nullopt;
  return copy;
}

// WavOpenFile; a copy the import made is opened without offering to import it again.
void OpenFile(App& app, const std::string& name, bool offerImport) {
  platform::DesktopPort& desktop = app.ports.desktop;
  // A longer name cannot be held, and a shortened one would name another file.
  const WavOpenResult opened = name.size() > MaxPathLength ? WavOpenResult{MessageId::InvalidFileHandle}
                                                           : WavOpenDocument(app.docs.wav, name);
  if (opened.message != MessageId::None) {
    // A file that did not even open changes nothing; a refused one was opened and closed.
    if (opened.message != MessageId::InvalidFileHandle) ClearBits(app.flags, WavOpen);
    // The opener's rules stay as they are; a file it refuses for its contents that libsndfile
    // reads can become a copy it accepts, and one cut short a copy of what it still holds.
    const bool convertible = offerImport && opened.message != MessageId::InvalidFileHandle;
    const bool readable = convertible && ImportCanRead(name);
    const std::optional<ImportCut> cut =
        convertible && !readable ? ImportCutShort(name) : std::optional<ImportCut>();
    if (!readable && !cut) {
      ShowErrorMessage(desktop, opened.message);
      return;
    }
    ImportOptions options;
    options.salvage = cut.has_value();
    const std::optional<ImportSource> source = cut ? std::nullopt : ImportDescribe(name);
    if (cut ? !AskSaveCutShortCopy(desktop, MessageText(opened.message), *cut)
            : !AskConvertToMonoCopy(desktop, opened.message, source ? source->summary : std::string()))
      return;
    if (const std::optional<std::string> copy =
            ImportMonoCopy(app.screen, app.commands, app.dialogs, app.ports, name, options))
      OpenFile(app, *copy, false);
    return;
  }
  if (app.docs.wav.cursor > app.docs.wav.sampleCount) ResetPositions(app.windows, app.docs, app.ports);
  app.windows.wavView.envelopeMin = opened.dataMin;
  app.windows.wavView.envelopeMax = opened.dataMax;
  app.flags |= WavOpen;

  if (app.flags & SasOpen) {
    if (app.session.sas.file.IsOpen() && SasBuiltFromWav(app.session.sas.header, app.docs.wav)) {
      app.flags |= WavSasMatch;
    } else if (!AskKeepUnfittingFile(desktop)) {
      app.docs.wav.file.Close();
      ClearBits(app.flags, WavOpen);
    }
  }
}

}  // namespace

platform::FileFilter SoundFilesFilter() {
  // The label names the endings while it stays short enough for the dialog's list; the
  // pattern holds them all.
  constexpr std::size_t LabelLength = 90;
  std::string label = "Audio files (";
  std::string pattern;
  for (const std::string& ending : ImportFileExtensions()) {
    const std::string glob = "*." + ending;
    pattern += (pattern.empty() ? "" : ";") + glob;
    if (label.size() + glob.size() < LabelLength) {
      label += (label.back() == '(' ? "" : " ") + glob;
    } else if (!label.ends_with("...")) {
      label += " ...";
    }
  }
  return {label + ")", pattern};
}

void WavOpenFile(App& app, const std::string& name) { OpenFile(app, name, true); }

void WavOpenCommand(App& app, const std::string* path) {
  FileDialogRequest request;
  request.title = "Open WAV File";
  // Every kind of file the opener takes or offers to convert, then the opener's own kind.
  request.filters = {SoundFilesFilter(), WavFileFilter, AllFilesFilter};
  request.defaultExtension = "WAV";
  const std::optional<std::string> chosen =
      ChooseFileToOpen(app.dialogs, app.ports, path, std::move(request));
  if (!chosen) return;
  const std::string& name = *chosen;

  WavOpenFile(app, name);
  WavRangeChanged(app.commands, app.docs, app.config);
  platform::WindowPort& port = app.ports.windows;
  if (app.flags & WavOpen) {
    port.SetTitle(WavView, app.docs.wav.path);
    port.SetTitle(FftView, app.docs.wav.path);
    port.SetTitle(MftView, app.docs.wav.path);
    WavViewFitWholeFile(app.windows, app.docs, app.ports);
    // The cursor keeps its sample: its column moves to it at the new scale (the last column when
    // the fitted view ends before it), so the status strip and the spectra read the same sample.
    ViewGeometry& geometry = app.windows.geometry[WavView];
    const std::uint32_t column =
        (app.docs.wav.cursor - std::min(app.windows.wavView.firstSample, app.docs.wav.cursor)) /
        std::max(app.windows.wavView.samplesPerPixel, 1u);
    geometry.cursorX = static_cast<int>(
        std::min(column, static_cast<std::uint32_t>(std::max(ViewWidth(app.windows, WavView) - 1, 0))));
    geometry.drawnCursorX = geometry.cursorX;
  }
  UpdateCommandStates(app.commands);
  SpectraFollowRecording(app.commands, app.session, app.docs, app.config, app.ports);
}

void WavClose(Commands& commands, SasSession& session, OpenDocuments& docs, Configuration& config,
              platform::Platform& ports, bool fullReset) {
  WavDocument& wav = docs.wav;
  platform::WindowPort& port = ports.windows;
  wav.file.Close();
  ClearBits(commands.flags, WavCloseClears);
  wav.path.clear();
  port.SetTitle(WavView, "WAV");
  UpdateCommandStates(commands);
  SpectraFollowRecording(commands, session, docs, config, ports);
  if (!fullReset) return;

  view::WavView& wavView = commands.windows.wavView;
  wavView.envelopeMin = 0.0;
  wavView.envelopeMax = 0.0;
  wav.amplitudeScale = 1.0;
  wavView.firstSample = 0;
  wav.sampleCount = 0;
  wav.rangeRms = 0.0;
  wavView.envelope[0] = {0, 0};
  wavView.samplesPerPixel = 1;
  wav.rangeLeft = 0;
  wav.rangeRight = 0;
  docs.noise.length = 0;
  ViewGeometry& geometry = commands.windows.geometry[WavView];
  geometry.cursorX = 0;
  geometry.drawnCursorX = 0;
  geometry.selLeftX = 0;
  geometry.selRightX = 0;
  WavViewResetScrollBars(commands.windows, ports);
  port.Show(FftView, platform::ShowCommand::Hide);
  port.Show(MftView, platform::ShowCommand::Hide);
}

void SaveRangeAsWav(OpenDocuments& docs, DialogMemory& dialogs, platform::Platform& ports) {
  const std::optional<std::string> name =
      AskSaveName(dialogs, ports, SaveRequest("Save range", {WavFileFilter, AllFilesFilter}, "WAV", false));
  if (!name) return;
  ShowErrorMessage(ports.desktop, WriteRangeAsWav(docs.wav, *name, docs.wav.rangeLeft, docs.wav.rangeRight));
}

void ExportRangeAsText(OpenDocuments& docs, DialogMemory& dialogs, platform::Platform& ports) {
  const std::optional<std::string> name = AskSaveName(
      dialogs, ports, SaveRequest("Save as ASCII file", {TextFileFilter, AllFilesFilter}, "txt", false));
  if (!name) return;
  ShowErrorMessage(ports.desktop, WriteRangeAsText(docs.wav, *name, docs.wav.rangeLeft, docs.wav.rangeRight));
}

namespace {

void SetRangeLeft(Commands& commands, OpenDocuments& docs, Configuration& config, platform::Platform& ports) {
  // The right end moves one column on even when it lay beyond.
  WavDocument& wav = docs.wav;
  const std::uint64_t right =
      std::uint64_t{std::max(wav.rangeRight, wav.cursor)} + commands.windows.wavView.samplesPerPixel;
  wav.rangeLeft = wav.cursor;
  wav.rangeRight = static_cast<std::uint32_t>(std::min<std::uint64_t>(right, wav.sampleCount));
  WavRangeChanged(commands, docs, config);
  ports.windows.Invalidate(WavView, nullptr);
}

void SetRangeRight(Commands& commands, OpenDocuments& docs, Configuration& config,
                   platform::Platform& ports) {
  // One column from the cursor; the left end follows a cursor before it.
  WavDocument& wav = docs.wav;
  if (wav.cursor < wav.rangeLeft) wav.rangeLeft = wav.cursor;
  const std::uint64_t right = std::uint64_t{wav.cursor} + commands.windows.wavView.samplesPerPixel;
  wav.rangeRight = static_cast<std::uint32_t>(std::min<std::uint64_t>(right, wav.sampleCount));
  WavRangeChanged(commands, docs, config);
  ports.windows.Invalidate(WavView, nullptr);
}

constexpr CommandEntry Entries[] = {
    // WAV File / Open: the current file is closed even when the dialog is then cancelled.
    {.id = CommandId::OpenWav,
     .label = "&Open",
     .handler =
         [](App& app, int, CommandId) {
           WavClose(app.commands, app.session, app.docs, app.config, app.ports, false);
           app.ports.windows.Invalidate(WavView, nullptr);
           WavOpenCommand(app, nullptr);
         },
     .required = Ready},
    {.id = CommandId::CloseWav,
     .label = "C&lose",
     .handler =
         [](App& app, int, CommandId) {
           WavClose(app.commands, app.session, app.docs, app.config, app.ports, true);
           app.ports.windows.Invalidate(WavView, nullptr);
           UpdateCommandStates(app.commands);
         },
     .required = WavOpen},
    {.id = CommandId::SetRangeLeft,
     .label = "Set &Left",
     .key = WindowKey('L', In(WavView)),
     .handler = [](App& app, int, CommandId) { SetRangeLeft(app.commands, app.docs, app.config, app.ports); },
     .required = WavOpen},
    {.id = CommandId::SetRangeRight,
     .label = "Set &Right",
     .key = WindowKey('R', In(WavView)),
     .handler = [](App& app, int,
                   CommandId) { SetRangeRight(app.commands, app.docs, app.config, app.ports); },
     .required = WavOpen},
    {.id = CommandId::SaveRange,
     .label = "Save As",
     .handler = [](App& app, int, CommandId) { SaveRangeAsWav(app.docs, app.dialogs, app.ports); },
     .required = WavOpen | WavRangeSelected},
    {.id = CommandId::ExportRangeAsText,
     .label = "Export As Text",
     .handler = [](App& app, int, CommandId) { ExportRangeAsText(app.docs, app.dialogs, app.ports); },
     .required = WavOpen | WavRangeSelected},
};

}  // namespace

std::span<const CommandEntry> WavCommandEntries() { return Entries; }

}  // namespace vocara
