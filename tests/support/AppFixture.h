// A started program on the fake platform, with its settings file, its preferences and its
// temporary renders in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "program/commands/WavCommands.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/WavRange.h"
#include "support/Environment.h"
#include "support/FakePlatform.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {

// A file dialog request in one line: "title | description=pattern, ... | extension | initial name |
// the flags set", so a test compares every field at once.
inline std::string Describe(const platform::FileDialogRequest& request) {
  std::string text = request.title + " |";
  for (const platform::FileFilter& filter : request.filters)
    text += (&filter == &request.filters.front() ? " " : ", ") + filter.description + "=" + filter.pattern;
  text += " | " + request.defaultExtension + " | " + request.initialName + " |";
  const std::pair<bool, const char*> flags[] = {{request.fileMustExist, " fileMustExist"},
                                                {request.pathMustExist, " pathMustExist"},
                                                {request.overwritePrompt, " overwritePrompt"},
                                                {request.hideReadOnly, " hideReadOnly"}};
  for (const auto& [set, name] : flags)
    if (set) text += name;
  return text;
}

// A message box's text, icon and buttons, for one comparison.
inline auto Fields(const ShownMessage& m) { return std::tuple(m.text, m.icon, m.buttons); }

class AppTest : public ::testing::Test {
 protected:
  AppTest() : app(fake.ports), sink(app) {
    fake.desktop.programPath = dir.File("vocara");
    fake.desktop.configDirectory = dir.File("config");
    app.config.installedGuide = dir.File("installed/vocara.pdf");  // never a guide installed on this machine
    // Temporary renders go to dir/cache/vocara, never into the cache of whoever runs the tests.
    environment.Set("XDG_CACHE_HOME", dir.File("cache"));
    fake.windows.sink = &sink;
  }
  // A test that works in its folder (Play Corrected's file name is relative) leaves it.
  ~AppTest() override { std::filesystem::current_path(startDirectory); }

  // The texts of the message boxes shown so far, in order.
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : fake.desktop.messages) texts.push_back(message.text);
    return texts;
  }

  static platform::Message Msg(platform::MessageKind kind) { return {.kind = kind}; }
  void Command(int view, int id) {
    sink.Dispatch(view, {.kind = platform::MessageKind::Command, .command = id});
  }
  // A command whose file dialog the user answers with `path`.
  void Command(int view, int id, const std::string& path) {
    fake.desktop.fileAnswers.push_back(path);
    Command(view, id);
  }
  // The last message box shown (the test asserts there is one first).
  const ShownMessage& LastMessage() const { return fake.desktop.messages.back(); }
  // A selection made in a dialog's list, as the user makes it.
  static void Choose(FakeDialog& dialog, platform::DialogProcedure& procedure, int list, int index) {
    dialog.SetSelection(list, index);
    procedure.OnSelectionChange(dialog, list);
  }
  // Pressing OK in the next modal dialog, after typing `texts` into its fields, ticking `boxes` and
  // selecting the (list, index) pairs of `selections`.
  void OkNextDialog(std::vector<std::pair<int, std::string>> texts = {}, std::vector<int> boxes = {},
                    std::vector<std::pair<int, int>> selections = {}) {
    fake.dialogs.script.push_back([=](FakeDialog& dialog, platform::DialogProcedure& procedure) {
      for (const auto& [id, text] : texts) dialog.SetText(id, text);
      for (const int box : boxes) dialog.SetChecked(box, true);
      for (const auto& [list, index] : selections) dialog.SetSelection(list, index);
      procedure.OnCommand(dialog, platform::DialogOk);
    });
  }
  void Mouse(platform::MessageKind kind, int view, platform::Point at, bool ctrl = false,
             bool shift = false) {
    sink.Dispatch(view, {.kind = kind, .pos = at, .ctrl = ctrl, .shift = shift});
  }
  void Drop(int view, std::vector<std::string> files) {
    sink.Dispatch(view, {.kind = platform::MessageKind::FilesDropped, .files = std::move(files)});
  }
  // A restored window resized to a client area of width x height.
  void Resize(int view, int width, int height) {
    fake.windows.views[view].clientSize = {width, height};
    sink.Dispatch(view, {.kind = platform::MessageKind::Size, .sizeKind = platform::SizeKind::Restored});
  }
  void Paint(int view) {
    sink.Dispatch(view, {.kind = platform::MessageKind::Paint, .rect = fake.windows.GetClientRect(view)});
  }
  void Key(int view, int key) { sink.Dispatch(view, {.kind = platform::MessageKind::KeyDown, .key = key}); }

  // A 16-bit recording of `samples` at `rate`, written as `name` and opened as WAV File / Open
  // opens it.
  std::string OpenWav16(const std::vector<std::int32_t>& samples, std::uint32_t rate = 48000,
                        const std::string& name = "take.wav") {
    const std::string path = WriteWav16(dir.File(name), samples, rate);
    WavOpenCommand(app, &path);
    EXPECT_TRUE(app.Has(WavOpen)) << path;
    return path;
  }
  // The WAV range set as a drag or the range commands set it.
  void SelectWavRange(std::uint32_t left, std::uint32_t right) {
    app.docs.wav.rangeLeft = left;
    app.docs.wav.rangeRight = right;
    WavRangeChanged(app.commands, app.docs, app.config);
  }
  // The SAS range as a Ctrl drag sets it, the commands' states brought up to date.
  void SelectSasRange(std::int32_t left, std::int32_t right) {
    app.session.sas.range = {left, right};
    app.flags |= SasRangeSelected;
    UpdateCommandStates(app.commands);
  }
  // The open SAS file's frames as the user would find them after saving: pending edits written back.
  std::vector<SasFrame> Saved() {
    SasWriteBack(app.session);
    return ReadSasFrames(app.session.sas.path);
  }
  bool Enabled(int command) const { return FindCommand(app.commands.table, command)->enabled; }
  // The output device handing `buffer` back (by default to the stream open last).
  void OutputDone(int buffer, platform::AudioHandle device = 0, bool failed = false) {
    sink.Dispatch(WavView, {.kind = platform::MessageKind::WaveOutDone,
                            .buffer = buffer,
                            .device = device != 0 ? device : fake.audio.outputOpens.back().handle,
                            .deviceFailed = failed});
  }

  // The temporary renders' folder of this test, as the program chooses it.
  std::string RenderedFile(const std::string& name) const { return dir.File("cache/vocara/" + name); }

  std::filesystem::path startDirectory = std::filesystem::current_path();
  TempDir dir;
  ScopedEnvironment environment;
  FakePlatform fake;
  App app;
  WindowProcedureSink sink;
};

}  // namespace vocara::test
