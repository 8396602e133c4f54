// Fixed-pitch text rendered white on black into a 24-bit bottom-up picture (captions burnt into
// outgoing pictures). The font is DejaVu Sans Mono through FreeType; OVELA_VIDEO_FONT may name
// another font file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rxv
{

// Renders length bytes of UTF-8 text, one character per cell, into picture (at most maxBytes).
// False when the font cannot be loaded or the picture would not fit; width and height are only
// set on success.
bool renderText(const char *text, std::size_t length, uint8_t *picture, std::size_t maxBytes,
                int &width, int &height);

// Releases the loaded font (QVIDTerminate).
void releaseFont();

} // namespace rxv
