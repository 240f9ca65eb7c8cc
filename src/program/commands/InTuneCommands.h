// The "in tune" commands of the S&AS Range menu and the correction report in the program:
// Snap to Scale with its dialog, Re-analyse Range with its note range dialog, Repair Octave
// Jumps, each on the SAS range (frames left <= i < right) or on the whole file when no range is
// selected, each run one undo action; and the measurement of a corrected file that the SAS window shows as
// marks. The work itself is in the engine (ScaleSnap, Reanalysis, CorrectionReport); here are the dialogs,
// the gate, busy mode and progress, the one undo action per run and the redraw.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/sas/ScaleSnap.h"
#include "platform/DialogPort.h"
#include "platform/Platform.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct Configuration;
struct Screen;
struct SasSession;

// The Snap to Scale dialog: key, scale, custom pitch classes, reference, pitch centre, drift and
// retune time. OK reads the fields into `params`, clamped (a custom set that does not parse keeps
// the previous one) and returns true; Cancel keeps `params`. Default shows ScaleSnapParams{}.
bool RunSnapDialog(platform::Platform& ports, int ownerView, ScaleSnapParams& params);
platform::DialogTemplate SnapDialogTemplate();

// The Re-analyse Range dialog: the lowest and highest note of the analysis (indices into
// NoteNames), shown with the values given. OK returns true with the two in order.
bool RunReanalyseDialog(platform::Platform& ports, int ownerView, int& lowestNote, int& highestNote);
platform::DialogTemplate ReanalyseDialogTemplate();

// Measures the corrected file `output` (the render of input samples start <= i < end) against the
// open SAS into app.session.correctionReport, with the progress pacer (Esc stops it; the WAV cursor stays
// where the render left it). The marks show only after a whole measurement; a failed or stopped
// one leaves none. Redraws the SAS window.
void MeasureCorrection(Screen& screen, Configuration& config, platform::Platform& ports,
                       const std::string& output, std::uint32_t start, std::uint32_t end);

// Forgets the report and its marks (the SAS closed or replaced).
void ClearCorrectionReport(SasSession& session);

// The commands this module carries out, for the command table. Never usable while busy; Snap
// needs an open SAS that may be written; Re-analyse and Repair also need the recording it was
// built from (WAV and SAS open and matching), since they measure it again. A read-only SAS
// greys all three.
std::span<const CommandEntry> InTuneCommandEntries();

}  // namespace vocara
