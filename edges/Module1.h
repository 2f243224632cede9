#pragma once
// The edge list builder: the line list of the outline pass. (Being written.)

#include <cstdint>

namespace Module1 {

// The crease limit: cosine of the angle below which two neighbouring faces count as one
// smooth surface. Written by the start dialog, read at every comparison of a build.
extern float threshold;
// Faces finished by the running build; 0 at its start.
extern int32_t edgeProgress;

}  // namespace Module1
