#pragma once
// The percentage of faces the running edge-list build has finished, as the start dialog
// shows it. Kept apart from the window so the arithmetic and its failures can be checked
// without one.

#include <cstdint>
#include <string>

namespace dialog {

// floor(edgeProgress * 100 / numFaces) followed by "%" ("30%" for 37 of 120 faces).
// The product is a 32-bit integer: beyond its range it raises Overflow (6); numFaces 0
// raises Division by zero (11).
std::string progressReadout(int32_t edgeProgress, int32_t numFaces);

}  // namespace dialog
