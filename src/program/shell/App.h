// The process-wide state of the program: one instance, created by the entry point and
// handed to every operation. It owns the state word, the command table, the settings, the
// per-window records (indexed by ViewId) and the backing images the windows show.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/BuildInfo.h"
#include "base/Settings.h"
#include "base/UserFolders.h"
#include "base/WindowTable.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/processing/NoiseProfile.h"
#include "engine/processing/PulseShape.h"
#include "engine/processing/Spectrum.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"
#include "engine/sas/ScaleSnap.h"
#include "engine/wav/WavDocument.h"
#include "platform/Message.h"
#include "platform/Platform.h"
#include "program/audio/AudioProbe.h"
#include "program/audio/Playback.h"
#include "program/commands/SasUndo.h"
#include "program/commands/SynthesisDialog.h"
#include "program/raster/RasterCanvas.h"
#include "program/shell/CommandTable.h"
#include "program/shell/StatusFields.h"
#include "program/shell/Warning.h"
#include "program/views/FftView.h"
#include "program/views/SasMouse.h"
#include "program/views/SasView.h"
#include "program/views/ViewGeometry.h"
#include "program/views/WavView.h"

namespace vocara {

// Metrics measured once at start and shared by layout and drawing.
struct LayoutMetrics {
  double sx = 1.0;  // logical pixels per inch across / 96
  double sy = 1.0;  // logical pixels per inch down / 96
  int toolbarHeight = 0;
  int statusHeight = 17;
  int rulerHeight = 17;
};

// The openers a file named on the command line or dropped on a window is handed to.
// The WAV and SAS documents install them; unset openers do nothing.
struct DocumentOpeners {
  std::function<void(App&, bool fullReset)> wavClose;
  std::function<void(App&, const std::string* path)> wavOpenCommand;
  std::function<void(App&, const std::string* path)> sasOpenCommand;
  // Writes pending SAS edits back; called when the program ends.
  std::function<void(App&)> sasWriteBack;
  // Closes the open WAV, SAS, recorded and played files at the end of the program.
  std::function<void(App&)> closeFiles;
  // Whether the open SAS was built from the open WAV (same checksum and sample rate); set by
  // the SAS document. Unset counts as no.
  std::function<bool(const App&)> sasMatchesWav;
  // Recomputes the MFT note strengths after the analysis note range changed; installed by the
  // spectrum window. Unset does nothing.
  std::function<void(App&)> refreshNoteSpectrum;
};

struct App {
  explicit App(platform::Platform& ports);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  bool Has(std::uint32_t bits) const { return (flags & bits) == bits; }

  platform::Platform& ports;
  std::uint32_t flags = 0;
  CommandTable commands;

  GeneralSettings settings;        // the live copy every part reads
  GeneralSettings loadedSettings;  // what the settings file held at start (Default restores it)
  WindowLayout layout;
  ProgramFiles files;
  // Where this build's installation puts the user guide, the last place Help Topics looks
  // (FindUserGuide); the tests point it into their own folder.
  std::string installedGuide = InstalledGuidePath();

  LayoutMetrics metrics;
  StatusFields status;
  std::array<platform::Rect, ViewCount> clientRect{};
  std::array<ViewGeometry, ViewCount> geometry{};
  int upperPaneHeight = 0;
  int lowerPaneHeight = 0;
  // The left-button drag in progress in any window (SasMouse).
  MouseDrag mouse;
  std::array<RasterImage, ViewCount> images;

  // How each window is shown again when busy mode ends.
  std::array<platform::ShowCommand, ViewCount> busyShow{};
  WarningSwitch warnings;
  int editMode = 0;  // 0 Normal .. 5 Erase
  AudioDeviceChoice audioChoice;
  // The choice of the last successful OK in the Audio Device Settings dialog (the defaults
  // until then); Cancel returns to it.
  AudioDeviceChoice audioChoiceSaved;
  DocumentOpeners openers;
  // The open General Settings dialog, so that keys and mouse in other windows can refresh its
  // note lists (FillSettingsControls); null while it is closed.
  platform::DialogHandle* settingsDialog = nullptr;
  // Whether this read-only SAS already said so: the message comes once per document.
  bool sasReadOnlyShown = false;
  SasUndoJournal undo;
  // The values of the "Change SAS range" dialog, kept for the run of the program.
  SasRangeParams sasRangeParams;
  // The values of the Snap to Scale dialog, kept for the run of the program.
  ScaleSnapParams snapParams;
  // How in tune the last Correct or Play Corrected came out, note by note; the SAS window marks
  // the achieved pitches while correctionReportShown is set (a whole measurement of the open
  // SAS). Cleared with the SAS.
  CorrectionReport correctionReport;
  bool correctionReportShown = false;
  // The take's notes as sung over the page shown (ListNotes), marked in the pitch pane while
  // showNotes is set and no correction report is shown. Every page read and the SAS's close set
  // pageNotesStale; the next paint of the pitch pane lists them again, so scrolling through
  // many pages between two paints lists only the last.
  CorrectionReport pageNotes;
  bool pageNotesStale = true;
  // View / Show Notes, for the run of the program; and whether its menu item is enabled.
  bool showNotes = true;
  bool showNotesEnabled = false;
  // Whether the menu shows Snap to Scale, Re-analyse Range and Repair Octave Jumps enabled.
  std::array<bool, 3> inTuneEnabled{};
  // Whether the menu shows Detect Note Range enabled.
  bool detectNoteRangeEnabled = false;
  // The Wave Synthesis dialog and its parameters, kept for the run of the program.
  SynthesisSession synthesis;

  WavDocument wav;
  SasDocument sas;
  view::WavView wavView;
  view::SasView sasView;
  view::FftView fftView;
  NoiseProfile noise;
  // The raw sums of every Shape+ since the last export (Pulse Shape menu).
  PulseShape pulseShape;
  // The FFT window's spectrum at the WAV cursor, and the MFT window's note strengths with the
  // analysis window they were measured on. The note window grows only to the largest length
  // the open file's rate needs (the lowest note), so a later refresh at the cursor or with
  // another note range allocates nothing.
  SpectrumState spectrum;
  NoteReadout notes;
  std::vector<double> noteWindow;
  // The name buffer of the one file dialog record all file dialogs share (at most 259
  // characters): a dialog that does not clear it starts with the last name chosen.
  std::string fileDialogName;
  // The folder of the temporary renders (TemporaryRenderPath), chosen at the first of them; a
  // private temporary folder is removed with the App.
  RenderFolder renderFolder;
  // The corrected temporary file Play Corrected renders and plays; set by its first render.
  std::string correctedPath;
  // The first sample of the range that file was rendered from.
  std::uint32_t correctedStart = 0;
  PlaybackState playback;
  RecordingState recording;
  int lostBuffers = 0;  // buffers that came back out of order since the last start
};

// Where the temporary render `name` goes: in app.renderFolder, which is chosen (ChooseRenderFolder)
// at the first call and again when it has gone. Nothing when no folder could be had.
std::optional<std::string> TemporaryRenderPath(App& app, const char* name);

// The window procedure as the adapters call it.
class WindowProcedureSink final : public platform::MessageSink {
 public:
  explicit WindowProcedureSink(App& app) : app_(app) {}
  std::intptr_t Dispatch(int view, const platform::Message& message) override;

 private:
  App& app_;
};

}  // namespace vocara
