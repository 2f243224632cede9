#pragma once
// OpenGL copies of the textures that draws use, uploaded again when their contents change.

#include <cstdint>
#include <unordered_map>

#include "gl/Rasterizer.h"

namespace gl {

class TextureCache {
public:
    TextureCache() = default;
    ~TextureCache();
    TextureCache(const TextureCache&) = delete;
    TextureCache& operator=(const TextureCache&) = delete;

    // The OpenGL texture name holding `source`, uploading it if it is new or changed.
    uint32_t bind(const TextureSource& source);
    // Drops copies not used during the last `maxIdleFrames` frames.
    void endFrame(uint32_t maxIdleFrames);

private:
    struct Entry {
        uint32_t name = 0;
        uint64_t version = 0;
        uint64_t lastUsedFrame = 0;
    };
    void upload(Entry& entry, const TextureSource& source);

    std::unordered_map<uint64_t, Entry> entries_;
    uint64_t frame_ = 0;
};

}  // namespace gl
