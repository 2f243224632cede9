// Animated WebP through libwebp's animation encoder, which also stores each frame as what
// changed since the one before.

#include <webp/encode.h>
#include <webp/mux.h>

#include <string>

#include "animation/Writers.h"
#include "runtime/Error.h"
#include "runtime/FileWrite.h"

namespace animation {

static_assert(kWebpMaxSide == WEBP_MAX_DIMENSION);

namespace {

class WebpSink : public FrameSink {
public:
    WebpSink(const std::string& path, const FrameFormat& format, std::optional<float> lossyQuality)
        : path_(path), format_(format) {
        WebPAnimEncoderOptions options;
        if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config_)) fail("libwebp is not the version built against");
        options.anim_params.loop_count = 0;  // for ever
        if (lossyQuality) {
            config_.lossless = 0;
            config_.quality = *lossyQuality;
        } else {
            // Lossless at a middling effort: the frames are flat colours, which it packs well.
            config_.lossless = 1;
            config_.quality = 50;
            config_.method = 2;
        }
        encoder_ = WebPAnimEncoderNew(int(format.width), int(format.height), &options);
        if (encoder_ == nullptr) fail("the encoder cannot be made");
    }

    ~WebpSink() override { WebPAnimEncoderDelete(encoder_); }

    void add(const uint32_t* pixels) override {
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) fail("libwebp is not the version built against");
        picture.use_argb = 1;
        picture.width = int(format_.width);
        picture.height = int(format_.height);
        const bool imported = WebPPictureImportBGRX(&picture, reinterpret_cast<const uint8_t*>(pixels),
                                                    int(format_.width * 4)) != 0;
        const bool added = imported && WebPAnimEncoderAdd(encoder_, &picture, timestamp(frames_), &config_) != 0;
        WebPPictureFree(&picture);
        if (!added) fail(WebPAnimEncoderGetError(encoder_));
        ++frames_;
    }

    void finish() override {
        WebPData data;
        WebPDataInit(&data);
        if (!WebPAnimEncoderAdd(encoder_, nullptr, timestamp(frames_), nullptr) ||
            !WebPAnimEncoderAssemble(encoder_, &data))
            fail(WebPAnimEncoderGetError(encoder_));
        try {
            rt::replaceFile(path_, data.bytes, data.size);
        } catch (...) {
            WebPDataClear(&data);
            throw;
        }
        WebPDataClear(&data);
    }

private:
    // Frame i starts at i / fps seconds, in whole milliseconds.
    int timestamp(int64_t frame) const { return int((frame * 1000 + format_.framesPerSecond / 2) / format_.framesPerSecond); }

    [[noreturn]] void fail(const char* why) const {
        rt::raiseRuntime(rt::errc::PathFileAccess, "cannot write " + path_ + ": " + (why && *why ? why : "libwebp failed"));
    }

    std::string path_;
    FrameFormat format_;
    WebPConfig config_;
    WebPAnimEncoder* encoder_ = nullptr;
    int64_t frames_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> webpWriter(const std::string& path, const FrameFormat& format, std::optional<float> lossyQuality) {
    return std::make_unique<WebpSink>(path, format, lossyQuality);
}

}  // namespace animation
