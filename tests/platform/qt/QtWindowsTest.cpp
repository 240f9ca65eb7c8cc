// The window adapter on its own, with a recording sink in place of the core.
#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "QtTestSupport.h"
#include "platform/Keys.h"
#include "platform/qt/MessageRouter.h"
#include "platform/qt/QtViewWindow.h"
#include "platform/qt/QtWindows.h"

namespace vocara::platform::qt::test {
namespace {

using Kind = MenuItem::Kind;

WindowSpec MenuWindowSpec() {
  WindowSpec spec{.view = 0,
                  .title = "WAV",
                  .rect = {40, 40, 680, 300},
                  .horizontalScrollBar = true,
                  .verticalScrollBar = true};
  spec.menu = {
      {"&File",
       {
           {Kind::Command, "&Open", "", 100, false, {}},
           {Kind::Separator, "", "", 0, false, {}},
           {Kind::Command, "&Play", "P", 106, true, {}},
           {Kind::Submenu,
            "Edit &Mode",
            "",
            0,
            false,
            {
                {Kind::Command, "&Normal", "Esc", 128, true, {}, false, false, 11},  // with its mode image
                {Kind::Command, "Set &Time Link", "F1", 129, true, {}},
            }},
       }},
      {"&Help", {{Kind::Command, "&About Vocara...", "", 186, false, {}}}},
  };
  spec.toolbar = {
      {false, 0, 106, true, 0, "Play"},          {true, 0, 0, false, 0, ""},
      {false, 17, 157, true, 1, "1024 samples"}, {false, 18, 158, true, 1, "2048 samples"},
      {false, 1, 107, false, 0, "Stop"},
  };
  spec.accelerators = {{key::Escape, 128}, {'A', 137}, {key::F1 + 6, 116}};
  return spec;
}

WindowSpec PaneWindowSpec() {
  return {.view = 1,
          .title = "SAS",
          .rect = {40, 360, 680, 610},
          .horizontalScrollBar = true,
          .sasPaneControls = true,
          .toolbar = {{false, 11, 128, true, 0, "Pointer"}}};
}

class QtWindowsTest : public ::testing::Test {
 protected:
  QtWindowsTest() : windows(router) { router.SetSink(&sink); }

  ViewWindow* Make(const WindowSpec& spec) {
    EXPECT_TRUE(windows.CreateWindow(spec));
    return windows.Window(spec.view);
  }

  ViewWindow* Shown(const WindowSpec& spec) {
    ViewWindow* window = Make(spec);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    QTest::qWait(20);
    sink.Clear();
    return window;
  }

  // A backing image of the client size, as the core keeps one per window.
  void AttachImage(int view, std::uint32_t fill) {
    const Rect client = windows.GetClientRect(view);
    pixels.assign(static_cast<std::size_t>(client.Width() * client.Height()), fill);
    image = PixelView{pixels.data(), client.Width(), client.Height(), client.Width()};
    windows.AttachImage(view, image);
  }

  std::uint32_t& Pixel(int x, int y) { return pixels[static_cast<std::size_t>(y * image.stride + x)]; }

  MessageRouter router;
  RecordingSink sink;
  QtWindows windows;
  std::vector<std::uint32_t> pixels;
  PixelView image;
};

// ---------------------------------------------------------------------------------------
// Scroll bars: the core owns the position

TEST_F(QtWindowsTest, ScrollActionsAndThumbDragsAreReportedAndTheSliderStaysAtTheCorePosition) {
  ViewWindow* window = Make(MenuWindowSpec());
  windows.SetScrollInfo(0, ScrollBar::Vertical, ScrollInfo{0, 100, 10, 40}, true);
  auto* bar = window->findChild<QScrollBar*>(QStringLiteral("vscroll"));
  ASSERT_NE(bar, nullptr);
  const std::vector<std::pair<QAbstractSlider::SliderAction, ScrollCode>> cases{
      {QAbstractSlider::SliderSingleStepAdd, ScrollCode::LineDown},
      {QAbstractSlider::SliderSingleStepSub, ScrollCode::LineUp},
      {QAbstractSlider::SliderPageStepSub, ScrollCode::PageUp},
      {QAbstractSlider::SliderPageStepAdd, ScrollCode::PageDown},
      {QAbstractSlider::SliderToMinimum, ScrollCode::Top},
      {QAbstractSlider::SliderToMaximum, ScrollCode::Bottom},
  };
  for (const auto& [action, code] : cases) {
    sink.Clear();
    bar->triggerAction(action);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(std::tuple(sink.messages[0].kind, sink.messages[0].bar, sink.messages[0].scrollCode,
                         sink.messages[1].scrollCode, bar->value()),
              std::tuple(MessageKind::VScroll, ScrollBar::Vertical, code, ScrollCode::EndScroll, 40));
  }
  EXPECT_EQ(windows.GetScrollInfo(0, ScrollBar::Vertical), (ScrollInfo{0, 100, 10, 40}));

  // When the core answers by moving the bar, that is what the slider shows.
  sink.onMessage = [this](int view, const Message& message) {
    if (message.scrollCode == ScrollCode::PageDown) {
      windows.SetScrollInfo(view, ScrollBar::Vertical, ScrollInfo{0, 100, 10, 52}, true);
    }
  };
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(std::tuple(bar->value(), windows.GetScrollInfo(0, ScrollBar::Vertical).pos), std::tuple(52, 52));

  // A thumb drag reports tracking, then the position and the end.
  windows.SetScrollInfo(0, ScrollBar::Horizontal, ScrollInfo{0, 100, 10, 40}, true);
  bar = window->findChild<QScrollBar*>(QStringLiteral("hscroll"));
  sink.onMessage = nullptr;
  sink.Clear();
  bar->setSliderDown(true);
  bar->setSliderPosition(70);
  bar->setSliderPosition(75);
  bar->setSliderDown(false);
  std::vector<std::pair<ScrollCode, int>> sent;
  for (const Message& m : sink.messages)
    sent.emplace_back(m.scrollCode, m.scrollCode == ScrollCode::EndScroll ? 0 : m.scrollPos);
  EXPECT_EQ(sent, (std::vector<std::pair<ScrollCode, int>>{{ScrollCode::ThumbTrack, 70},
                                                           {ScrollCode::ThumbTrack, 75},
                                                           {ScrollCode::ThumbPosition, 75},
                                                           {ScrollCode::EndScroll, 0}}));
  // The core did not move the bar, so the thumb goes back.
  EXPECT_EQ(bar->value(), 40);
}

// Stored values are clamped as classic bars clamp them; a bar with nothing to scroll is greyed
// but stays visible; a bar the window does not show still keeps its values.
TEST_F(QtWindowsTest, ScrollValuesAreClampedAsClassicBarsClampThemAndAnIdleBarIsGreyed) {
  ViewWindow* window = Shown(MenuWindowSpec());
  windows.SetScrollInfo(0, ScrollBar::Vertical, ScrollInfo{0, 100, 20, 95}, true);
  EXPECT_EQ(windows.GetScrollInfo(0, ScrollBar::Vertical), (ScrollInfo{0, 100, 20, 81}));
  windows.SetScrollInfo(0, ScrollBar::Vertical, ScrollInfo{0, 100, 500, 7}, true);
  EXPECT_EQ(windows.GetScrollInfo(0, ScrollBar::Vertical), (ScrollInfo{0, 100, 101, 0}));

  auto* bar = window->findChild<QScrollBar*>(QStringLiteral("hscroll"));
  windows.SetScrollInfo(0, ScrollBar::Horizontal, ScrollInfo{0, 10000, 10001, 0}, true);
  EXPECT_EQ(std::tuple(bar->isEnabled(), bar->isVisible()), std::tuple(false, true));
  windows.SetScrollInfo(0, ScrollBar::Horizontal, ScrollInfo{0, 100, 50, 10}, true);
  // The largest position is max - page + 1.
  EXPECT_EQ(std::tuple(bar->isEnabled(), bar->maximum(), bar->pageStep(), bar->value()),
            std::tuple(true, 51, 50, 10));

  Make(PaneWindowSpec());
  windows.SetScrollInfo(1, ScrollBar::Vertical, ScrollInfo{0, 50, 10, 5}, true);
  EXPECT_EQ(windows.GetScrollInfo(1, ScrollBar::Vertical), (ScrollInfo{0, 50, 10, 5}));
}

TEST_F(QtWindowsTest, PaneControlsArePlacedInClientCoordinatesAndReportThemselves) {
  ViewWindow* window = Shown(PaneWindowSpec());
  const int top = windows.ToolbarHeight(1);
  windows.MoveScrollControl(1, ScrollBar::SasUpper, Rect{600, top, 616, top + 100});
  windows.MoveScrollControl(1, ScrollBar::SasLower, Rect{600, top + 100, 616, top + 200});
  windows.SetScrollInfo(1, ScrollBar::SasLower, ScrollInfo{0, 98, 12, 87}, true);
  auto* lower = window->findChild<QScrollBar*>(QStringLiteral("sasLower"));
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(std::tuple(lower->parentWidget(), lower->geometry(), lower->isVisible()),
            std::tuple(window->Client(), QRect(600, top + 100, 16, 100), true));

  lower->triggerAction(QAbstractSlider::SliderSingleStepSub);
  ASSERT_FALSE(sink.messages.empty());
  EXPECT_EQ(
      std::tuple(sink.messages[0].kind, sink.messages[0].bar, sink.messages[0].scrollCode, lower->value()),
      std::tuple(MessageKind::VScroll, ScrollBar::SasLower, ScrollCode::LineUp, 87));
}

TEST_F(QtWindowsTest, WheelAddsUpToWholeNotches) {
  ViewWindow* window = Shown(MenuWindowSpec());
  auto* bar = window->findChild<QScrollBar*>(QStringLiteral("vscroll"));
  const auto turn = [&](QWidget* target, int delta) {
    QWheelEvent wheel(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
  };

  turn(bar, 60);
  EXPECT_TRUE(sink.OfKind(MessageKind::Wheel).empty());
  turn(bar, 60);
  turn(window->Canvas(), -120);

  const std::vector<Message> wheels = sink.OfKind(MessageKind::Wheel);
  ASSERT_EQ(wheels.size(), 2u);
  const QPoint screen = bar->mapToGlobal(QPoint(5, 5));
  EXPECT_EQ(std::tuple(wheels[0].wheelDelta, wheels[0].pos, wheels[1].wheelDelta),
            std::tuple(120, (Point{screen.x(), screen.y()}), -120));
  EXPECT_TRUE(sink.OfKind(MessageKind::VScroll).empty());
}

// ---------------------------------------------------------------------------------------
// Keys and accelerators

// Esc arrives as a key first and then as its accelerator's command; other accelerator keys
// give only their command, unless a modifier is held; other keys arrive as virtual-key codes.
// Keys typed into a dialog are not routed.
TEST_F(QtWindowsTest, KeysArriveAsVirtualKeyCodesOrAsTheirAcceleratorsCommand) {
  ViewWindow* window = Shown(MenuWindowSpec());
  using Sent = std::vector<std::pair<MessageKind, int>>;
  const MessageKind down = MessageKind::KeyDown;
  const MessageKind command = MessageKind::Command;
  const std::vector<std::tuple<Qt::Key, Qt::KeyboardModifiers, Sent>> cases{
      {Qt::Key_Escape, Qt::NoModifier, {{down, key::Escape}, {command, 128}}},
      {Qt::Key_A, Qt::NoModifier, {{command, 137}}},
      {Qt::Key_F7, Qt::NoModifier, {{command, 116}}},
      {Qt::Key_A, Qt::ShiftModifier, {{down, 'A'}}},
      {Qt::Key_L, Qt::NoModifier, {{down, 'L'}}},
      {Qt::Key_Right, Qt::NoModifier, {{down, key::Right}}},
      {Qt::Key_Return, Qt::NoModifier, {{down, key::Return}}},
      {Qt::Key_PageDown, Qt::NoModifier, {{down, key::PageDown}}},
      {Qt::Key_Delete, Qt::NoModifier, {{down, key::Delete}}},
      {Qt::Key_F2, Qt::NoModifier, {{down, key::F1 + 1}}},
      {Qt::Key_Control, Qt::NoModifier, {{down, key::Control}}},
  };
  for (const auto& [qtKey, modifiers, expected] : cases) {
    sink.Clear();
    QTest::keyClick(window->Canvas(), qtKey, modifiers);
    Sent sent;
    for (const Message& m : sink.messages) sent.emplace_back(m.kind, m.kind == command ? m.command : m.key);
    EXPECT_EQ(sent, expected) << qtKey;
    EXPECT_EQ(sink.views, std::vector<int>(expected.size(), 0)) << qtKey;
  }

  sink.Clear();
  QDialog dialog(window);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&dialog, Qt::Key_A);
  QTest::keyClick(&dialog, Qt::Key_F7);
  EXPECT_TRUE(sink.messages.empty());
}

// ---------------------------------------------------------------------------------------
// Painting and the image

TEST_F(QtWindowsTest, ShowingPaintsTheWindowInvalidateTheRectangleAndWhatTheCoreDrawsIsShown) {
  ViewWindow* window = Make(MenuWindowSpec());
  sink.Clear();
  window->show();
  ASSERT_TRUE(WaitFor([&] { return !sink.OfKind(MessageKind::Paint).empty(); }));
  EXPECT_EQ(sink.OfKind(MessageKind::Paint)[0].rect, windows.GetClientRect(0));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  QTest::qWait(20);
  sink.Clear();

  AttachImage(0, 0xffffffffu);
  const int top = windows.ToolbarHeight(0);
  const Rect area{10, top + 5, 60, top + 25};
  windows.Invalidate(0, &area);
  ASSERT_TRUE(WaitFor([&] { return !sink.OfKind(MessageKind::Paint).empty(); }));
  QTest::qWait(50);
  const std::vector<Message> paints = sink.OfKind(MessageKind::Paint);
  ASSERT_EQ(paints.size(), 1u);
  EXPECT_EQ(paints[0].rect, area);

  // What the core draws while painting is shown below the toolbar; Present shows pixels it
  // changed outside a paint, as its rubber bands do, without asking for one.
  AttachImage(0, 0xff336699u);
  sink.Clear();
  sink.onMessage = [&](int, const Message& message) {
    if (message.kind == MessageKind::Paint) {
      for (int x = 0; x < 30; ++x) {
        Pixel(x, top) = 0xffff0000u;  // the first row below the toolbar band
      }
    }
  };
  windows.Invalidate(0, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !sink.OfKind(MessageKind::Paint).empty(); }));
  QTest::qWait(20);
  QImage shown = window->Canvas()->grab().toImage();
  EXPECT_EQ(std::tuple(shown.pixel(5, 0), shown.pixel(5, 1), shown.pixel(40, 0)),
            std::tuple(0xffff0000u, 0xff336699u, 0xff336699u));

  // A black pen in the NOT-XOR mode inverts what it covers.
  sink.Clear();
  for (int y = top + 10; y < top + 20; ++y) {
    for (int x = 20; x < 40; ++x) {
      Pixel(x, y) = ~(0xff000000u ^ Pixel(x, y)) | 0xff000000u;
    }
  }
  windows.Present(0, Rect{20, top + 10, 40, top + 20});
  ASSERT_TRUE(WaitFor([&] { return window->Canvas()->grab().toImage().pixel(25, 15) == 0xffcc9966u; }));
  shown = window->Canvas()->grab().toImage();
  EXPECT_EQ(std::tuple(shown.pixel(20, 10), shown.pixel(39, 19), shown.pixel(40, 19), shown.pixel(25, 9)),
            std::tuple(0xffcc9966u, 0xffcc9966u, 0xff336699u, 0xff336699u));
  EXPECT_TRUE(sink.OfKind(MessageKind::Paint).empty());
}

// ---------------------------------------------------------------------------------------
// Mouse

TEST_F(QtWindowsTest, MousePositionsCountFromTheToolbarTopAndADoubleClickIsTwoPresses) {
  ViewWindow* window = Shown(MenuWindowSpec());
  const int top = windows.ToolbarHeight(0);
  QTest::mouseClick(window->Canvas(), Qt::LeftButton, Qt::ControlModifier, QPoint(30, 12));
  QTest::mouseClick(window->Canvas(), Qt::RightButton, Qt::NoModifier, QPoint(31, 13));

  std::vector<std::tuple<MessageKind, Point, bool, bool>> sent;
  for (const Message& m : sink.messages)
    if (m.kind != MessageKind::MouseMove) sent.emplace_back(m.kind, m.pos, m.ctrl, m.shift);
  EXPECT_EQ(sent, (std::vector<std::tuple<MessageKind, Point, bool, bool>>{
                      {MessageKind::LeftDown, {30, 12 + top}, true, false},
                      {MessageKind::LeftUp, {30, 12 + top}, true, false},
                      {MessageKind::RightDown, {31, 13 + top}, false, false}}));

  // The second press of a double click is one more press.
  QWidget* canvas = window->Canvas();
  const auto send = [&](QEvent::Type type) {
    const bool press = type != QEvent::MouseButtonRelease;
    QMouseEvent event(type, QPointF(10, 10), canvas->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
                      press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
  };
  using E = QEvent;
  // Delivered with the second press, or in its place.
  for (const std::vector<E::Type>& events :
       {std::vector{E::MouseButtonPress, E::MouseButtonRelease, E::MouseButtonPress, E::MouseButtonDblClick,
                    E::MouseButtonRelease},
        std::vector{E::MouseButtonPress, E::MouseButtonRelease, E::MouseButtonDblClick,
                    E::MouseButtonRelease}}) {
    sink.Clear();
    for (const E::Type type : events) send(type);
    EXPECT_EQ(std::pair(sink.OfKind(MessageKind::LeftDown).size(), sink.OfKind(MessageKind::LeftUp).size()),
              std::pair(std::size_t{2}, std::size_t{2}));
  }
}

// ---------------------------------------------------------------------------------------
// Menu bar and toolbar

TEST_F(QtWindowsTest, MenuBarShowsLabelsShortcutsGreyingAndModeImages) {
  ViewWindow* window = Make(MenuWindowSpec());
  ASSERT_NE(window->MenuBar(), nullptr);
  const QList<QAction*> popups = window->MenuBar()->actions();
  ASSERT_EQ(popups.size(), 2);
  const QList<QAction*> items = popups[0]->menu()->actions();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(
      std::tuple(items[0]->isEnabled(), items[1]->isSeparator(), items[2]->text(), items[2]->isEnabled()),
      std::tuple(true, true, QStringLiteral("&Play\tP"), false));
  ASSERT_NE(items[3]->menu(), nullptr);
  EXPECT_EQ(items[3]->menu(), window->EditModeMenu());
  EXPECT_FALSE(items[3]->menu()->actions().value(0)->icon().isNull());
  EXPECT_TRUE(items[3]->menu()->actions().value(1)->icon().isNull());  // an item without an image

  windows.SetMenuItemEnabled(106, true);
  EXPECT_TRUE(items[2]->isEnabled());
}

// Choosing a check or radio item leaves the marks as the core set them; the marked radio item
// hides its image.
TEST_F(QtWindowsTest, CheckAndRadioItemsShowTheMarkTheCoreSets) {
  WindowSpec radio = MenuWindowSpec();
  MenuItem check{Kind::Command, "Show &Notes", "", 193, false, {}};
  std::tie(check.checkable, check.checked) = std::tuple(true, true);
  radio.menu[1].items.push_back(check);
  for (MenuItem& mode : radio.menu[0].items[3].items)
    std::tie(mode.checkable, mode.checkGroup, mode.greyed) = std::tuple(true, 1, false);
  radio.menu[0].items[3].items[0].checked = true;
  radio.menu[0].items[3].items[1].image = 12;  // a green plus
  ViewWindow* window = Make(radio);
  QAction* normal = window->MenuAction(128);
  QAction* link = window->MenuAction(129);
  const auto marks = [&] { return std::pair(normal->isChecked(), link->isChecked()); };
  link->trigger();
  normal->trigger();
  EXPECT_EQ(marks(), std::pair(true, false));
  windows.SetMenuItemChecked(128, false);
  windows.SetMenuItemChecked(129, true);
  link->trigger();
  EXPECT_EQ(std::tuple(marks(), sink.messages.size()), std::tuple(std::pair(false, true), 3u));
  QAction* item = window->MenuAction(193);
  item->trigger();
  EXPECT_EQ(std::tuple(sink.messages.back().command, item->isChecked()), std::tuple(193, true));
  windows.SetMenuItemChecked(193, false);
  EXPECT_FALSE(item->isChecked());
  const auto greenShown = [&, menu = window->EditModeMenu()] {
    menu->popup(QPoint(10, 10));
    QTest::qWait(50);
    const QImage shot = menu->grab(menu->actionGeometry(link)).toImage();
    menu->hide();
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x)
        if (const QColor c = shot.pixelColor(x, y); c.green() > 120 && c.red() < 100 && c.blue() < 100)
          return true;
    return false;
  };
  EXPECT_FALSE(greenShown());
  windows.SetMenuItemChecked(129, false);
  EXPECT_TRUE(greenShown());
}

TEST_F(QtWindowsTest, EditModePopupSendsItsCommandToTheMenuWindow) {
  Shown(MenuWindowSpec());
  windows.SetMenuItemEnabled(128, true);
  QTimer::singleShot(50, [] {
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
  });
  windows.PopupEditModeMenu(Point{100, 100});

  ASSERT_EQ(sink.OfKind(MessageKind::Command).size(), 1u);
  EXPECT_EQ(std::tuple(sink.OfKind(MessageKind::Command)[0].command, sink.views.back()), std::tuple(128, 0));
}

TEST_F(QtWindowsTest, ToolbarButtonsCarryTooltipsStatesAndCheckGroups) {
  ViewWindow* window = Shown(MenuWindowSpec());
  QToolBar* toolBar = window->ToolBar();
  ASSERT_EQ(toolBar->actions().size(), 5);  // separators count as entries
  EXPECT_EQ(toolBar->widgetForAction(window->Button(106))->toolTip(), QStringLiteral("Play"));
  EXPECT_FALSE(window->Button(107)->isEnabled());
  EXPECT_EQ(toolBar->iconSize(), QSize(16, 15));

  QTest::mouseClick(toolBar->widgetForAction(window->Button(158)), Qt::LeftButton);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(std::tuple(sink.messages[0].command, window->Button(158)->isChecked()), std::tuple(158, true));
  QTest::mouseClick(toolBar->widgetForAction(window->Button(158)), Qt::LeftButton);
  EXPECT_TRUE(window->Button(158)->isChecked()) << "a pressed button stays pressed";

  windows.SetButtonChecked(0, 157, true);
  EXPECT_TRUE(window->Button(157)->isChecked());
  EXPECT_FALSE(window->Button(158)->isChecked());
  EXPECT_EQ(sink.messages.size(), 2u);  // setting a state is not a command

  windows.SetButtonEnabled(0, 107, true);
  EXPECT_TRUE(window->Button(107)->isEnabled());
}

// ---------------------------------------------------------------------------------------
// Window life, size and drops

TEST_F(QtWindowsTest, CloseBoxIsReportedAndTheCoreDecides) {
  ViewWindow* window = Shown(MenuWindowSpec());
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(sink.OfKind(MessageKind::Close).size(), 1u);

  sink.onMessage = [this](int view, const Message& message) {
    if (message.kind == MessageKind::Close) {
      windows.Destroy(view);
    }
  };
  window->close();
  ASSERT_EQ(sink.OfKind(MessageKind::Destroy).size(), 1u);
  EXPECT_EQ(std::tuple(windows.Window(0), windows.GetShowState(0)), std::tuple(nullptr, ShowState::Hidden));
}

TEST_F(QtWindowsTest, ToolbarHeightMeasuredAtCreationIsShownAndResizeReportsTheClientSize) {
  ViewWindow* window = Make(MenuWindowSpec());
  const int measured = windows.ToolbarHeight(0);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_GE(measured, 15);
  EXPECT_EQ(std::tuple(window->ToolBar()->height(), window->ToolBar()->geometry().top()),
            std::tuple(measured, 0));

  sink.Clear();
  window->resize(700, 320);
  ASSERT_TRUE(WaitFor([&] { return !sink.OfKind(MessageKind::Size).empty(); }));
  const Message size = sink.OfKind(MessageKind::Size).back();
  const Size client{700 - 16, 320 - window->MenuBar()->height() - 16};
  EXPECT_EQ(std::tuple(size.sizeKind, size.size, windows.GetClientRect(0)),
            std::tuple(SizeKind::Restored, client, (Rect{0, 0, client.width, client.height})));
  EXPECT_EQ(window->Canvas()->geometry().top(), windows.ToolbarHeight(0));
}

// A window as wide as WidthShowingToolbar says shows every button of a long toolbar; one a little
// narrower folds the last buttons behind the toolbar's extension button.
TEST_F(QtWindowsTest, AWindowAsWideAsMeasuredShowsItsWholeToolbar) {
  WindowSpec spec = PaneWindowSpec();
  spec.verticalScrollBar = true;
  spec.toolbar.clear();
  for (int i = 0; i < 23; ++i) {
    if (i == 11 || i == 19) spec.toolbar.push_back({true, 0, 0, false, 0, ""});
    spec.toolbar.push_back({false, 17 + i % 20, 157 + i, true, i < 11 ? 1 : 0, "button"});
  }
  const int width = windows.WidthShowingToolbar(spec);
  EXPECT_GT(width, 23 * 16);
  for (const int view : {2, 3}) {
    spec.view = view;
    const bool narrower = view == 3;
    spec.rect = Rect{40, 40, 40 + width - (narrower ? 24 : 0), 300};
    ViewWindow* window = Shown(spec);
    const auto* extension =
        window->ToolBar()->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    ASSERT_NE(extension, nullptr);
    EXPECT_EQ(extension->isVisible(), narrower) << "window width " << window->width();
  }
}

TEST_F(QtWindowsTest, AllDroppedFilesAreReported) {
  ViewWindow* window = Shown(PaneWindowSpec());
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/one.wav")),
                QUrl::fromLocalFile(QStringLiteral("/tmp/two.sas"))});
  QDragEnterEvent enter(QPoint(20, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(20, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);

  const std::vector<Message> drops = sink.OfKind(MessageKind::FilesDropped);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(std::tuple(drops[0].files, sink.views.back()),
            std::tuple(std::vector<std::string>{"/tmp/one.wav", "/tmp/two.sas"}, 1));
}

TEST_F(QtWindowsTest, CursorShapesGoToTheCanvasesAndTheHourglassOverridesThem) {
  ViewWindow* window = Make(MenuWindowSpec());
  for (const CursorShape shape : {CursorShape::Mode4, CursorShape::Note}) {
    windows.SetCursor(shape);
    EXPECT_EQ(window->Canvas()->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(window->Canvas()->cursor().pixmap().size(), QSize(32, 32));
  }
  // Note mode's cursor is its own, the grip held at its centre.
  EXPECT_EQ(window->Canvas()->cursor().hotSpot(), QPoint(15, 15));

  windows.SetCursor(CursorShape::Hourglass);
  windows.SetCursor(CursorShape::Hourglass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

  windows.SetCursor(CursorShape::Arrow);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(window->Canvas()->cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
}  // namespace vocara::platform::qt::test
