// A started program on the fake platform, with its settings file in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/shell/App.h"
#include "support/Environment.h"
#include "support/FakePlatform.h"
#include "support/TempDir.h"

namespace vocara::test {

class AppTest : public ::testing::Test {
 protected:
  AppTest() : app(fake.ports), sink(app) {
    fake.desktop.programPath = dir.File("vocara");
    fake.desktop.configDirectory = dir.File("config");
    app.installedGuide = dir.File("installed/vocara.pdf");  // never a guide installed on this machine
    // Temporary renders go to dir/cache/vocara, never into the cache of whoever runs the tests.
    environment.Set("XDG_CACHE_HOME", dir.File("cache"));
    fake.windows.sink = &sink;
  }

  // What the document openers were asked to do, in order.
  void RecordOpeners() {
    app.openers.wavClose = [this](App&, bool full) { calls.push_back(full ? "wavClose(full)" : "wavClose"); };
    app.openers.wavOpenCommand = [this](App&, const std::string* path) {
      calls.push_back("wavOpen(" + (path ? *path : std::string("dialog")) + ")");
    };
    app.openers.sasOpenCommand = [this](App&, const std::string* path) {
      calls.push_back("sasOpen(" + (path ? *path : std::string("dialog")) + ")");
    };
    app.openers.sasWriteBack = [this](App&) { calls.push_back("sasWriteBack"); };
    app.openers.closeFiles = [this](App&) { calls.push_back("closeFiles"); };
  }

  platform::Message Msg(platform::MessageKind kind) {
    platform::Message m;
    m.kind = kind;
    return m;
  }
  void Command(int view, int id) {
    platform::Message m = Msg(platform::MessageKind::Command);
    m.command = id;
    sink.Dispatch(view, m);
  }
  void Key(int view, int key) {
    platform::Message m = Msg(platform::MessageKind::KeyDown);
    m.key = key;
    sink.Dispatch(view, m);
  }

  // The temporary renders' folder of this test, as the program chooses it.
  std::string RenderedFile(const std::string& name) const { return dir.File("cache/vocara/" + name); }

  TempDir dir;
  ScopedEnvironment environment;
  FakePlatform fake;
  App app;
  WindowProcedureSink sink;
  std::vector<std::string> calls;
};

}  // namespace vocara::test
