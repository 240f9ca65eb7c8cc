// The Wave Synthesis dialog and the generation it starts.
//
// The dialog is modeless: it stays beside the windows, and its buttons can arrive while a long
// operation pumps messages. Generating closes the open WAV file, which such an operation may be
// reading, so the buttons do nothing while the program is busy.

#include "program/commands/SynthesisDialog.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "base/MessageId.h"
#include "program/commands/WavCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"

namespace vocara {
namespace {

namespace id = synthesis_control;
namespace s = synthesis;
using platform::ControlKind;
using platform::DialogHandle;

// Layout, in dialog units.
constexpr int Margin = 7;
constexpr int FieldWidth = 40;
constexpr int FieldHeight = 14;
constexpr int RowPitch = 15;
constexpr int ColumnPitch = FieldWidth + 6;
constexpr int TitleHeight = 16;  // two-line column titles
constexpr int GroupHead = 10;    // from a group box's top to its column titles
constexpr int GroupFoot = 6;     // below a group box's last row
constexpr int GroupGap = 5;      // between two group boxes
constexpr int ButtonWidth = 50;
constexpr int ButtonHeight = 14;

// The column titles read "Frequency/(Hz)" and so on; a zero-width space after the slash lets
// the title wrap there, over a field that is narrower than the whole title.
#define VOCARA_WRAP_AFTER_SLASH "/\u200B"
constexpr const char* FrequencyTitle = "Frequency" VOCARA_WRAP_AFTER_SLASH "(Hz)";
constexpr const char* AmplitudeTitle = "Ampl" VOCARA_WRAP_AFTER_SLASH "(arb.u)";
constexpr const char* PhaseTitle = "Phase" VOCARA_WRAP_AFTER_SLASH "(deg)";
constexpr const char* DutyTitle = "Duty" VOCARA_WRAP_AFTER_SLASH "(%)";
constexpr const char* DurationTitle = "Duration" VOCARA_WRAP_AFTER_SLASH "(s)";
#undef VOCARA_WRAP_AFTER_SLASH

int Field(int index) { return id::FirstField + index; }

struct Builder {
  std::vector<platform::ControlTemplate> controls;

  void Add(int controlId, ControlKind kind, const char* text, int x, int y, int width, int height) {
    controls.push_back({controlId, kind, text, x, y, width, height});
  }
  void Titles(std::initializer_list<const char*> titles, int x, int y) {
    for (const char* title : titles) {
      Add(-1, ControlKind::CentredLabel, title, x, y, FieldWidth, TitleHeight);
      x += ColumnPitch;
    }
  }
  void Row(std::initializer_list<int> indices, int x, int y) {
    for (const int index : indices) {
      Add(Field(index), ControlKind::Edit, "", x, y, FieldWidth, FieldHeight);
      x += ColumnPitch;
    }
  }
  // A group with column titles over `rows` rows of fields; returns where the next group starts.
  int Group(const char* title, int x, int y, int columns, int rows) {
    const int height = GroupHead + TitleHeight + 2 + (rows - 1) * RowPitch + FieldHeight + GroupFoot;
    Add(-1, ControlKind::GroupBox, title, x, y, columns * ColumnPitch - 6 + 2 * Margin, height);
    return y + height + GroupGap;
  }
};

// Writes the temporary file into the folder of temporary renders; returns its path, or nothing
// after showing why it failed.
std::optional<std::string> WriteTemporaryWave(OpenDocuments& docs, DialogMemory& dialogs,
                                              platform::Platform& ports) {
  const std::optional<std::string> path = TemporaryRenderPath(docs, GeneratedTempName);
  const MessageId written =
      path ? GenerateWaveFile(dialogs.synthesis.parameters, *path) : MessageId::InvalidFileHandle;
  if (written != MessageId::None) {
    ShowErrorMessage(ports.desktop, written);
    return std::nullopt;
  }
  return path;
}

platform::FileDialogRequest SaveGeneratedRequest() {
  return SaveRequest("Save Generated Wave", {WavFileFilter}, "WAV", true);
}

void WriteFields(const SynthesisParameters& parameters, DialogHandle& dialog) {
  for (int i = 0; i < s::ParameterCount; ++i) WriteNumberField(dialog, Field(i), parameters[i], 2);
}

void ReadFields(SynthesisParameters& parameters, const DialogHandle& dialog) {
  for (int i = 0; i < s::ParameterCount; ++i) {
    const ParameterRange range = SynthesisRange(i);
    parameters[i] = ReadNumberField(dialog, Field(i), range.min, range.max);
  }
}

class SynthesisProcedure final : public platform::DialogProcedure {
 public:
  explicit SynthesisProcedure(App& app) : app_(app) {}

  void OnInit(DialogHandle& dialog) override {
    app_.dialogs.synthesis.dialog = &dialog;
    WriteFields(app_.dialogs.synthesis.parameters, dialog);
    app_.flags |= SynthesisDialogOpen;
  }

  void OnCommand(DialogHandle& dialog, int command) override {
    if (command == platform::DialogCancel) {
      Forget();
      dialog.End(0);
      return;
    }
    if (command != id::Generate && command != id::SaveAs) return;
    if (app_.flags & Busy) return;
    if (command == id::Generate)
      app_.flags |= GenerateToTemp;
    else
      app_.flags &= ~static_cast<std::uint32_t>(GenerateToTemp);
    SynthesisParameters& parameters = app_.dialogs.synthesis.parameters;
    ReadFields(parameters, dialog);
    NormaliseAmplitudes(parameters);
    WriteFields(parameters, dialog);
    GenerateWave(app_);
  }

  void OnDestroyed() override { Forget(); }

 private:
  void Forget() {
    app_.flags &= ~static_cast<std::uint32_t>(SynthesisDialogOpen);
    app_.dialogs.synthesis.dialog = nullptr;
  }

  App& app_;
};

}  // namespace

platform::DialogTemplate SynthesisDialogTemplate() {
  Builder b;
  const int titleDrop = GroupHead;
  const int rowDrop = GroupHead + TitleHeight + 2;

  // Left: the ten sine rows.
  const int leftX = Margin;
  const int leftFields = leftX + Margin;
  b.Titles({FrequencyTitle, AmplitudeTitle, PhaseTitle}, leftFields, Margin + titleDrop);
  for (int k = 0; k < s::SineCount; ++k)
    b.Row({s::SineFrequency + k, s::SineAmplitude + k, s::SinePhase + k}, leftFields,
          Margin + rowDrop + k * RowPitch);
  const int leftBottom = b.Group("Sine Wave", leftX, Margin, 3, s::SineCount) - GroupGap;

  // Right: square, triangle and noise, then the duration and the buttons.
  const int rightX = leftX + 3 * ColumnPitch - 6 + 2 * Margin + GroupGap;
  const int rightFields = rightX + Margin;
  int y = Margin;
  b.Titles({FrequencyTitle, AmplitudeTitle, PhaseTitle, DutyTitle}, rightFields, y + titleDrop);
  b.Row({s::SquareFrequency, s::SquareAmplitude, s::SquarePhase, s::SquareDuty}, rightFields, y + rowDrop);
  y = b.Group("Square Wave", rightX, y, 4, 1);
  b.Titles({FrequencyTitle, AmplitudeTitle, PhaseTitle, DutyTitle}, rightFields, y + titleDrop);
  b.Row({s::TriangleFrequency, s::TriangleAmplitude, s::TrianglePhase, s::TriangleDuty}, rightFields,
        y + rowDrop);
  y = b.Group("Triangular Wave", rightX, y, 4, 1);
  // The noise amplitude sits in the amplitude column of the groups above it.
  b.Titles({AmplitudeTitle}, rightFields + ColumnPitch, y + titleDrop);
  b.Row({s::NoiseAmplitude}, rightFields + ColumnPitch, y + rowDrop);
  const int noiseBottom = b.Group("White Noise", rightX, y, 4, 1) - GroupGap;

  const int rightWidth = 4 * ColumnPitch - 6 + 2 * Margin;
  const int bottom = std::max(leftBottom, noiseBottom + GroupGap + TitleHeight + 2 + FieldHeight);
  const int durationY = bottom - FieldHeight;
  b.Add(-1, ControlKind::CentredLabel, DurationTitle, rightFields, durationY - TitleHeight - 2, FieldWidth,
        TitleHeight);
  b.Row({s::Duration}, rightFields, durationY);
  int x = rightX + rightWidth - 2 * ButtonWidth - 4;
  b.Add(id::Generate, ControlKind::DefaultButton, "Generate", x, durationY, ButtonWidth, ButtonHeight);
  x += ButtonWidth + 4;
  b.Add(id::SaveAs, ControlKind::Button, "Save As...", x, durationY, ButtonWidth, ButtonHeight);

  platform::DialogTemplate dialog;
  dialog.title = "Wave Synthesis";
  dialog.width = rightX + rightWidth + Margin;
  dialog.height = bottom + Margin;
  dialog.controls = std::move(b.controls);
  return dialog;
}

void OpenSynthesisDialog(App& app, int ownerView) {
  SynthesisSession& session = app.dialogs.synthesis;
  if ((app.flags & SynthesisDialogOpen) && session.dialog != nullptr) {
    session.dialog->BringToTop();
    return;
  }
  if (!session.procedure) session.procedure = std::make_unique<SynthesisProcedure>(app);
  platform::DialogHandle* dialog =
      app.ports.dialogs.CreateModeless(ownerView, SynthesisDialogTemplate(), *session.procedure);
  if (dialog == nullptr) {
    app.flags &= ~static_cast<std::uint32_t>(SynthesisDialogOpen);
    session.dialog = nullptr;
  }
}

void GenerateWave(App& app) {
  std::optional<std::string> path;
  if (!(app.flags & GenerateToTemp)) {
    app.dialogs.fileDialogName.clear();
    path = app.ports.desktop.GetSaveFileName(SaveGeneratedRequest());
    if (!path) return;
    app.dialogs.fileDialogName = *path;
  }
  // The open file may be the one about to be replaced.
  WavClose(app.commands, app.session, app.docs, app.config, app.ports, false);
  if (app.flags & GenerateToTemp) {
    path = WriteTemporaryWave(app.docs, app.dialogs, app.ports);
    if (!path) return;
  } else if (const MessageId written = GenerateWaveFile(app.dialogs.synthesis.parameters, *path);
             written != MessageId::None) {
    ShowErrorMessage(app.ports.desktop, written);
    return;
  }
  WavOpenCommand(app, &*path);
}

namespace {

constexpr CommandEntry Entries[] = {
    // WAV File / Generate: the modeless Wave Synthesis dialog, or it to the top.
    {.id = CommandId::Generate,
     .label = "&Generate",
     .tooltip = "Generate",
     .image = 3,
     .handler = [](App& app, int view, CommandId) { OpenSynthesisDialog(app, view); },
     .required = Ready},
};

}  // namespace

std::span<const CommandEntry> SynthesisCommandEntries() { return Entries; }

}  // namespace vocara
