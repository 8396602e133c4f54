// Text rendering on FreeType with a fixed-pitch system font.
#include "textfont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace rxv
{

namespace
{

// A console-sized font: at 13 pixels DejaVu Sans Mono has 8-pixel cells, 15 pixels high.
constexpr FT_UInt kPixelSize = 13;
constexpr const char *kDefaultFonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/freefont/FreeMono.ttf",
};

struct Font {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string path;
    bool named = false; // chosen through OVELA_VIDEO_FONT
    int cellWidth = 0;
    int cellHeight = 0;
    int baseline = 0; // rows from the top of the cell to the baseline
};

std::mutex g_mutex;
Font g_font;

void unload()
{
    if (g_font.face) FT_Done_Face(g_font.face);
    if (g_font.library) FT_Done_FreeType(g_font.library);
    g_font = Font{};
}

bool loadFrom(const std::string &path, bool named)
{
    if (FT_Init_FreeType(&g_font.library) != 0) return false;
    if (FT_New_Face(g_font.library, path.c_str(), 0, &g_font.face) != 0 ||
        !FT_IS_SCALABLE(g_font.face) || FT_Set_Pixel_Sizes(g_font.face, 0, kPixelSize) != 0) {
        unload();
        return false;
    }
    const FT_Face face = g_font.face;
    const double scale = static_cast<double>(kPixelSize) / face->units_per_EM;
    // The cell is the width of one character; for a fixed-pitch font every advance is equal.
    g_font.cellWidth = static_cast<int>((face->size->metrics.max_advance + 32) >> 6);
    g_font.baseline = static_cast<int>(face->ascender * scale + 0.5);
    g_font.cellHeight = static_cast<int>((face->ascender - face->descender) * scale + 0.5);
    g_font.path = path;
    g_font.named = named;
    if (g_font.cellWidth <= 0 || g_font.cellHeight <= 0) {
        unload();
        return false;
    }
    return true;
}

// The font to use: the one named by OVELA_VIDEO_FONT (no fallback, so a wrong name shows), else
// the first system font present. The loaded face is kept while the choice does not change.
bool ensureFont()
{
    const char *chosen = std::getenv("OVELA_VIDEO_FONT");
    const bool named = chosen != nullptr && *chosen != '\0';
    if (g_font.face && g_font.named == named && (!named || g_font.path == chosen)) return true;
    unload();
    if (named) return loadFrom(chosen, true);
    for (const char *path : kDefaultFonts)
        if (loadFrom(path, false)) return true;
    return false;
}

// Next code point of UTF-8 text; a byte that does not start a complete sequence stands for
// itself (Latin-1), so any byte string renders.
char32_t nextCodePoint(const unsigned char *s, std::size_t length, std::size_t &i)
{
    const unsigned char lead = s[i];
    const std::size_t extra = lead >= 0xF0 && lead <= 0xF4  ? 3
                              : lead >= 0xE0 && lead < 0xF0 ? 2
                              : lead >= 0xC2 && lead < 0xE0 ? 1
                                                            : 0;
    if (extra == 0 || i + extra >= length) {
        ++i;
        return lead;
    }
    char32_t cp = lead & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        const unsigned char c = s[i + k];
        if ((c & 0xC0) != 0x80) {
            ++i;
            return lead;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += extra + 1;
    return cp;
}

void drawGlyph(const FT_GlyphSlot glyph, int cellX, uint8_t *picture, int width, int height)
{
    const FT_Bitmap &bitmap = glyph->bitmap;
    const int left = cellX + glyph->bitmap_left;
    const int top = g_font.baseline - glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const int y = top + static_cast<int>(row);
        if (y < 0 || y >= height) continue;
        // Bottom row first: text row y lands in buffer row height - 1 - y.
        uint8_t *line = picture + static_cast<std::size_t>(height - 1 - y) * width * 3;
        const unsigned char *src = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; ++col) {
            const int x = left + static_cast<int>(col);
            if (x < 0 || x >= width) continue;
            uint8_t *pixel = line + static_cast<std::size_t>(x) * 3;
            const uint8_t value = std::max(pixel[0], static_cast<uint8_t>(src[col]));
            pixel[0] = pixel[1] = pixel[2] = value;
        }
    }
}

} // namespace

bool renderText(const char *text, std::size_t length, uint8_t *picture, std::size_t maxBytes,
                int &width, int &height)
{
    std::lock_guard lock(g_mutex);
    if (!ensureFont()) return false;
    const std::size_t bytes =
        length * static_cast<std::size_t>(g_font.cellWidth) * g_font.cellHeight * 3;
    if (bytes > maxBytes || (length > 0 && (text == nullptr || picture == nullptr))) return false;
    const int w = static_cast<int>(length) * g_font.cellWidth;
    const int h = g_font.cellHeight;
    if (bytes == 0) { // an empty text: a picture without columns
        width = 0;
        height = h;
        return true;
    }
    std::memset(picture, 0, bytes);
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    int cell = 0;
    for (std::size_t i = 0; i < length; ++cell) {
        const char32_t cp = nextCodePoint(s, length, i);
        if (cp == U' ' || FT_Load_Char(g_font.face, cp, FT_LOAD_RENDER) != 0) continue;
        if (g_font.face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
            drawGlyph(g_font.face->glyph, cell * g_font.cellWidth, picture, w, h);
    }
    width = w;
    height = h;
    return true;
}

void releaseFont()
{
    std::lock_guard lock(g_mutex);
    unload();
}

} // namespace rxv
