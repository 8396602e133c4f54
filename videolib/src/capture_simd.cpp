// The SSSE3 row kernels. Each component is computed in 32 bits exactly as the plain loop does
// ((luma * 65000 + part) >> 16, limited to 0..255 by saturating packs), then sixteen reds,
// greens and blues are interleaved into 48 bytes with byte shuffles. Shuffles are what limits
// these loops, so the planar one takes its pixels in an order that needs none to spread the
// chroma parts.
#include "capture_simd.h"

#include "engine.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RXV_TARGET __attribute__((target("ssse3")))

namespace rxv::simd
{

namespace
{

// Byte shuffles that interleave three registers of 16 components into 48 bytes of triplets.
// Mask 3 * v + k fills component k of the triplets in output register v. The picture's pixel i
// is byte i of a register, or with phased order byte (i % 4) * 4 + i / 4 (see planarRow).
struct TripletMasks {
    alignas(16) int8_t bytes[9][16];
};
constexpr TripletMasks tripletMasks(bool phased)
{
    TripletMasks m{};
    for (int v = 0; v < 3; ++v)
        for (int j = 0; j < 16; ++j) {
            const int pixel = (16 * v + j) / 3, component = (16 * v + j) % 3;
            const int source = phased ? (pixel % 4) * 4 + pixel / 4 : pixel;
            for (int k = 0; k < 3; ++k)
                m.bytes[3 * v + k][j] = static_cast<int8_t>(k == component ? source : -1);
        }
    return m;
}
constexpr TripletMasks kInOrder = tripletMasks(false);
constexpr TripletMasks kPhased = tripletMasks(true);

// Writes 16 triplets (a, b, c).
RXV_TARGET inline void storeTriplets(const TripletMasks &masks, __m128i a, __m128i b, __m128i c,
                                     uint8_t *out)
{
    const auto *m = reinterpret_cast<const __m128i *>(masks.bytes);
    auto *o = reinterpret_cast<__m128i *>(out);
    for (int v = 0; v < 3; ++v)
        _mm_storeu_si128(
            o + v,
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, _mm_load_si128(m + 3 * v)),
                                      _mm_shuffle_epi8(b, _mm_load_si128(m + 3 * v + 1))),
                         _mm_shuffle_epi8(c, _mm_load_si128(m + 3 * v + 2))));
}

// One component of sixteen pixels in phased order: the four luma phases (each already times
// 65000) plus the parts of their pixels, shifted right by 16 and limited to 0..255 by the
// saturating packs. Phases 0 and 1 take parts `first`, phases 2 and 3 parts `second`.
RXV_TARGET inline __m128i component(const __m128i luma[4], __m128i first, __m128i second)
{
    const __m128i p0 = _mm_srai_epi32(_mm_add_epi32(luma[0], first), 16);
    const __m128i p1 = _mm_srai_epi32(_mm_add_epi32(luma[1], first), 16);
    const __m128i p2 = _mm_srai_epi32(_mm_add_epi32(luma[2], second), 16);
    const __m128i p3 = _mm_srai_epi32(_mm_add_epi32(luma[3], second), 16);
    return _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3));
}

RXV_TARGET inline __m128i load(const int32_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// Sixteen pixels are taken as four phases: phase p holds pixels p, p + 4, p + 8, p + 12, one per
// 32-bit lane, so that each lane's chroma part is one plain load: with runs of 4 every phase
// takes runs x/4 .. x/4 + 3; with runs of 2 phases 0 and 1 take the even runs and phases 2 and 3
// the odd ones, which the caller laid out as all even runs, then all odd runs, of the row.
template <int Block, bool RedFirst>
RXV_TARGET void planarRowSsse3(const uint8_t *luma, const int32_t *const parts[3], int width,
                               uint8_t *out)
{
    // Luma * 65000 as one multiply-add of (2 * luma, 0) by (32500, 32500).
    static_assert(kLumaScale % 2 == 0 && kLumaScale / 2 <= 32767);
    const __m128i scale = _mm_set1_epi32(kLumaScale / 2);
    const __m128i twice = _mm_set1_epi32(0x1FE);
    const int half = width / 4; // with runs of 2: where the odd runs start
    for (int x = 0; x < width; x += 16, out += 48) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(luma + x));
        const __m128i y[4] = {
            _mm_madd_epi16(_mm_and_si128(_mm_slli_epi32(v, 1), twice), scale),
            _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(v, 7), twice), scale),
            _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(v, 15), twice), scale),
            _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(v, 23), twice), scale)};
        __m128i c[3];
        for (int k = 0; k < 3; ++k) {
            if constexpr (Block == 2) {
                c[k] = component(y, load(parts[k] + x / 4), load(parts[k] + half + x / 4));
            } else {
                const __m128i p = load(parts[k] + x / 4);
                c[k] = component(y, p, p);
            }
        }
        if constexpr (RedFirst)
            storeTriplets(kPhased, c[0], c[1], c[2], out);
        else
            storeTriplets(kPhased, c[2], c[1], c[0], out);
    }
}

RXV_TARGET void rgb555RowSsse3(const uint8_t *in, int width, uint8_t *out)
{
    const __m128i five = _mm_set1_epi16(31);
    for (int x = 0; x < width; x += 16, in += 32, out += 48) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16));
        // (p >> shift & 31) * 8 of all sixteen pixels, as bytes.
        const auto field = [&](int shift) RXV_TARGET {
            return _mm_packus_epi16(
                _mm_slli_epi16(_mm_and_si128(_mm_srli_epi16(p0, shift), five), 3),
                _mm_slli_epi16(_mm_and_si128(_mm_srli_epi16(p1, shift), five), 3));
        };
        storeTriplets(kInOrder, field(0), field(5), field(10), out);
    }
}

} // namespace

namespace
{
std::atomic<bool> g_allowed{true};
}

bool available()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has && g_allowed.load(std::memory_order_relaxed);
}

void allow(bool allowed)
{
    g_allowed = allowed;
}

void planarRow(const uint8_t *luma, const int32_t *const parts[3], int block, bool redFirst,
               int width, uint8_t *out)
{
    if (block == 2 && !redFirst)
        planarRowSsse3<2, false>(luma, parts, width, out);
    else if (block == 4 && redFirst)
        planarRowSsse3<4, true>(luma, parts, width, out);
    else if (block == 2)
        planarRowSsse3<2, true>(luma, parts, width, out);
    else
        planarRowSsse3<4, false>(luma, parts, width, out);
}

void rgb555Row(const uint8_t *in, int width, uint8_t *out)
{
    rgb555RowSsse3(in, width, out);
}

} // namespace rxv::simd

#else

namespace rxv::simd
{
bool available()
{
    return false;
}
void allow(bool) {}
void planarRow(const uint8_t *, const int32_t *const[3], int, bool, int, uint8_t *)
{
}
void rgb555Row(const uint8_t *, int, uint8_t *) {}
} // namespace rxv::simd

#endif
