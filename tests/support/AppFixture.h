// A started program on the fake platform, with its settings file in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/dispatch/WindowProcedure.h"
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

  // The texts of the message boxes shown so far, in order.
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : fake.desktop.messages) texts.push_back(message.text);
    return texts;
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
};

}  // namespace vocara::test
