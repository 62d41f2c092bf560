#pragma once

// The one font of drawing surfaces: DejaVu Sans found through fontconfig, rendered by FreeType at a size
// close to the classic 16-pixel system font. Loaded on first use and kept for the life of the process;
// rendered glyphs are cached. All calls are thread-safe.

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform::freetype {

// An antialiased glyph: coverage 0..255, rows top to bottom, placed relative to the pen on the baseline.
struct Glyph {
    int left = 0;  // from the pen to the first column
    int top = 0;   // from the baseline up to the first row
    int width = 0;
    int rows = 0;
    int advance = 0;  // pixels to the next pen position
    std::vector<std::uint8_t> coverage;
};

class DrawingFont {
  public:
    // Null when no font can be loaded.
    static DrawingFont* Default();

    // Pixels from the top of a text cell down to the baseline.
    int Ascender() const { return ascender; }
    // The glyph for a code point (an empty glyph when the font has none); valid for the life of the font.
    const Glyph& GlyphFor(char32_t codePoint);

    ~DrawingFont();
    DrawingFont(const DrawingFont&) = delete;
    DrawingFont& operator=(const DrawingFont&) = delete;

  private:
    DrawingFont() = default;
    bool Load();

    std::mutex lock;
    void* library = nullptr;  // FT_Library, guarded by lock
    void* face = nullptr;     // FT_Face, guarded by lock
    int ascender = 0;
    std::unordered_map<char32_t, Glyph> glyphs;  // guarded by lock; entries are never removed
};

}  // namespace platform::freetype
