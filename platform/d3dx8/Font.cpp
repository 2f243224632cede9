#include "d3dx8/Font.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <list>
#include <utility>

#include "d3dx8/TextImage.h"

#include "d3d8/Direct3DDevice8.h"
#include "runtime/Status.h"

namespace {

// 96 dots per inch, the resolution window fonts are sized for; fixed so that text has the
// same pixel size whatever the screen reports.
constexpr int kDotsPerMeter = 3780;
// Rectangle coordinates are cut to this range so that their differences stay in int range.
constexpr int32_t kCoordinateLimit = 1 << 24;

QImage blankImage(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    image.fill(Qt::transparent);
    return image;
}

int qtFlags(uint32_t format) {
    int flags = (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
    if (format & DT_SINGLELINE)
        flags |= Qt::TextSingleLine;
    else if (format & DT_WORDBREAK)
        flags |= Qt::TextWordWrap;
    if (format & DT_EXPANDTABS) flags |= Qt::TextExpandTabs;
    return flags;
}

QRect layoutRect(const D3DRECT& rect) {
    auto cut = [](int32_t v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); };
    int left = cut(rect.x1), top = cut(rect.y1);
    return QRect(left, top, std::max(0, cut(rect.x2) - left), std::max(0, cut(rect.y2) - top));
}

// Windows line ends count as one break, as a lone carriage return does.
QString withPlainLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

std::vector<uint32_t> colourByCoverage(const QImage& coverage, D3DCOLOR color) {
    std::vector<uint32_t> texels;
    texels.reserve(std::size_t(coverage.width()) * coverage.height());
    uint32_t alpha = color >> 24, rgb = color & 0x00FFFFFFu;
    for (int y = 0; y < coverage.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
        for (int x = 0; x < coverage.width(); ++x)
            texels.push_back((alpha * uint32_t(qAlpha(row[x])) + 127) / 255 << 24 | rgb);
    }
    return texels;
}

}  // namespace

TextImage renderTextImage(const QFont& font, const QString& text, const D3DRECT& rect,
                          uint32_t format, D3DCOLOR color, const QRect& target) {
    TextImage out;
    QString lines = withPlainLineBreaks(text);
    QRect box = layoutRect(rect);
    int flags = qtFlags(format);
    QImage measuring = blankImage(QSize(1, 1));
    QRect bounds = QFontMetrics(font, &measuring).boundingRect(box, flags, lines);
    out.height = (format & (DT_VCENTER | DT_BOTTOM)) ? bounds.bottom() + 1 - box.top() : bounds.height();
    if ((format & DT_CALCRECT) || lines.isEmpty()) return out;
    QRect area = ((format & DT_NOCLIP) ? bounds : bounds & box) & target;
    if (area.isEmpty()) return out;

    QImage coverage = blankImage(area.size());
    QPainter painter(&coverage);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.translate(-area.topLeft());
    painter.drawText(box, flags, lines);
    painter.end();
    out.area = area;
    out.texels = colourByCoverage(coverage, color);
    return out;
}

QFont scaledFont(const QFont& font, double pixelRatio) {
    QFont scaled = font;
    if (font.pixelSize() > 0)
        scaled.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * pixelRatio))));
    else
        scaled.setPointSizeF(font.pointSizeF() * pixelRatio);
    return scaled;
}

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};
constexpr uint32_t kScreenVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(sizeof(ScreenVertex) == 28);

constexpr uint32_t kFillSolid = 3;
constexpr uint32_t kBlendOpAdd = 1;

// The states text drawing needs: the texture's colour and alpha as they are, blended over
// the scene, texel for texel, with nothing culled, depth-tested or alpha-tested.
constexpr std::pair<D3DRENDERSTATETYPE, uint32_t> kTextRenderStates[] = {
    {D3DRS_ALPHABLENDENABLE, 1}, {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}, {D3DRS_BLENDOP, kBlendOpAdd},
    {D3DRS_CULLMODE, D3DCULL_NONE}, {D3DRS_ZENABLE, D3DZB_FALSE},
    {D3DRS_ZWRITEENABLE, 0}, {D3DRS_ALPHATESTENABLE, 0},
    {D3DRS_FILLMODE, kFillSolid}, {D3DRS_FOGENABLE, 0},
    {D3DRS_STENCILENABLE, 0}, {D3DRS_COLORWRITEENABLE, 0xF},
};

struct StageState {
    uint32_t stage;
    D3DTEXTURESTAGESTATETYPE type;
    uint32_t value;
};
constexpr StageState kTextStageStates[] = {
    {0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}, {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
    {0, D3DTSS_TEXCOORDINDEX, 0},           {0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP},
    {0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP}, {0, D3DTSS_MAGFILTER, D3DTEXF_POINT},
    {0, D3DTSS_MINFILTER, D3DTEXF_POINT},   {0, D3DTSS_MIPFILTER, D3DTEXF_NONE},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},    {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
};

// Sets the text states and puts back every one of them, the stage-0 texture and the vertex
// shader when it goes out of scope, also when the draw fails.
class TextStateScope {
public:
    TextStateScope(Direct3DDevice8& device, std::shared_ptr<Direct3DTexture8> texture)
        : device_(device), texture_(device.GetTexture(0)), shader_(device.GetVertexShader()) {
        try {
            apply(std::move(texture));
        } catch (...) {
            restore();  // what was changed before the failure
            throw;
        }
    }
    TextStateScope(const TextStateScope&) = delete;
    TextStateScope& operator=(const TextStateScope&) = delete;

    ~TextStateScope() {
        try {
            restore();
        } catch (...) {
            // Only reachable when setting a state failed part-way; the error that got us
            // here is the one to report.
        }
    }

private:
    void apply(std::shared_ptr<Direct3DTexture8> texture) {
        for (auto [state, value] : kTextRenderStates) {
            savedRender_.push_back(device_.GetRenderState(state));
            device_.SetRenderState(state, value);
        }
        for (const StageState& s : kTextStageStates) {
            savedStage_.push_back(device_.GetTextureStageState(s.stage, s.type));
            device_.SetTextureStageState(s.stage, s.type, s.value);
        }
        device_.SetTexture(0, std::move(texture));
        device_.SetVertexShader(kScreenVertexFvf);
    }

    void restore() {
        device_.SetVertexShader(shader_);
        device_.SetTexture(0, texture_);
        for (std::size_t i = savedStage_.size(); i-- > 0;) {
            const StageState& s = kTextStageStates[i];
            device_.SetTextureStageState(s.stage, s.type, savedStage_[i]);
        }
        for (std::size_t i = savedRender_.size(); i-- > 0;)
            device_.SetRenderState(kTextRenderStates[i].first, savedRender_[i]);
    }

    Direct3DDevice8& device_;
    std::shared_ptr<Direct3DTexture8> texture_;
    uint32_t shader_;
    std::vector<uint32_t> savedRender_;
    std::vector<uint32_t> savedStage_;
};

// Pixel centres lie on whole coordinates, so the quad's edges sit half a pixel before them
// for texel i to land exactly on pixel area.left() + i.
void drawQuad(Direct3DDevice8& device, const QRect& area, std::shared_ptr<Direct3DTexture8> texture) {
    float left = float(area.left()) - 0.5f, top = float(area.top()) - 0.5f;
    float right = left + float(area.width()), bottom = top + float(area.height());
    const ScreenVertex quad[6] = {
        {left, top, 0, 1, 0xFFFFFFFFu, 0, 0},     {right, top, 0, 1, 0xFFFFFFFFu, 1, 0},
        {left, bottom, 0, 1, 0xFFFFFFFFu, 0, 1},  {right, top, 0, 1, 0xFFFFFFFFu, 1, 0},
        {right, bottom, 0, 1, 0xFFFFFFFFu, 1, 1}, {left, bottom, 0, 1, 0xFFFFFFFFu, 0, 1},
    };
    TextStateScope scope(device, std::move(texture));
    device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(ScreenVertex));
}

}  // namespace

struct D3DXFont::TextCache {
    struct Text {
        QString text;
        D3DRECT rect;
        uint32_t format;
        D3DCOLOR color;
        QRect target;
        QRect area;
        int32_t height;
        std::shared_ptr<Direct3DTexture8> texture;
    };

    // The text's entry, made (and the least recently used one dropped) when it is not kept.
    const Text& lookUp(const QString& text, const D3DRECT& rect, uint32_t format, D3DCOLOR color,
                       const QRect& target) {
        auto same = [&](const Text& c) {
            return c.format == format && c.color == color && c.rect.x1 == rect.x1 && c.rect.y1 == rect.y1 &&
                   c.rect.x2 == rect.x2 && c.rect.y2 == rect.y2 && c.target == target && c.text == text;
        };
        auto hit = std::find_if(texts.begin(), texts.end(), same);
        if (hit != texts.end()) {
            texts.splice(texts.begin(), texts, hit);
            return texts.front();
        }
        TextImage image = renderTextImage(font, text, rect, format, color, target);
        std::shared_ptr<Direct3DTexture8> texture;
        if (!image.area.isEmpty()) {
            texture = std::make_shared<Direct3DTexture8>(image.area.width(), image.area.height(), 1, 0,
                                                         D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
            texture->mutableLevel(0).texels = std::move(image.texels);
        }
        texts.push_front({text, rect, format, color, target, image.area, image.height, std::move(texture)});
        if (texts.size() > kCacheSize) texts.pop_back();
        return texts.front();
    }

    QFont font;
    std::list<Text> texts;  // most recently used first
};

D3DXFont::D3DXFont(std::shared_ptr<Direct3DDevice8> device, const QFont& font)
    : device_(std::move(device)), cache_(std::make_unique<TextCache>(TextCache{font, {}})) {}

D3DXFont::~D3DXFont() = default;

const QFont& D3DXFont::font() const { return cache_->font; }

std::size_t D3DXFont::cachedTextCount() const { return cache_->texts.size(); }

int32_t D3DXFont::DrawTextW(const std::u16string& text, int32_t count, const D3DRECT& rect,
                            uint32_t format, D3DCOLOR color) {
    QString qtext = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    return DrawTextW(qtext, count, rect, format, color);
}

int32_t D3DXFont::DrawTextW(const QString& text, int32_t count, const D3DRECT& rect, uint32_t format,
                            D3DCOLOR color) {
    if (!device_) rt::raiseStatus(D3DERR_INVALIDCALL, "ID3DXFont::DrawTextW", "the font has no device");
    QString shown = (count < 0 || count >= text.size()) ? text : text.left(count);
    QRect target(0, 0, int(device_->backBufferWidth()), int(device_->backBufferHeight()));
    const TextCache::Text& entry = cache_->lookUp(shown, rect, format, color, target);
    if (entry.texture) drawQuad(*device_, entry.area, entry.texture);
    return entry.height;
}
