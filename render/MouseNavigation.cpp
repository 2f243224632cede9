// Dragging with the left button turns the model (10 twips per degree), dragging with the
// right button zooms it (300 twips per unit, within 2 to 44). Each event rounds its own
// result, ties to even, so a one-pixel step moves an angle by 1 or 2 degrees.

#include <cmath>

#include "render/Form1.h"
#include "runtime/Rounding.h"

namespace {

constexpr int16_t kLeftButton = 1;
constexpr int16_t kRightButton = 2;
constexpr double kTwipsPerDegree = 10.0;
constexpr double kTwipsPerZoomUnit = 300.0;
constexpr float kMaxZoom = 44.0f;
constexpr float kMinZoom = 2.0f;

}  // namespace

void Form1::Form_MouseMove(int16_t button, int16_t /*shift*/, float x, float y) {
    const double dx = static_cast<double>(x) - lastX;
    const double dy = static_cast<double>(y) - lastY;
    if (button == kLeftButton) {
        if (dx != 0.0) yaw = rt::roundToInt32(yaw - dx / kTwipsPerDegree);
        if (dy != 0.0) pitch = rt::roundToInt32(pitch + dy / kTwipsPerDegree);
    } else if (button == kRightButton) {
        zoom = rt::toSingle(zoom + dy / kTwipsPerZoomUnit);
        if (zoom > kMaxZoom) zoom = kMaxZoom;
        if (zoom < kMinZoom) zoom = kMinZoom;
    }
    lastX = rt::roundToInt32(x);
    lastY = rt::roundToInt32(y);
}
