#include <new>
#include <string_view>
#include <vector>

#include "platform/Drawing.h"
#include "platform/linux/DrawingFont.h"

namespace platform {
namespace {

using freetype::DrawingFont;
using freetype::Glyph;

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Code points of UTF-8 text; a malformed sequence gives one replacement character per byte.
std::vector<char32_t> DecodeUtf8(std::string_view text) {
    std::vector<char32_t> codePoints;
    codePoints.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80           ? 1
                     : (lead >> 5) == 0x6  ? 2
                     : (lead >> 4) == 0xE  ? 3
                     : (lead >> 3) == 0x1E ? 4
                                           : 0;
        char32_t value = length == 1   ? lead
                         : length == 2 ? lead & 0x1F
                         : length == 3 ? lead & 0x0F
                                       : lead & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        if (!valid) {
            codePoints.push_back(kReplacementCharacter);
            ++i;
            continue;
        }
        codePoints.push_back(value);
        i += length;
    }
    return codePoints;
}

class FreeTypeSurface final : public DrawingSurface {
  public:
    FreeTypeSurface(std::uint8_t* pixels, int pictureWidth, int pictureHeight, int rowStride)
        : bits(pixels), width(pictureWidth), height(pictureHeight), stride(rowStride) {}

    std::uint8_t* Bits() const override { return bits; }
    int Width() const override { return width; }
    int Height() const override { return height; }
    int Stride() const override { return stride; }

    void SetTextAlign(TextAlign newAlign) override { align = newAlign; }
    void SetTextColor(Rgb newColor) override { color = newColor; }

    void DrawText(int x, int y, std::string_view text) override {
        DrawingFont* font = DrawingFont::Default();
        if (font == nullptr) {
            return;
        }
        std::vector<const Glyph*> run;
        int advance = 0;
        for (const char32_t codePoint : DecodeUtf8(text)) {
            run.push_back(&font->GlyphFor(codePoint));
            advance += run.back()->advance;
        }
        int pen = align == TextAlign::Right ? x - advance : x;
        const int baseline = y + font->Ascender();
        for (const Glyph* glyph : run) {
            Blend(*glyph, pen + glyph->left, baseline - glyph->top);
            pen += glyph->advance;
        }
    }

  private:
    // Mixes the colour into the pixels in proportion to the glyph's coverage, skipping what lies outside.
    void Blend(const Glyph& glyph, int left, int top) {
        for (int row = 0; row < glyph.rows; ++row) {
            const int y = top + row;
            if (y < 0 || y >= height) {
                continue;
            }
            std::uint8_t* line =
                bits + static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(stride);
            const std::uint8_t* coverage =
                glyph.coverage.data() + static_cast<std::size_t>(row) * glyph.width;
            for (int column = 0; column < glyph.width; ++column) {
                const int x = left + column;
                const unsigned alpha = coverage[column];
                if (x < 0 || x >= width || alpha == 0) {
                    continue;
                }
                std::uint8_t* pixel = line + static_cast<std::size_t>(x) * kBytesPerPixel;
                pixel[0] = Mix(pixel[0], color.blue, alpha);
                pixel[1] = Mix(pixel[1], color.green, alpha);
                pixel[2] = Mix(pixel[2], color.red, alpha);
            }
        }
    }

    static std::uint8_t Mix(unsigned background, unsigned foreground, unsigned alpha) {
        return static_cast<std::uint8_t>((background * (255 - alpha) + foreground * alpha + 127) / 255);
    }

    std::uint8_t* bits;
    int width;
    int height;
    int stride;
    TextAlign align = TextAlign::Left;
    Rgb color{};
};

}  // namespace

std::unique_ptr<DrawingSurface> DrawingSurface::Create(std::uint8_t* bits, int width, int height,
                                                       int stride) {
    if (bits == nullptr || width <= 0 || height <= 0 || static_cast<long long>(stride) < 3LL * width) {
        return nullptr;
    }
    return std::unique_ptr<DrawingSurface>(new (std::nothrow) FreeTypeSurface(bits, width, height, stride));
}

}  // namespace platform
