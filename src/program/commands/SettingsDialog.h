// The modal General Settings dialog: edits the live GeneralSettings, restores the values loaded
// at start (Default), writes the record into the settings file (Save) and puts back the values
// of the moment it opened (Cancel). Choosing an instrument sets the note range the pitch
// analysis searches; choosing a note by hand makes the instrument "User Defined".
#pragma once

#include <span>

#include "platform/DialogPort.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct Commands;
struct OpenDocuments;
struct Configuration;

// Control ids of the dialog.
namespace settings_control {
inline constexpr int Instrument = 101;   // drop-down list, the instrument table in order
inline constexpr int LowestNote = 102;   // drop-down list, the 88 note names
inline constexpr int HighestNote = 103;  // drop-down list, the 88 note names
inline constexpr int ChunkPeriods = 111;
inline constexpr int WhiteNoise = 112;
inline constexpr int NoiseGain = 113;
inline constexpr int NoiseLength = 114;
inline constexpr int SelectThreshold = 115;
inline constexpr int SilenceThreshold = 116;
inline constexpr int BeatsPerBar = 117;
inline constexpr int BeatUnit = 118;
inline constexpr int Divisions = 119;
inline constexpr int Tempo = 120;
inline constexpr int RulerOrigin = 121;
inline constexpr int OriginBar = 122;
inline constexpr int BaseNoteThreshold = 123;
inline constexpr int TimeCorrection = 131;  // check box
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Default = 3;
inline constexpr int Save = 4;
}  // namespace settings_control

// The layout of the dialog in dialog units.
platform::DialogTemplate SettingsDialogTemplate();

// Writes every control from the live settings. Other windows call it while the dialog is
// open (App::settingsDialog) after they changed the note range.
void FillSettingsControls(Configuration& config, platform::DialogHandle& dialog);

// Reads every control into the live settings: numbers are clamped to their ranges, the noise
// sample length is rounded down to a power of two, and the WAV range is re-evaluated for the
// new noise sample length. A list without a selection leaves its field unchanged.
void ReadSettingsControls(Commands& commands, OpenDocuments& docs, Configuration& config,
                          platform::DialogHandle& dialog);

// Runs the dialog modally, owned by the window `ownerView`.
void RunSettingsDialog(App& app, int ownerView);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SettingsCommandEntries();

}  // namespace vocara
