// A started program with helpers to make and open recordings and SAS files, resize windows and
// send scroll and wheel messages, for the tests of the view geometry and rendering.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "program/commands/SasCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/views/Scrolling.h"
#include "support/AppFixture.h"
#include "support/SasFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {

class ViewTest : public AppTest {
 protected:
  void SetUp() override { ASSERT_TRUE(ProgramStart(app, "")); }

  // A 16-bit recording whose sample i holds (i % 2000) - 1000, so every column has a known
  // minimum and maximum.
  static std::int32_t SampleAt(std::size_t i) { return static_cast<std::int32_t>(i % 2000) - 1000; }
  void OpenWav(std::size_t count) {
    std::vector<std::int32_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) samples[i] = SampleAt(i);
    OpenWavSamples(samples);
  }
  void OpenWavSamples(const std::vector<std::int32_t>& samples) {
    OpenDocumentByName(app, WriteWav16(dir.File("take.wav"), samples));
    ASSERT_TRUE(app.Has(WavOpen));
  }

  // A SAS whose frame i has source pitch 1000 + i % 5000 (its identity in the page) and the
  // given links; it fits the open WAV when `checksum` is the WAV's.
  void OpenSas(std::size_t frames, std::vector<TimeLink> links = {}, std::uint32_t checksum = 0) {
    const std::uint32_t frameLength = 100;
    if (links.empty()) links = EndLinks(static_cast<std::uint32_t>(frames * frameLength));
    const SasHeader header = SasHeaderFor(frameLength, 48000, checksum, frames, links.size());
    std::vector<SasFrame> records;
    for (std::size_t i = 0; i < frames; ++i)
      records.push_back(FreshFrame(static_cast<std::uint16_t>(1000 + i % 5000), -1000, 1000));
    OpenSasRecords(header, records, links);
  }
  void OpenSasRecords(const SasHeader& header, const std::vector<SasFrame>& frames,
                      const std::vector<TimeLink>& links) {
    const std::string path = WriteSasFile(dir.File("take.sas"), header, frames, links);
    OpenDocumentByName(app, path);
    ASSERT_TRUE(app.Has(SasOpen));
    ShowPitchPaneFromA0();
  }
  // The rows the view tests measure count from the start-up pitch pane, A0 on the centre row at
  // 0.25 pixels per cent, rather than from the stored note range the opener centres on.
  void ShowPitchPaneFromA0() {
    app.windows.sasView.lower = view::SasView{}.lower;
    app.windows.sasView.pitchScale = view::SasView{}.pitchScale;
    SetVerticalBar(app.ports, SasView, platform::ScrollBar::SasLower, app.windows.sasView.lower);
  }

  void Scroll(int view, platform::MessageKind kind, platform::ScrollCode code, int position = 0,
              platform::ScrollBar bar = platform::ScrollBar::Horizontal) {
    sink.Dispatch(view, {.kind = kind, .bar = bar, .scrollCode = code, .scrollPos = position});
  }
  void HScroll(int view, platform::ScrollCode code, int position = 0) {
    Scroll(view, platform::MessageKind::HScroll, code, position);
  }
  void Wheel(int view, platform::Point client, int delta) {
    sink.Dispatch(view, {.kind = platform::MessageKind::Wheel,
                         .pos = fake.windows.ClientToScreen(view, client),
                         .wheelDelta = delta});
  }
  std::uint32_t Pixel(int view, int x, int y) const {
    return app.windows.images[static_cast<std::size_t>(view)].Pixel(x, y);
  }
  platform::ScrollInfo Bar(int view, platform::ScrollBar bar = platform::ScrollBar::Horizontal) {
    return fake.windows.views[view].scroll[bar];
  }
};

// Pixel values as the backing images hold them.
inline constexpr std::uint32_t WhitePixel = 0xffffffff;
inline constexpr std::uint32_t BlackPixel = 0xff000000;
inline constexpr std::uint32_t OlivePixel = 0xff6f8d07;
inline constexpr std::uint32_t BluePixel = 0xff4040ff;
inline constexpr std::uint32_t GreenPixel = 0xff00ff00;
inline constexpr std::uint32_t RedPixel = 0xffff0000;
inline constexpr std::uint32_t YellowPixel = 0xffffff00;

}  // namespace vocara::test
