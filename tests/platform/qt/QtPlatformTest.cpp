// The message loop: quitting before and while it runs, and pumping single messages.
#include <gtest/gtest.h>

#include <QDialog>
#include <QTimer>

#include "QtTestSupport.h"
#include "platform/qt/QtPlatform.h"

namespace vocara::platform::qt::test {
namespace {

TEST(QtPlatformTest, QuitWhileTheLoopRunsEndsItWithTheCode) {
  QtPlatform qt;
  QTimer::singleShot(0, [&] { qt.Ports().pump.PostQuit(4); });
  EXPECT_EQ(qt.Run(), 4);
}

TEST(QtPlatformTest, QuitBeforeTheLoopEndsItAtOnceAndSparesLaterDialogs) {
  QtPlatform qt;
  qt.Ports().pump.PostQuit(3);
  EXPECT_EQ(qt.Run(), 3);

  QDialog dialog;
  auto watch = WhenModal<QDialog>([](QDialog* shown) { shown->done(5); });
  EXPECT_EQ(dialog.exec(), 5);
}

TEST(QtPlatformTest, PumpingRunsWaitingWorkOneStepAtATime) {
  QtPlatform qt;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  for (int i = 0; i < 100 && !ran; ++i) qt.Ports().pump.PumpOneMessage();
  EXPECT_TRUE(ran);
  // A long operation pumps without anything waiting; that must not block.
  qt.Ports().pump.PumpOneMessage();
}

}  // namespace
}  // namespace vocara::platform::qt::test
