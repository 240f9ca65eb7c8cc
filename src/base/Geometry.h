// Plain geometry and colour values: the window layout in the settings file, the views and the
// platform ports all speak in these. They keep the ports' namespace, where they began.
#pragma once

#include <cstdint>

namespace vocara::platform {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Right and bottom are exclusive, as in every rectangle the program stores.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
  // 0xffRRGGBB, the layout of the backing images.
  std::uint32_t Pixel() const { return 0xff000000u | (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b; }
};

// A view on 32-bit 0xffRRGGBB pixels; stride is counted in pixels.
struct PixelView {
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

}  // namespace vocara::platform
