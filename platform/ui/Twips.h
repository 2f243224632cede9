#pragma once
// The program's windows keep their layout and report pointer positions in twips (1/1440 inch),
// placed on screen at 96 dots per inch.

namespace ui {

inline constexpr int kTwipsPerPixel = 15;

}  // namespace ui
