// Media packets through QVIDProcessData as the program hands them over: kinds and results,
// lying length fields, JPEG pictures drawn on the playback surface, stream frames and the ring.
#include "picture_support.h"
#include "rxvlib11.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace rxvtest;

namespace
{

constexpr int32_t kPayloadBuffer = 29000; // the program's receive buffer

struct Parsed {
    int32_t result = 0;
    int16_t kind = -1;
    Bytes payload;
};

Parsed process(const Bytes &p, int32_t capacity = kPayloadBuffer)
{
    Parsed out;
    out.payload.assign(static_cast<size_t>(capacity) + 16, 0xCC);
    out.result = QVIDProcessData(p.data(), static_cast<int32_t>(p.size()), out.payload.data(),
                                 capacity, &out.kind);
    return out;
}

Bytes pattern(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 31);
    return b;
}

class Engine : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QVIDInitialize(nullptr), 0);
        drawDib = QVIDDrawDibOpen();
        ASSERT_NE(drawDib, nullptr);
        ASSERT_EQ(QVIDDrawDibBegin(drawDib, &surface.surface, 320, 240, 320, 240, 24), 1);
        QVIDInitPlaybackEngine(drawDib, &surface.surface);
    }
    void TearDown() override
    {
        QVIDFlushEvents();
        QVIDDrawDibEnd(drawDib);
        QVIDDrawDibClose(drawDib);
        QVIDTerminate();
    }
    int16_t writeIndex()
    {
        int16_t w = -1, r = -1;
        QVIDGetTimeInfo(nullptr, nullptr, &w, &r);
        return w;
    }
    RecordingSurface surface;
    RXVDrawDib *drawDib = nullptr;
};

// ---- kinds, results and copies ----

struct PacketCase {
    const char *name;
    const char *tag;
    const char *lengthField;
    size_t delivered; // payload bytes present in the packet
    int32_t capacity;
    int16_t kind;
    int32_t result;
    size_t copied;
};

class PacketKinds : public Engine, public testing::WithParamInterface<PacketCase>
{
};

TEST_P(PacketKinds, KindResultAndCopy)
{
    const PacketCase &c = GetParam();
    const Bytes payload = pattern(c.delivered, 9);
    const Parsed p = process(packet(c.tag, c.lengthField, payload), c.capacity);
    EXPECT_EQ(p.kind, c.kind);
    EXPECT_EQ(p.result, c.result);
    EXPECT_EQ(0, std::memcmp(p.payload.data(), payload.data(), c.copied));
    for (size_t i = c.copied; i < p.payload.size(); ++i)
        ASSERT_EQ(p.payload[i], 0xCC) << "byte " << i << " written";
}

INSTANTIATE_TEST_SUITE_P(
    Tags, PacketKinds,
    testing::Values(PacketCase{"unknownTag", "XYZ", "00012", 12, kPayloadBuffer, 0, 12, 0},
                    PacketCase{"lowerCaseIsUnknown", "aud", "00004", 4, kPayloadBuffer, 0, 4, 0},
                    PacketCase{"audio", "AUD", "00331", 331, kPayloadBuffer, 2, 331, 331},
                    PacketCase{"text", "TXT", "00005", 5, kPayloadBuffer, 3, 5, 5},
                    PacketCase{"data1", "DT1", "00010", 10, kPayloadBuffer, 4, 10, 10},
                    PacketCase{"data2", "DT2", "00010", 10, kPayloadBuffer, 5, 10, 10},
                    PacketCase{"data3", "DT3", "00010", 10, kPayloadBuffer, 6, 10, 10},
                    PacketCase{"data4", "DT4", "00010", 10, kPayloadBuffer, 7, 10, 10},
                    PacketCase{"lengthAboveDelivered", "TXT", "00100", 10, kPayloadBuffer, 3, 10,
                               10},
                    PacketCase{"lengthAboveCapacity", "AUD", "00050", 50, 20, 2, 20, 20},
                    PacketCase{"maximumLength", "AUD", "99999", 300, kPayloadBuffer, 2, 300, 300},
                    PacketCase{"lengthBelowDelivered", "TXT", "00003", 10, kPayloadBuffer, 3, 3, 3},
                    PacketCase{"negativeLength", "AUD", "-0005", 5, kPayloadBuffer, 2, 0, 0},
                    PacketCase{"blankPadded", "TXT", "   12", 12, kPayloadBuffer, 3, 12, 12},
                    PacketCase{"notANumber", "AUD", "abcde", 8, kPayloadBuffer, 2, 0, 0},
                    PacketCase{"zeroCapacity", "TXT", "00005", 5, 0, 3, 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Engine, PacketsShorterThanTheirHeaderReadNothingBeyondThem)
{
    for (const char *text : {"", "AU", "AUD", "AUD0", "AUD00004"}) {
        const size_t n = std::strlen(text);
        Bytes p(text, text + n); // exactly the delivered bytes: ASan sees any read past them
        uint8_t payload[8];
        int16_t kind = -1;
        const int32_t r = QVIDProcessData(p.data(), static_cast<int32_t>(n), payload, 8, &kind);
        EXPECT_EQ(kind, n >= 3 ? RXV_KIND_AUDIO : RXV_KIND_UNKNOWN) << text;
        EXPECT_EQ(r, 0) << text;
    }
}

// ---- JPEG pictures ----

Bytes kjp(int width, int height, int phase, int quality = 30)
{
    const Bytes picture = naturalPicture(width, height, phase);
    Bytes jpeg(120000);
    const int32_t n =
        QVIDCompressStill(picture.data(), static_cast<int16_t>(width), static_cast<int16_t>(height),
                          static_cast<int16_t>(quality), jpeg.data(), 120000);
    jpeg.resize(static_cast<size_t>(n));
    return packet("KJP", jpeg);
}

TEST_F(Engine, JpegPicturesAreDrawnAndANewWidthRestartsDrawing)
{
    const Parsed first = process(kjp(320, 240, 1));
    EXPECT_EQ(first.kind, RXV_KIND_PICTURE);
    ASSERT_EQ(surface.calls.size(), 1u);
    const DrawCall &c = surface.calls[0];
    EXPECT_EQ(c.width, 320);
    EXPECT_EQ(c.dstWidth, 320);
    EXPECT_EQ(c.dstHeight, 240);
    const Bytes sent = naturalPicture(320, 240, 1);
    EXPECT_GT(psnr(sent.data(), c.picture.data(), sent.size()), 26.5);

    process(kjp(160, 120, 2));
    process(kjp(160, 120, 3));
    ASSERT_EQ(surface.calls.size(), 3u);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(surface.calls[i].width, 160);
        EXPECT_EQ(surface.calls[i].dstWidth, 160);
        EXPECT_EQ(surface.calls[i].dstHeight, 120);
    }
    int16_t w = 0, h = 0;
    RXVGetImageSize(&w, &h);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);

    // The display size set by the program holds while the picture width stays the same.
    QVIDSetDibSize(640, 480);
    process(kjp(160, 120, 4));
    EXPECT_EQ(surface.calls.back().dstWidth, 640);
    EXPECT_EQ(surface.calls.back().dstHeight, 480);
}

TEST_F(Engine, JpegLargerThanThePayloadBufferIsDrawnWhole)
{
    const Bytes p = kjp(640, 480, 5, 85); // well above the 29,000-byte buffer
    ASSERT_GT(p.size(), 40000u);
    ASSERT_LT(p.size(), 100000u);
    const Parsed parsed = process(p);
    EXPECT_EQ(parsed.result, static_cast<int32_t>(p.size() - 8));
    EXPECT_EQ(parsed.payload[kPayloadBuffer], 0xCC) << "copied past the buffer";
    ASSERT_EQ(surface.calls.size(), 1u);
    const Bytes sent = naturalPicture(640, 480, 5);
    const size_t lastRows = 640 * 40 * 3; // the end of the stream arrived too
    EXPECT_GT(psnr(sent.data() + sent.size() - lastRows,
                   surface.calls[0].picture.data() + sent.size() - lastRows, lastRows),
              28.0);
}

TEST_F(Engine, UndecodableJpegKeepsThePreviousPicture)
{
    process(kjp(320, 240, 1));
    Bytes damaged = packet("KJP", Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x03, 0x01});
    EXPECT_EQ(process(damaged).result, RXV_ERR_BAD_DATA);
    EXPECT_EQ(process(packet("KJP", Bytes{})).result, RXV_ERR_BAD_DATA);
    EXPECT_EQ(surface.calls.size(), 1u);
    int16_t w = 0, h = 0;
    RXVGetImageSize(&w, &h);
    EXPECT_EQ(w, 320);

    // A payload cut at an embedded terminator still shows its upper part.
    Bytes cut = kjp(320, 240, 6);
    cut.resize(cut.size() * 2 / 3);
    EXPECT_EQ(process(cut).result, static_cast<int32_t>(cut.size() - 8));
    EXPECT_EQ(surface.calls.size(), 2u);
}

// ---- stream frames and the ring ----

// An uncoded colour stream frame of size code 5 (320 x 240): type, size, planes.
Bytes streamFrame(uint8_t type = 6, uint8_t sizeCode = 5)
{
    Bytes f(2 + 320 * 240 / 4 + 320 * 240 / 8, 0x77);
    f[0] = type;
    f[1] = sizeCode;
    return f;
}

// Literal runs only: the simplest valid run-length coding of any bytes.
Bytes literalRuns(const Bytes &raw)
{
    Bytes coded;
    for (size_t i = 0; i < raw.size(); i += 127) {
        const size_t n = std::min<size_t>(127, raw.size() - i);
        coded.push_back(static_cast<uint8_t>(0x80 | n));
        coded.insert(coded.end(), raw.begin() + static_cast<long>(i),
                     raw.begin() + static_cast<long>(i + n));
    }
    return coded;
}

TEST_F(Engine, StreamFramesQueueUntilTheRingIsFull)
{
    uint32_t before = 0;
    QVIDGetTimeInfo(&before, nullptr, nullptr, nullptr);
    EXPECT_EQ(process(packet("VID", streamFrame())).result, 320);
    EXPECT_EQ(process(packet("KEN", literalRuns(streamFrame()))).result, 320);
    // A delta of zeros leaves the frame as it is.
    EXPECT_EQ(process(packet("DEN", Bytes{0x82, 6, 5, 0x7F, 0x7F})).result, 320);
    uint32_t after = 0, due = 0;
    int16_t w = -1, r = -1;
    QVIDGetTimeInfo(&after, &due, &w, &r);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(r, 0);
    EXPECT_GE(due - before, 1000u) << "due one second after arrival";
    EXPECT_LE(due - after, 1000u);

    for (int i = 3; i < 19; ++i)
        ASSERT_EQ(process(packet("VID", streamFrame())).result, 320) << i;
    const Parsed full = process(packet("VID", streamFrame()));
    EXPECT_EQ(full.kind, RXV_KIND_PICTURE);
    EXPECT_EQ(full.result, RXV_ERR_RING_FULL);
    EXPECT_EQ(writeIndex(), 19);
    EXPECT_EQ(QVIDAddDataEvent(1, nullptr, 100, 0), RXV_ERR_RING_FULL);

    EXPECT_EQ(QVIDFlushEvents(), 0);
    QVIDGetTimeInfo(nullptr, nullptr, &w, &r);
    EXPECT_EQ(w, r);
    EXPECT_EQ(process(packet("VID", streamFrame())).result, 320) << "room again after a flush";
    EXPECT_EQ(writeIndex(), 0) << "write index wraps from 19 to 0";
}

TEST_F(Engine, StreamFramesThatCannotBeDecodedAreHandledSafely)
{
    // Size code outside the table: nothing queued.
    EXPECT_EQ(process(packet("VID", streamFrame(6, 4))).result, RXV_ERR_BAD_DATA);
    EXPECT_EQ(process(packet("KEN", Bytes{0x82, 6, 7})).result, RXV_ERR_BAD_DATA);
    EXPECT_EQ(process(packet("DEN", Bytes{0x82})).result, RXV_ERR_BAD_DATA);
    EXPECT_EQ(writeIndex(), 0);
    // The slot is reserved from byte 2, but the decoded header says something else: a blank
    // picture is queued and 0 says so.
    EXPECT_EQ(process(packet("KEN", Bytes{0x03, 0x05, 0x05})).result, 0);
    EXPECT_EQ(process(packet("VID", streamFrame(3, 5))).result, 0);
    // A payload that would decode past 64,000 bytes is refused; the frame before is used again.
    EXPECT_EQ(process(packet("VID", streamFrame())).result, 320);
    Bytes tooLong;
    for (int i = 0; i < 505; ++i)
        tooLong.insert(tooLong.end(), {0x7F, 0x01});
    tooLong[1] = 0x06; // keep a plausible header behind the first run
    tooLong.insert(tooLong.begin(), {0x82, 6, 5});
    EXPECT_EQ(process(packet("KEN", tooLong)).result, 320);
    // A lying length field: only the delivered bytes are decoded.
    Bytes lying = packet("KEN", "99999", Bytes{0x82, 6, 5, 0x85, 1, 2});
    EXPECT_EQ(process(lying).result, 320);
    EXPECT_EQ(writeIndex(), 5);
}

TEST_F(Engine, AddDataEventAndRebindingThePlaybackTarget)
{
    const Bytes picture = pattern(300, 1);
    EXPECT_EQ(QVIDAddDataEvent(1, picture.data(), 300, 50), 0);
    EXPECT_EQ(QVIDAddDataEvent(1, nullptr, 300, 50), 1);
    EXPECT_EQ(QVIDAddDataEvent(1, nullptr, -1, 50), RXV_ERR_INVALID);
    EXPECT_EQ(QVIDAddDataEvent(1, nullptr, RXV_MAX_PICTURE_BYTES + 1, 50), RXV_ERR_INVALID);
    EXPECT_EQ(writeIndex(), 2);
    QVIDInitPlaybackEngine(drawDib, &surface.surface);
    int16_t w = -1, r = -1;
    QVIDGetTimeInfo(nullptr, nullptr, &w, &r);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(r, 0);
}

TEST_F(Engine, PicturePacketsNeedTheEngineStarted)
{
    QVIDTerminate();
    EXPECT_EQ(process(kjp(80, 60, 0)).result, RXV_ERR_NOT_READY);
    EXPECT_EQ(process(packet("VID", streamFrame())).result, RXV_ERR_NOT_READY);
    EXPECT_EQ(process(packet("TXT", pattern(5, 0))).result, 5);
    EXPECT_TRUE(surface.calls.empty());
}

// ---- drawing sessions ----

TEST(DrawDib, StaleHandlesAndUnusableSurfacesDrawNothing)
{
    RecordingSurface surface;
    const Bytes picture = naturalPicture(80, 60);
    RXVDrawDib *dd = QVIDDrawDibOpen();
    ASSERT_NE(dd, nullptr);
    EXPECT_EQ(QVIDDrawDibDraw(dd, &surface.surface, 160, 120, picture.data(), 80, 60, 24), 1);
    ASSERT_EQ(surface.calls.size(), 1u);
    EXPECT_EQ(surface.calls[0].dstWidth, 160);
    EXPECT_EQ(surface.calls[0].picture, picture);

    EXPECT_EQ(QVIDDrawDibDraw(dd, &surface.surface, 160, 120, picture.data(), 80, 60, 8), 0);
    RXVDrawSurface tooSmall = surface.surface;
    tooSmall.size = 4;
    EXPECT_EQ(QVIDDrawDibDraw(dd, &tooSmall, 160, 120, picture.data(), 80, 60, 24), 0);
    EXPECT_EQ(QVIDDrawDibBegin(dd, nullptr, 160, 120, 80, 60, 24), 0);
    EXPECT_EQ(QVIDDrawDibClose(dd), 1);
    EXPECT_EQ(QVIDDrawDibClose(dd), 0);
    EXPECT_EQ(QVIDDrawDibDraw(dd, &surface.surface, 160, 120, picture.data(), 80, 60, 24), 0);
    EXPECT_EQ(surface.calls.size(), 1u);
}

} // namespace
