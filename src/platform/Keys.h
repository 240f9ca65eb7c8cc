// Virtual-key codes the core's key handling and accelerator table use. Letters and digits
// are their upper-case character codes.
#pragma once

namespace vocara::platform::key {

inline constexpr int Return = 0x0D;
inline constexpr int Control = 0x11;
inline constexpr int Escape = 0x1B;
inline constexpr int Space = 0x20;
inline constexpr int PageUp = 0x21;
inline constexpr int PageDown = 0x22;
inline constexpr int End = 0x23;
inline constexpr int Home = 0x24;
inline constexpr int Left = 0x25;
inline constexpr int Up = 0x26;
inline constexpr int Right = 0x27;
inline constexpr int Down = 0x28;
inline constexpr int Delete = 0x2E;
inline constexpr int F1 = 0x70;  // F1..F12 are F1 + 0..11

}  // namespace vocara::platform::key
