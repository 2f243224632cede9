// GIF through giflib. The file is assembled in memory and written when finished. Its global
// colour table is declared with 256 entries and filled in at the end: a frame whose colours,
// with those earlier frames put there, still fit is coded in it and needs no table of its own.
// A frame's own table is only as large as its colours need, which also shortens its codes.
// Every frame after the first covers only the rectangle that changed.

#include <gif_lib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "animation/Palette.h"
#include "animation/Writers.h"
#include "runtime/Error.h"
#include "runtime/FileWrite.h"

namespace animation {
namespace {

constexpr size_t kTableEntries = 256;
constexpr size_t kGlobalTableOffset = 13;  // after the signature and the screen descriptor

GifColorType gifColour(uint32_t rgb) {
    return {GifByteType(rgb >> 16), GifByteType(rgb >> 8), GifByteType(rgb)};
}

class GifSink : public FrameSink {
public:
    GifSink(const std::string& path, const FrameFormat& format) : path_(path), format_(format) {
        int error = 0;
        gif_ = EGifOpen(this, &GifSink::append, &error);
        if (gif_ == nullptr) fail(error);
        try {
            putHeader();
        } catch (...) {
            EGifCloseFile(gif_, nullptr);
            throw;
        }
    }

    ~GifSink() override {
        if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
    }

    void putHeader() {
        EGifSetGifVersion(gif_, true);
        std::vector<GifColorType> blank(kTableEntries, GifColorType{0, 0, 0});
        ColorMapObject* table = GifMakeMapObject(int(kTableEntries), blank.data());
        const int status = EGifPutScreenDesc(gif_, int(format_.width), int(format_.height), 8, 0, table);
        GifFreeMapObject(table);
        check(status);
        // NETSCAPE2.0, loop count 0: for ever.
        const unsigned char loop[] = {1, 0, 0};
        check(EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE));
        check(EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0"));
        check(EGifPutExtensionBlock(gif_, 3, loop));
        check(EGifPutExtensionTrailer(gif_));
    }

    void add(const uint32_t* pixels) override {
        const uint32_t w = format_.width, h = format_.height;
        Region region{pixels, w, 0, 0, w, h};
        if (!previous_.empty()) {
            region = changedRegion(pixels, previous_.data(), w, h);
            // An unchanged frame still takes its time: one pixel, redrawn as it was.
            if (region.width == 0) region = {pixels, w, 0, 0, 1, 1};
        }
        putFrameControl();
        putImage(region);
        previous_.assign(pixels, pixels + std::size_t{w} * h);
        ++frames_;
    }

    void finish() override {
        int error = 0;
        const int status = EGifCloseFile(gif_, &error);
        gif_ = nullptr;
        if (status != GIF_OK) fail(error);
        const std::vector<uint32_t>& global = palettes_.global();
        for (size_t i = 0; i < global.size(); ++i) {
            const GifColorType c = gifColour(global[i]);
            std::memcpy(&bytes_[kGlobalTableOffset + 3 * i], &c, 3);
        }
        rt::replaceFile(path_, bytes_.data(), bytes_.size());
    }

private:
    static int append(GifFileType* gif, const GifByteType* data, int length) {
        auto* self = static_cast<GifSink*>(gif->UserData);
        self->bytes_.insert(self->bytes_.end(), data, data + length);
        return length;
    }

    [[noreturn]] void fail(int error) const {
        const char* why = GifErrorString(error);
        rt::raiseRuntime(rt::errc::PathFileAccess, "cannot write " + path_ + ": " + (why ? why : "giflib failed"));
    }
    void check(int status) const {
        if (status != GIF_OK) fail(gif_ ? gif_->Error : 0);
    }

    // Frame i is shown until (i + 1) / fps seconds, in whole hundredths.
    void putFrameControl() {
        const auto at = [&](int64_t frame) { return (frame * 100 + format_.framesPerSecond / 2) / format_.framesPerSecond; };
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.DelayTime = int(at(frames_ + 1) - at(frames_));
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        check(EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension));
    }

    void putImage(const Region& region) {
        const IndexedRegion indexed = palettes_.index(region);
        ColorMapObject* table = nullptr;
        if (!indexed.palette.empty()) {
            // GIF tables hold a power of two entries, two at least.
            const size_t size = std::bit_ceil(std::max<size_t>(indexed.palette.size(), 2));
            std::vector<GifColorType> entries(size, GifColorType{0, 0, 0});
            for (size_t i = 0; i < indexed.palette.size(); ++i) entries[i] = gifColour(indexed.palette[i]);
            table = GifMakeMapObject(int(size), entries.data());
            if (table == nullptr) fail(E_GIF_ERR_NOT_ENOUGH_MEM);
        }
        const int status = EGifPutImageDesc(gif_, int(region.left), int(region.top), int(region.width),
                                            int(region.height), false, table);
        if (table != nullptr) GifFreeMapObject(table);
        check(status);
        // giflib takes the rows as they are, without changing them.
        auto* row = const_cast<GifPixelType*>(indexed.indices.data());
        for (uint32_t y = 0; y < region.height; ++y, row += region.width) check(EGifPutLine(gif_, row, int(region.width)));
    }

    std::string path_;
    FrameFormat format_;
    GifFileType* gif_ = nullptr;
    std::vector<unsigned char> bytes_;
    FramePalettes palettes_;
    std::vector<uint32_t> previous_;
    int64_t frames_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> gifWriter(const std::string& path, const FrameFormat& format) {
    return std::make_unique<GifSink>(path, format);
}

}  // namespace animation
