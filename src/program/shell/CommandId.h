// The program's commands by name. The values are the ids the menus, toolbars and accelerators
// carry (100 .. 186, and ours above them); the command table, the gates, the layout of menus and
// toolbars and every handler speak of commands through these names only. A new command takes
// the next value before End.
#pragma once

namespace vocara {

enum class CommandId : int {
  OpenWav = 100,
  Record = 101,
  Generate = 102,
  CloseWav = 103,
  RemoveNoise = 104,
  Correct = 105,
  Play = 106,
  Stop = 107,
  SyncToSas = 108,
  Exit = 109,
  SetRangeLeft = 110,
  SetRangeRight = 111,
  SaveRange = 112,
  ExportRangeAsText = 113,
  NoiseSample = 114,     // Noise=
  AddNoiseSample = 115,  // Noise+
  PlayRange = 116,
  PlayCorrected = 117,
  AddPulseShape = 118,
  ExportPulseShape = 119,
  BuildSas = 120,
  OpenSas = 121,
  CloseSas = 122,
  SaveSasAs = 123,
  Silence = 124,
  GlobalClear = 125,
  SetRulerOrigin = 126,
  SyncToWav = 127,
  // The edit modes, in the order of their mode numbers (id - NormalMode).
  NormalMode = 128,
  SetTimeLinkMode = 129,
  DeleteTimeLinkMode = 130,
  InRangeMode = 131,
  FreehandMode = 132,
  EraseMode = 133,
  SasRangeFind = 134,
  SasRangeSetLeft = 135,
  SasRangeSetRight = 136,
  SasRangeSelectAll = 137,
  TimeCorrectDisable = 138,
  TimeCorrectEnable = 139,
  GlobalEdit = 140,
  TimeScaleOnePerFrame = 141,
  TimeScaleFitAll = 142,
  TimeScaleFitSelection = 143,
  TimeSqueeze = 144,
  TimeStretch = 145,
  TimeScaleOfSas = 146,
  ValueScaleLargest = 147,
  ValueFit = 148,
  ValueSqueeze = 149,
  ValueStretch = 150,
  PitchStretch = 151,
  PitchSqueeze = 152,
  ShowAll = 153,
  GeneralSettings = 154,
  AudioDeviceSettings = 155,
  ShowSas = 156,
  // The eleven FFT sizes, 1024 .. 1048576 samples.
  FftSize1k = 157,
  FftSize2k = 158,
  FftSize4k = 159,
  FftSize8k = 160,
  FftSize16k = 161,
  FftSize32k = 162,
  FftSize64k = 163,
  FftSize128k = 164,
  FftSize256k = 165,
  FftSize512k = 166,
  FftSize1M = 167,
  ShowMft = 168,
  // The eight window functions, Square .. Blackman.
  FftWindow1 = 169,
  FftWindow2 = 170,
  FftWindow3 = 171,
  FftWindow4 = 172,
  FftWindow5 = 173,
  FftWindow6 = 174,
  FftWindow7 = 175,
  FftWindow8 = 176,
  FrequencyZoomIn = 177,
  FrequencyZoomOut = 178,
  FrequencyScaleOne = 179,
  SpectrumRefresh = 180,
  ShowFft = 181,
  FindAndSavePeaks = 182,
  MarkPeak = 183,    // T in the FFT window
  UnmarkPeak = 184,  // U in the FFT window
  HelpTopics = 185,
  About = 186,
  Undo = 187,
  Redo = 188,
  SnapToScale = 189,
  Reanalyse = 190,
  RepairOctaveJumps = 191,
  DetectNoteRange = 192,
  ShowNotes = 193,
  // Note mode (F6) and what it does to the notes chosen in it.
  NoteMode = 194,
  SelectAllNotes = 195,    // Ctrl+A
  NoteSemitoneUp = 196,    // Page Up in the SAS window
  NoteSemitoneDown = 197,  // Page Down in the SAS window
  NoteCentUp = 198,        // Ctrl+Page Up
  NoteCentDown = 199,      // Ctrl+Page Down
  ShapeNotes = 200,
  // The take's notes out as MIDI, and a guide melody in.
  ExportNotesMidi = 201,
  FollowGuide = 202,
  // WAV File / Keep Formants: a check item, the choice kept in the preferences file.
  KeepFormants = 203,
  // WAV File / Formant Shift...: the voice's envelope moved at the same notes, kept in the
  // preferences file beside Keep Formants.
  FormantShift = 204,
  // Del in Note mode: the chosen notes' target pitches back to the pitch sung.
  DeleteNotes = 205,
  End,  // one past the last command
};

constexpr int Id(CommandId command) { return static_cast<int>(command); }

}  // namespace vocara
