// The engine's process-wide state, its transform tables and its millisecond clock.
#include "engine.h"

#include <ctime>

namespace rxv
{

namespace
{
Engine g_engine;
ProductTables g_products;
GreyTables g_grey;
} // namespace

Engine &engine()
{
    return g_engine;
}
const ProductTables &productTables()
{
    return g_products;
}
const GreyTables &greyTables()
{
    return g_grey;
}

void buildTables()
{
    ProductTables &t = g_products;
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t c = i - 128;
        t.y0[i] = 16829 * i;
        t.y1[i] = 33039 * i;
        t.y2[i] = 6416 * i;
        t.u0[i] = -4853 * i;
        t.u1[i] = -9530 * i;
        t.u2[i] = 14383 * i;
        t.v0[i] = 14386 * i;
        t.v1[i] = -12046 * i;
        t.v2[i] = -2340 * i;
        t.yd[i] = kLumaScale * i;
        t.vr[i] = 104635 * c;
        t.vg[i] = -53294 * c;
        t.ug[i] = -25690 * c;
        t.ub[i] = 132278 * c;
    }
    for (int i = 0; i < 16; ++i) {
        g_grey.grey4[i] = static_cast<uint8_t>(i == 0 ? 0 : 16 - i);
        g_grey.grey6[i] = static_cast<uint8_t>(15 - i);
    }
}

uint32_t milliseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

} // namespace rxv
