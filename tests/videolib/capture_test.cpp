// Capture windows through the library's exports, as the program drives them: the scripted camera
// at every frame format through the real capture path, the handle checks, preview drawing on a
// surface of the test's own, and the test pattern's own exports.
#include "capture_reference.h"
#include "picture_support.h"
#include "rxvlib11.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

using captureref::Row;
using rxvtest::Bytes;
using namespace std::chrono_literals;

namespace
{

// A drawing surface that may be drawn on from the capture thread.
struct SharedSurface {
    RXVDrawSurface surface{sizeof(RXVDrawSurface), this, &SharedSurface::draw};
    std::mutex mutex;
    std::condition_variable drawn;
    std::vector<rxvtest::DrawCall> calls;

    static void draw(RXVDrawSurface *s, const uint8_t *bits, int32_t width, int32_t height,
                     int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight)
    {
        auto *self = static_cast<SharedSurface *>(s->user);
        std::lock_guard lock(self->mutex);
        self->calls.push_back({width, height, dstX, dstY, dstWidth, dstHeight,
                               Bytes(bits, bits + static_cast<size_t>(width) * height * 3)});
        self->drawn.notify_all();
    }
    bool waitFor(size_t n)
    {
        std::unique_lock lock(mutex);
        return drawn.wait_for(lock, 10s, [&] { return calls.size() >= n; });
    }
    size_t count()
    {
        std::lock_guard lock(mutex);
        return calls.size();
    }
};

// The engine started and a capture window on the scripted camera (or on no camera at all).
class Capture : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QVIDInitialize(nullptr), 0);
        QVIDSetCompOnFrame(0);
    }
    void TearDown() override
    {
        if (window) QVIDDestroyCaptureWindow(window);
        QVIDTerminate();
        unsetenv("OVELA_CAMERA");
    }
    void open(const std::string &script, RXVDrawSurface *surface = nullptr)
    {
        setenv("OVELA_CAMERA", script.c_str(), 1);
        window = QVIDCreateCaptureWindow(surface, 5, 7, 300, 200);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(QVIDDriverConnect(window, 0), 1);
    }
    void start() { ASSERT_EQ(QVIDInitCapture(nullptr, window), 0); }
    // Grabs one frame and waits until the callback has published it.
    Bytes grab(int16_t *width = nullptr, int16_t *height = nullptr)
    {
        const int32_t before = QVIDGetFrameNum();
        EXPECT_EQ(QVIDGrabFrameNoStop(window), 1);
        if (!waitForFrame(before)) return {};
        EXPECT_EQ(QVIDGetFrameNum(), before + 1) << "one grab, one frame";
        Bytes picture(RXV_MAX_PICTURE_BYTES);
        const int32_t n = QVIDGetFrame(picture.data(), RXV_MAX_PICTURE_BYTES, width, height);
        picture.resize(static_cast<size_t>(std::max(n, 0)));
        return picture;
    }
    static bool waitForFrame(int32_t before)
    {
        for (int i = 0; i < 2000 && QVIDGetFrameNum() == before; ++i)
            std::this_thread::sleep_for(5ms);
        return QVIDGetFrameNum() != before;
    }

    RXVCapture *window = nullptr;
};

// ---- the scripted camera in each byte layout the engine knows ----

class EveryCameraFormat : public Capture, public testing::WithParamInterface<Row>
{
};

// The pattern number in the code band of a captured picture; cells 1-8 hold it and survive
// every crop.
int bandNumber(const Bytes &picture, const Row &row)
{
    const int seenRow = (row.height / 8 - row.cropY) / 2;
    const size_t bufferRow = static_cast<size_t>(row.outHeight - 1 - seenRow);
    int k = 0;
    for (int cell = 1; cell <= 8; ++cell) {
        const int column = (2 * cell + 1) * row.width / 20 - row.cropX;
        k = 2 * k + (picture[(bufferRow * row.outWidth + column) * 3 + 1] >= 128 ? 1 : 0);
    }
    return k;
}

TEST_P(EveryCameraFormat, DeliversThePatternThroughTheCapturePath)
{
    const Row &row = GetParam();
    // The large picture comes from a camera that made its frames in advance, as the call
    // benchmark's does: they must be the frames made one at a time.
    open("pattern:" + std::to_string(row.width) + "x" + std::to_string(row.height) + ":" +
         row.layout + (row.width == 640 ? ":prepared" : ""));
    start();
    for (int shot = 0; shot < 2; ++shot) {
        int16_t width = 0;
        int16_t height = 0;
        const Bytes picture = grab(&width, &height);
        ASSERT_EQ(picture.size(), static_cast<size_t>(row.outWidth) * row.outHeight * 3);
        EXPECT_EQ(width, row.outWidth);
        EXPECT_EQ(height, row.outHeight);
        const int k = bandNumber(picture, row);
        Bytes frame(row.bytes);
        ASSERT_EQ(QVIDTestPattern(row.layout.c_str(), row.width, row.height, k, frame.data(),
                                  static_cast<int32_t>(frame.size())),
                  static_cast<int32_t>(row.bytes));
        ASSERT_TRUE(picture == captureref::convert(row, frame.data())) << "pattern frame " << k;
    }
}

// The camera path once per byte layout, small and large, cropped and not; the conversions
// themselves are checked for every frame size in capture_frame_test.
std::vector<Row> cameraRows()
{
    const std::vector<std::string> picked = {"grey4_160x120", "grey8_320x240",  "yvu9_176x144",
                                             "yuv12_640x480", "rgb555_320x240", "rgb24_768x576"};
    std::vector<Row> rows;
    for (const Row &row : captureref::rows())
        if (std::find(picked.begin(), picked.end(), captureref::rowName(row)) != picked.end())
            rows.push_back(row);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Table, EveryCameraFormat, testing::ValuesIn(cameraRows()),
                         [](const auto &info) { return captureref::rowName(info.param); });

// ---- handles ----

struct Export {
    const char *name;
    std::function<int32_t(RXVCapture *)> call;
    int32_t bad;
};

TEST_F(Capture, EveryExportChecksItsHandle)
{
    int16_t out[7] = {11, 12, 13, 14, 15, 16, 17};
    char name[8] = "keep";
    const Export exports[] = {
        {"InitCapture", [](RXVCapture *h) { return QVIDInitCapture(nullptr, h); }, -20},
        {"CloseCapture", QVIDCloseCapture, 0},
        {"DriverConnect", [](RXVCapture *h) { return QVIDDriverConnect(h, 0); }, 0},
        {"DriverDisconnect", QVIDDriverDisconnect, 0},
        {"DriverGetName", [&](RXVCapture *h) { return QVIDDriverGetName(h, name, 8); }, 0},
        {"Preview", [](RXVCapture *h) { return QVIDPreview(h, 1); }, 0},
        {"PreviewRate", [](RXVCapture *h) { return QVIDPreviewRate(h, 15); }, 0},
        {"PreviewScale", [](RXVCapture *h) { return QVIDPreviewScale(h, 1); }, 0},
        {"GetVideoSettings",
         [&](RXVCapture *h) {
             return QVIDGetVideoSettings(h, &out[0], &out[1], &out[2], &out[3], &out[4], &out[5],
                                         &out[6]);
         },
         -2},
        {"SetVideoFormat", QVIDSetVideoFormat, 0},
        {"GrabFrameNoStop", QVIDGrabFrameNoStop, 0},
        {"DlgVideoFormat", QVIDDlgVideoFormat, 0},
        {"DlgVideoSource", QVIDDlgVideoSource, 0},
        {"DlgVideoDisplay", QVIDDlgVideoDisplay, 0},
        {"DestroyCaptureWindow", QVIDDestroyCaptureWindow, 0},
    };
    setenv("OVELA_CAMERA", "pattern:160x120:rgb24", 1);
    RXVCapture *stale = QVIDCreateCaptureWindow(nullptr, 0, 0, 320, 240);
    ASSERT_EQ(QVIDDestroyCaptureWindow(stale), 1);
    int fake = 0;
    for (RXVCapture *bad :
         {static_cast<RXVCapture *>(nullptr), stale, reinterpret_cast<RXVCapture *>(&fake)})
        for (const Export &e : exports)
            EXPECT_EQ(e.call(bad), e.bad) << e.name;
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[6], 17);
    EXPECT_STREQ(name, "keep");
}

TEST_F(Capture, WindowsNeedAUsableSurface)
{
    SharedSurface good;
    RXVDrawSurface tooSmall = good.surface;
    tooSmall.size = sizeof(RXVDrawSurface) - 1;
    RXVDrawSurface noDraw = good.surface;
    noDraw.draw = nullptr;
    EXPECT_EQ(QVIDCreateCaptureWindow(&tooSmall, 0, 0, 320, 240), nullptr);
    EXPECT_EQ(QVIDCreateCaptureWindow(&noDraw, 0, 0, 320, 240), nullptr);
    RXVCapture *w = QVIDCreateCaptureWindow(&good.surface, 0, 0, 320, 240);
    EXPECT_NE(w, nullptr);
    EXPECT_EQ(QVIDDestroyCaptureWindow(w), 1);
    EXPECT_EQ(QVIDDestroyCaptureWindow(w), 0);
}

TEST_F(Capture, WithoutADriverNothingStarts)
{
    setenv("OVELA_CAMERA", "pattern:160x120:rgb24", 1);
    window = QVIDCreateCaptureWindow(nullptr, 0, 0, 320, 240);
    EXPECT_EQ(QVIDDriverConnect(window, -1), 0);
    EXPECT_EQ(QVIDDriverConnect(window, 999), 0);
    char name[16] = "keep";
    int16_t width = 7;
    EXPECT_EQ(QVIDDriverGetName(window, name, 16), 0);
    EXPECT_STREQ(name, "keep");
    EXPECT_EQ(
        QVIDGetVideoSettings(window, &width, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        RXV_ERR_NO_DRIVER);
    EXPECT_EQ(width, 7);
    EXPECT_EQ(QVIDInitCapture(nullptr, window), RXV_ERR_CAPTURE);
    EXPECT_EQ(QVIDGrabFrameNoStop(window), 0);
    EXPECT_EQ(QVIDPreview(window, 1), 0);
    EXPECT_EQ(QVIDSetVideoFormat(window), 0);
    EXPECT_EQ(QVIDDriverDisconnect(window), 0);
    EXPECT_EQ(QVIDCloseCapture(window), 0);
}

// ---- the scripted driver ----

TEST_F(Capture, ScriptedDriverDescribesItself)
{
    open("pattern:352x288:yvu9");
    char name[64];
    ASSERT_EQ(QVIDDriverGetName(window, name, 64), 1);
    EXPECT_STREQ(name, "OVELA test pattern 352x288 yvu9");
    ASSERT_EQ(QVIDDriverGetName(window, name, 6), 1);
    EXPECT_STREQ(name, "OVELA");
    ASSERT_EQ(QVIDDriverGetName(window, name, 1), 1);
    EXPECT_STREQ(name, "");
    int16_t s[7] = {-1, -1, -1, -1, -1, -1, -1};
    ASSERT_EQ(QVIDGetVideoSettings(window, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &s[6]), 0);
    EXPECT_EQ(std::vector<int16_t>(s, s + 7), (std::vector<int16_t>{352, 288, 9, 0x5659, 0, 0, 0}));
    // No dialogs are offered, and none opens.
    EXPECT_EQ(QVIDDlgVideoFormat(window), 0);
    EXPECT_EQ(QVIDDlgVideoSource(window), 0);
    EXPECT_EQ(QVIDDlgVideoDisplay(window), 0);
    EXPECT_EQ(QVIDDriverConnect(window, 0), 1); // reconnecting replaces the driver
    setenv("OVELA_CAMERA", "pattern:160x120:yuv12", 1);
    ASSERT_EQ(QVIDDriverConnect(window, 0), 1);
    ASSERT_EQ(QVIDGetVideoSettings(window, &s[0], &s[1], &s[2], &s[3], nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(std::vector<int16_t>(s, s + 4), (std::vector<int16_t>{160, 120, 12, 0x3449}));
    EXPECT_EQ(QVIDDriverDisconnect(window), 1);
    EXPECT_EQ(QVIDDriverDisconnect(window), 0);
}

TEST_F(Capture, SetVideoFormatResizesARunningCamera)
{
    open("pattern:176x144:yuv12");
    start();
    ASSERT_EQ(grab().size(), 160u * 120 * 3);
    EXPECT_EQ(QVIDSetVideoFormat(window), 1);
    int16_t width = 0;
    int16_t height = 0;
    int16_t bits = 0;
    QVIDGetVideoSettings(window, &width, &height, &bits, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(bits, 12);
    EXPECT_EQ(grab(&width).size(), 320u * 240 * 3);
    EXPECT_EQ(width, 320);
}

TEST_F(Capture, AScriptNotUnderstoodIsNoCamera)
{
    setenv("OVELA_CAMERA", "pattern:160x120:bgr32", 1);
    window = QVIDCreateCaptureWindow(nullptr, 0, 0, 320, 240);
    if (QVIDDriverConnect(window, 0) == 1) { // a real camera of this machine
        char name[80];
        QVIDDriverGetName(window, name, 80);
        EXPECT_NE(std::strncmp(name, "OVELA test pattern", 18), 0);
    }
}

TEST_F(Capture, ClosedCaptureGrabsNothingAndRestarts)
{
    open("pattern:160x120:grey8");
    start();
    ASSERT_FALSE(grab().empty());
    EXPECT_EQ(QVIDCloseCapture(window), 0);
    EXPECT_EQ(QVIDGrabFrameNoStop(window), 0);
    start();
    EXPECT_EQ(grab().size(), 57600u);
}

// ---- preview ----

class Preview : public Capture
{
protected:
    void openWithSurface() { open("pattern:176x144:rgb24", &surface.surface); }
    SharedSurface surface;
};

TEST_F(Preview, GrabbedFramesAreDrawnAtTheirSizeOrScaledToTheWindow)
{
    openWithSurface();
    QVIDPreview(window, 1);
    start();
    const Bytes picture = grab();
    ASSERT_TRUE(surface.waitFor(1));
    QVIDPreviewScale(window, 1);
    grab();
    ASSERT_TRUE(surface.waitFor(2));
    std::lock_guard lock(surface.mutex);
    const rxvtest::DrawCall &plain = surface.calls[0];
    EXPECT_EQ(std::vector<int32_t>({plain.width, plain.height, plain.dstX, plain.dstY,
                                    plain.dstWidth, plain.dstHeight}),
              (std::vector<int32_t>{160, 120, 5, 7, 160, 120}));
    EXPECT_TRUE(plain.picture == picture);
    const rxvtest::DrawCall &scaled = surface.calls[1];
    EXPECT_EQ(std::vector<int32_t>({scaled.dstX, scaled.dstY, scaled.dstWidth, scaled.dstHeight}),
              (std::vector<int32_t>{5, 7, 300, 200}));
}

TEST_F(Preview, OffMeansGrabbedFramesAreNotDrawn)
{
    openWithSurface();
    start();
    ASSERT_FALSE(grab().empty());
    ASSERT_FALSE(grab().empty());
    EXPECT_EQ(surface.count(), 0u);
}

TEST_F(Preview, ARateBringsFramesWithoutGrabbing)
{
    openWithSurface();
    const int32_t first = QVIDGetFrameNum();
    EXPECT_EQ(QVIDPreviewRate(window, 15), 1);
    EXPECT_EQ(QVIDPreview(window, 1), 1);
    start();
    // A preview frame is drawn just before it is published.
    ASSERT_TRUE(surface.waitFor(4));
    EXPECT_GE(QVIDGetFrameNum() - first, 3);
    // Rate 0: only grabs bring frames (one already on its way may still arrive).
    QVIDPreviewRate(window, 0);
    std::this_thread::sleep_for(100ms);
    const size_t drawn = surface.count();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(surface.count(), drawn);
}

TEST_F(Preview, NothingIsDrawnAfterCloseOrDestroy)
{
    openWithSurface();
    QVIDPreviewRate(window, 15);
    QVIDPreview(window, 1);
    start();
    ASSERT_TRUE(surface.waitFor(1));
    QVIDCloseCapture(window);
    size_t drawn = surface.count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(surface.count(), drawn);
    start();
    ASSERT_TRUE(surface.waitFor(drawn + 1));
    QVIDDestroyCaptureWindow(window);
    window = nullptr;
    drawn = surface.count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(surface.count(), drawn);
}

// ---- the test pattern ----

TEST(TestPattern, SizesAndCapacities)
{
    Bytes frame(RXV_MAX_PICTURE_BYTES);
    const auto make = [&](const char *format, int w, int h, int32_t capacity) {
        return QVIDTestPattern(format, w, h, 0, frame.data(), capacity);
    };
    EXPECT_EQ(make("yuv12", 320, 240, 921600), 115200);
    EXPECT_EQ(make("yvu9", 176, 144, 921600), 28512);
    EXPECT_EQ(make("grey4", 320, 240, 921600), 38400);
    EXPECT_EQ(make("rgb555", 7, 3, 921600), 42);
    EXPECT_EQ(make("yuv12", 321, 240, 921600), RXV_ERR_INVALID);
    EXPECT_EQ(make("yvu9", 162, 120, 921600), RXV_ERR_INVALID);
    EXPECT_EQ(make("grey4", 161, 120, 921600), RXV_ERR_INVALID);
    EXPECT_EQ(make("rgb24", 0, 240, 921600), RXV_ERR_INVALID);
    EXPECT_EQ(make("bgr24", 320, 240, 921600), RXV_ERR_INVALID);
    EXPECT_EQ(make(nullptr, 320, 240, 921600), RXV_ERR_INVALID);
    EXPECT_EQ(make("rgb24", 320, 240, 230399), RXV_ERR_NO_ROOM);
    EXPECT_EQ(QVIDTestPattern("rgb24", 320, 240, 0, nullptr, 230400), RXV_ERR_NO_ROOM);
}

TEST(TestPattern, FramesRepeatEvery256AndMove)
{
    const auto frame = [](int k) {
        Bytes f(115200);
        QVIDTestPattern("yuv12", 320, 240, k, f.data(), 115200);
        return f;
    };
    EXPECT_TRUE(frame(3) == frame(3 + 256));
    EXPECT_FALSE(frame(3) == frame(4));
}

// Each layout carries the scene: its plain conversion comes close to the rgb24 picture. The
// floors are the measured figures less 1 dB (rgb555 35.5, yuv12 42.3, yvu9 22.6, grey 29.0);
// grey layouts are compared with the scene's grey. YVU9 stays low because its conversion takes
// the first chroma plane (red in YVU9) with the blue coefficient and puts the result in the red
// byte, which keeps hues but not saturation.
TEST(TestPattern, EveryLayoutCarriesTheScene)
{
    struct Case {
        Row row;
        double floor;
    };
    const Case cases[] = {
        {{153600, "rgb555", 320, 240, 0, 0, 320, 240}, 34.5},
        {{115200, "yuv12", 320, 240, 0, 0, 320, 240}, 41.3},
        {{86400, "yvu9", 320, 240, 0, 0, 320, 240}, 21.6},
        {{76800, "grey8", 320, 240, 0, 0, 320, 240}, 28.0},
        {{38400, "grey4", 320, 240, 0, 0, 320, 240}, 28.0},
    };
    Bytes scene(230400);
    ASSERT_EQ(QVIDTestPattern("rgb24", 320, 240, 77, scene.data(), 230400), 230400);
    Bytes grey = scene;
    for (size_t i = 0; i < grey.size(); i += 3) {
        const int g = (29 * scene[i] + 150 * scene[i + 1] + 77 * scene[i + 2] + 128) >> 8;
        grey[i] = grey[i + 1] = grey[i + 2] = static_cast<uint8_t>(g);
    }
    for (const Case &c : cases) {
        Bytes frame(c.row.bytes);
        ASSERT_EQ(QVIDTestPattern(c.row.layout.c_str(), 320, 240, 77, frame.data(),
                                  static_cast<int32_t>(frame.size())),
                  static_cast<int32_t>(c.row.bytes));
        const Bytes picture = captureref::convert(c.row, frame.data());
        const Bytes &reference = c.row.layout.rfind("grey", 0) == 0 ? grey : scene;
        const double db = rxvtest::psnr(picture.data(), reference.data(), picture.size());
        RecordProperty(c.row.layout, std::to_string(db));
        EXPECT_GE(db, c.floor) << c.row.layout;
    }
}

TEST(TestPattern, NumberIsReadBackAfterCodingAndReduction)
{
    for (int k : {0, 1, 77, 128, 255}) {
        Bytes picture(640 * 480 * 3);
        QVIDTestPattern("rgb24", 640, 480, k, picture.data(), RXV_MAX_PICTURE_BYTES);
        EXPECT_EQ(QVIDTestPatternNumber(picture.data(), 640, 480), k);
        QVIDDownSampleImg(picture.data(), 640, 480, picture.data(), 320, 240);
        EXPECT_EQ(QVIDTestPatternNumber(picture.data(), 320, 240), k);
        for (const auto &[w, h, q] : {std::tuple{320, 240, 15}, std::tuple{80, 60, 85}}) {
            Bytes small(static_cast<size_t>(w) * h * 3);
            QVIDTestPattern("rgb24", w, h, k, small.data(), static_cast<int32_t>(small.size()));
            Bytes jpeg(40000);
            const int32_t n =
                QVIDCompressStill(small.data(), static_cast<int16_t>(w), static_cast<int16_t>(h),
                                  static_cast<int16_t>(q), jpeg.data(), 40000);
            ASSERT_GT(n, 0);
            int16_t dw = 0;
            int16_t dh = 0;
            ASSERT_GT(QVIDUnCompressStill(jpeg.data(), n, &dw, &dh, small.data()), 0);
            EXPECT_EQ(QVIDTestPatternNumber(small.data(), w, h), k) << w << "x" << h;
        }
    }
    const Bytes flat(320 * 240 * 3, 128);
    EXPECT_EQ(QVIDTestPatternNumber(flat.data(), 320, 240), RXV_ERR_BAD_DATA);
    EXPECT_EQ(QVIDTestPatternNumber(nullptr, 320, 240), RXV_ERR_INVALID);
}

} // namespace
