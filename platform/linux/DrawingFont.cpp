#include "platform/linux/DrawingFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>
#include <string>

namespace platform::freetype {
namespace {

constexpr const char* kFamily = "DejaVu Sans";
// 13 pixels to the em give DejaVu Sans a 15-pixel cell, the size of the classic 16-pixel system font.
constexpr FT_UInt kPixelsPerEm = 13;
constexpr int kFixedPointShift = 6;  // FreeType's 26.6 fixed-point pixels

int RoundedPixels(FT_Pos value) {
    return static_cast<int>((value + 32) >> kFixedPointShift);
}

// The file (and face index) of the font that fontconfig picks for the family.
bool FindFontFile(std::string& path, int& index) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) {
        return false;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kFamily));
    bool found = false;
    if (pattern != nullptr) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcChar8* file = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            path = reinterpret_cast<const char*>(file);
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) {
                index = 0;
            }
            found = true;
        }
        if (match != nullptr) {
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return found;
}

}  // namespace

DrawingFont* DrawingFont::Default() {
    // Built once, by whichever thread draws first.
    static const std::unique_ptr<DrawingFont> font = [] {
        std::unique_ptr<DrawingFont> loaded(new DrawingFont());
        if (!loaded->Load()) {
            loaded.reset();
        }
        return loaded;
    }();
    return font.get();
}

bool DrawingFont::Load() {
    std::string path;
    int index = 0;
    if (!FindFontFile(path, index)) {
        return false;
    }
    FT_Library ftLibrary = nullptr;
    if (FT_Init_FreeType(&ftLibrary) != 0) {
        return false;
    }
    library = ftLibrary;
    FT_Face ftFace = nullptr;
    if (FT_New_Face(ftLibrary, path.c_str(), index, &ftFace) != 0) {
        return false;
    }
    face = ftFace;
    if (FT_Set_Pixel_Sizes(ftFace, 0, kPixelsPerEm) != 0) {
        return false;
    }
    ascender = RoundedPixels(ftFace->size->metrics.ascender);
    return true;
}

DrawingFont::~DrawingFont() {
    if (face != nullptr) {
        FT_Done_Face(static_cast<FT_Face>(face));
    }
    if (library != nullptr) {
        FT_Done_FreeType(static_cast<FT_Library>(library));
    }
}

const Glyph& DrawingFont::GlyphFor(char32_t codePoint) {
    std::lock_guard<std::mutex> guard(lock);
    if (const auto cached = glyphs.find(codePoint); cached != glyphs.end()) {
        return cached->second;
    }
    Glyph glyph;
    auto* ftFace = static_cast<FT_Face>(face);
    if (FT_Load_Char(ftFace, codePoint, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) == 0) {
        const FT_GlyphSlot slot = ftFace->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        glyph.advance = RoundedPixels(slot->advance.x);
        if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            glyph.width = static_cast<int>(bitmap.width);
            glyph.rows = static_cast<int>(bitmap.rows);
            glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * glyph.rows);
            for (int row = 0; row < glyph.rows; ++row) {
                const unsigned char* source = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
                std::copy(source, source + glyph.width, glyph.coverage.begin() + row * glyph.width);
            }
        }
    }
    return glyphs.emplace(codePoint, std::move(glyph)).first->second;
}

}  // namespace platform::freetype
