// Drawing sessions: the engine's stand-in for a display library that draws 24-bit bottom-up
// pictures scaled into a window. The window is the caller's drawing surface (RXVDrawSurface);
// the surface does the scaling, the engine checks what it is handed and passes it on.
#include "rxvlib11.h"

#include <mutex>
#include <new>
#include <unordered_set>

struct RXVDrawDib {
    int32_t destinationWidth = 0;
    int32_t destinationHeight = 0;
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;
    bool begun = false;
};

namespace
{

// Handles come from the program and may be stale; only handles in this set are ever touched.
std::mutex g_mutex;
std::unordered_set<RXVDrawDib *> g_open;

bool isOpen(RXVDrawDib *drawDib)
{
    return drawDib != nullptr && g_open.count(drawDib) != 0;
}

bool usable(const RXVDrawSurface *surface)
{
    return surface != nullptr && surface->size >= sizeof(RXVDrawSurface) &&
           surface->draw != nullptr;
}

} // namespace

RXVDrawDib *QVIDDrawDibOpen(void)
{
    auto *drawDib = new (std::nothrow) RXVDrawDib;
    if (drawDib == nullptr) return nullptr;
    std::lock_guard lock(g_mutex);
    try {
        g_open.insert(drawDib);
    } catch (...) {
        delete drawDib;
        return nullptr;
    }
    return drawDib;
}

int32_t QVIDDrawDibClose(RXVDrawDib *drawDib)
{
    std::lock_guard lock(g_mutex);
    if (!isOpen(drawDib)) return 0;
    g_open.erase(drawDib);
    delete drawDib;
    return 1;
}

int32_t QVIDDrawDibBegin(RXVDrawDib *drawDib, RXVDrawSurface *surface, int32_t destinationWidth,
                         int32_t destinationHeight, int32_t pictureWidth, int32_t pictureHeight,
                         int32_t bits)
{
    std::lock_guard lock(g_mutex);
    if (!isOpen(drawDib) || !usable(surface) || destinationWidth < 1 || destinationHeight < 1 ||
        pictureWidth < 1 || pictureHeight < 1 || bits != 24)
        return 0;
    drawDib->destinationWidth = destinationWidth;
    drawDib->destinationHeight = destinationHeight;
    drawDib->pictureWidth = pictureWidth;
    drawDib->pictureHeight = pictureHeight;
    drawDib->begun = true;
    return 1;
}

int32_t QVIDDrawDibDraw(RXVDrawDib *drawDib, RXVDrawSurface *surface, int32_t destinationWidth,
                        int32_t destinationHeight, const uint8_t *bits, int32_t pictureWidth,
                        int32_t pictureHeight, int32_t bitCount)
{
    {
        std::lock_guard lock(g_mutex);
        if (!isOpen(drawDib)) return 0;
    }
    if (!usable(surface) || bits == nullptr || destinationWidth < 1 || destinationHeight < 1 ||
        pictureWidth < 1 || pictureHeight < 1 || bitCount != 24)
        return 0;
    // Called without the lock: a surface may call back into the engine while it paints.
    surface->draw(surface, bits, pictureWidth, pictureHeight, 0, 0, destinationWidth,
                  destinationHeight);
    return 1;
}

int32_t QVIDDrawDibRealize(RXVDrawDib *drawDib, RXVDrawSurface *surface)
{
    (void)drawDib;
    (void)surface;
    return 0; // 24-bit pictures have no palette to map
}

int32_t QVIDDrawDibEnd(RXVDrawDib *drawDib)
{
    std::lock_guard lock(g_mutex);
    if (!isOpen(drawDib)) return 0;
    *drawDib = RXVDrawDib{};
    return 1;
}
