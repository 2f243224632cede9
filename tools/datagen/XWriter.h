#pragma once
// Our own .x writer: the standard Frame, FrameTransformMatrix, Mesh, MeshNormals,
// MeshTextureCoords, MeshMaterialList and Material data objects, no template declarations,
// in any of the four encodings a reader meets (text, binary, and both compressed).

#include <cstdint>
#include <string>
#include <vector>

#include "Model.h"

namespace datagen {

enum class XEncoding { Text, Binary, CompressedText, CompressedBinary };

// The whole file, 16-byte header included.
std::vector<uint8_t> writeX(const Model& model, XEncoding encoding);

// Largest slice of the body that one compressed block holds.
inline constexpr size_t kCompressedBlockInput = 32768;

// The parts, exposed for tests: the body after the header in text or binary tokens, and the
// compressed container around a body, in blocks of `blockSize` bytes of the body, each a raw
// DEFLATE stream of its own or, with `referBack`, one that refers back into the output before it
// as the format allows (readers must keep their window across blocks).
std::string xTextBody(const Model& model);
std::vector<uint8_t> xBinaryBody(const Model& model);
std::vector<uint8_t> compressXBody(const char (&header)[17], const std::vector<uint8_t>& body,
                                   size_t blockSize = kCompressedBlockInput, bool referBack = false);

}  // namespace datagen
