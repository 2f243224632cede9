#include "gl/TextureCache.h"

#include <epoxy/gl.h>

namespace gl {

TextureCache::~TextureCache() {
    for (auto& [identity, entry] : entries_) glDeleteTextures(1, &entry.name);
}

uint32_t TextureCache::bind(const TextureSource& source) {
    Entry& entry = entries_[source.identity];
    if (entry.name == 0) glGenTextures(1, &entry.name);
    glBindTexture(GL_TEXTURE_2D, entry.name);
    if (entry.version != source.version) upload(entry, source);
    entry.lastUsedFrame = frame_;
    return entry.name;
}

void TextureCache::upload(Entry& entry, const TextureSource& source) {
    // Texels are 0xAARRGGBB words: in memory (little-endian) B, G, R, A.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    GLint level = 0;
    for (const TextureLevel& l : source.levels) {
        glTexImage2D(GL_TEXTURE_2D, level++, GL_RGBA8, static_cast<GLsizei>(l.width),
                     static_cast<GLsizei>(l.height), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                     l.texels);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, level > 0 ? level - 1 : 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, source.opaque ? GL_ONE : GL_ALPHA);
    entry.version = source.version;
}

void TextureCache::endFrame(uint32_t maxIdleFrames) {
    ++frame_;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (frame_ - it->second.lastUsedFrame > maxIdleFrames) {
            glDeleteTextures(1, &it->second.name);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace gl
