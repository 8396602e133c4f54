// Video capture devices through libv4l2: enumeration, format choice, memory-mapped streaming.
#include "v4l2_source.h"

#include <libv4l2.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace rxv
{

namespace
{

constexpr int kMaxSide = 2048;
constexpr unsigned kBufferCount = 4;
constexpr int kPollMs = 500;
// Errors in a row after which the camera counts as gone (unplugged, driver failure).
constexpr int kFailureLimit = 20;
constexpr uint32_t kFourccI420 = 0x30323449;

// Sizes in order of preference: the program's standard picture first, then the others the
// frame callback knows for both layouts.
constexpr std::pair<int, int> kSizes[] = {
    {320, 240}, {640, 480}, {352, 288}, {160, 120}, {176, 144}};
constexpr uint32_t kLayouts[] = {V4L2_PIX_FMT_BGR24, V4L2_PIX_FMT_YUV420};

uint32_t capabilities(const v4l2_capability &cap)
{
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? cap.device_caps : cap.capabilities;
}

bool canStream(const v4l2_capability &cap)
{
    const uint32_t caps = capabilities(cap);
    return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0 && (caps & V4L2_CAP_STREAMING) != 0;
}

// The number of a "videoN" device name, -1 for other names.
int videoNumber(const char *name)
{
    if (std::strncmp(name, "video", 5) != 0 || name[5] == '\0') return -1;
    int n = 0;
    for (const char *p = name + 5; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || n > 100000) return -1;
        n = n * 10 + (*p - '0');
    }
    return n;
}

} // namespace

std::vector<std::string> V4l2Source::devices()
{
    std::vector<std::pair<int, std::string>> nodes;
    if (DIR *dir = opendir("/dev")) {
        while (const dirent *entry = readdir(dir)) {
            const int n = videoNumber(entry->d_name);
            if (n >= 0) nodes.emplace_back(n, std::string("/dev/") + entry->d_name);
        }
        closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> result;
    for (const auto &[number, path] : nodes) {
        // A plain open is enough to ask what the node is; metadata and output nodes of the same
        // camera are left out.
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability cap{};
        if (::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && canStream(cap)) result.push_back(path);
        ::close(fd);
    }
    return result;
}

std::unique_ptr<V4l2Source> V4l2Source::open(const std::string &path)
{
    const int fd = v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    v4l2_capability cap{};
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0 || v4l2_ioctl(fd, VIDIOC_QUERYCAP, &cap) != 0 || !canStream(cap)) {
        if (wakeFd >= 0) ::close(wakeFd);
        v4l2_close(fd);
        return nullptr;
    }
    const char *card = reinterpret_cast<const char *>(cap.card);
    std::unique_ptr<V4l2Source> source(new (std::nothrow) V4l2Source(
        fd, wakeFd, std::string(card, strnlen(card, sizeof cap.card))));
    if (!source) {
        ::close(wakeFd);
        v4l2_close(fd);
        return nullptr;
    }
    if (!source->negotiate()) return nullptr;
    return source;
}

V4l2Source::V4l2Source(int fd, int wakeFd, std::string card)
    : m_fd(fd), m_wake(wakeFd), m_card(std::move(card))
{
}

V4l2Source::~V4l2Source()
{
    stop();
    v4l2_close(m_fd);
    ::close(m_wake);
}

int V4l2Source::control(unsigned long request, void *argument)
{
    int result;
    do {
        result = v4l2_ioctl(m_fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

bool V4l2Source::askFormat(unsigned long request, uint32_t pixelFormat, int width, int height,
                           v4l2_format *answer)
{
    v4l2_format &f = *answer;
    f = {};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = static_cast<uint32_t>(width);
    f.fmt.pix.height = static_cast<uint32_t>(height);
    f.fmt.pix.pixelformat = pixelFormat;
    f.fmt.pix.field = V4L2_FIELD_ANY;
    return control(request, &f) == 0 && f.fmt.pix.pixelformat == pixelFormat;
}

bool V4l2Source::tryFormat(uint32_t pixelFormat, int width, int height, bool exact)
{
    v4l2_format f;
    if (!askFormat(VIDIOC_TRY_FMT, pixelFormat, width, height, &f)) return false;
    const int w = static_cast<int>(f.fmt.pix.width);
    const int h = static_cast<int>(f.fmt.pix.height);
    if (exact ? (w != width || h != height) : (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide))
        return false;
    m_pixelFormat = pixelFormat;
    m_width = w;
    m_height = h;
    return true;
}

bool V4l2Source::negotiate()
{
    for (const auto &[w, h] : kSizes)
        for (uint32_t layout : kLayouts)
            if (tryFormat(layout, w, h, true)) return true;
    // A camera without any of the known sizes still connects (as BGR24, whose rows need no
    // even size): its frames are then of a size the engine does not know, and the program tells
    // the user to choose another format.
    return tryFormat(V4L2_PIX_FMT_BGR24, 320, 240, false);
}

SourceFormat V4l2Source::format() const
{
    if (m_pixelFormat == V4L2_PIX_FMT_YUV420) return {m_width, m_height, 12, kFourccI420};
    return {m_width, m_height, 24, 0};
}

bool V4l2Source::setSize(int width, int height)
{
    if (m_streaming) return false;
    return tryFormat(m_pixelFormat, width, height, true);
}

void V4l2Source::setFrameRate()
{
    // The program takes at most one picture per 75 ms tick: 15 frames a second is plenty and
    // halves the conversion work of 30-frame cameras. Cameras without the setting keep theirs.
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (control(VIDIOC_G_PARM, &parm) != 0 ||
        (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) == 0)
        return;
    parm.parm.capture.timeperframe = {1, 15};
    control(VIDIOC_S_PARM, &parm);
}

bool V4l2Source::mapBuffers()
{
    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (control(VIDIOC_REQBUFS, &request) != 0 || request.count < 2) return false;
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (control(VIDIOC_QUERYBUF, &b) != 0) return false;
        void *start =
            v4l2_mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, b.m.offset);
        if (start == MAP_FAILED) return false;
        m_buffers.push_back({start, b.length});
        if (control(VIDIOC_QBUF, &b) != 0) return false;
    }
    return true;
}

void V4l2Source::releaseBuffers()
{
    for (const Mapping &m : m_buffers)
        v4l2_munmap(m.start, m.length);
    m_buffers.clear();
    v4l2_requestbuffers request{};
    request.count = 0;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    control(VIDIOC_REQBUFS, &request);
}

bool V4l2Source::start()
{
    if (m_streaming) return true;
    v4l2_format f;
    // Busy in another program: EBUSY here or at REQBUFS.
    if (!askFormat(VIDIOC_S_FMT, m_pixelFormat, m_width, m_height, &f)) return false;
    const int w = static_cast<int>(f.fmt.pix.width);
    const int h = static_cast<int>(f.fmt.pix.height);
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide ||
        (m_pixelFormat == V4L2_PIX_FMT_YUV420 && (w % 2 != 0 || h % 2 != 0)))
        return false;
    m_width = w;
    m_height = h;
    const std::size_t minimumLine =
        static_cast<std::size_t>(w) * (m_pixelFormat == V4L2_PIX_FMT_BGR24 ? 3 : 1);
    m_bytesPerLine = std::max<std::size_t>(f.fmt.pix.bytesperline, minimumLine);
    try {
        const std::size_t area = static_cast<std::size_t>(w) * h;
        m_frame.resize(m_pixelFormat == V4L2_PIX_FMT_BGR24 ? area * 3 : area + area / 2);
    } catch (const std::bad_alloc &) {
        return false;
    }
    setFrameRate();
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!mapBuffers() || control(VIDIOC_STREAMON, &type) != 0) {
        releaseBuffers();
        return false;
    }
    uint64_t pending = 0;
    while (::read(m_wake, &pending, sizeof pending) > 0) {
    }
    m_streaming = true;
    m_failures = 0;
    return true;
}

void V4l2Source::stop()
{
    if (!m_streaming) return;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    control(VIDIOC_STREAMOFF, &type);
    releaseBuffers();
    m_holding = false;
    m_streaming = false;
    m_frame = {};
}

CaptureSource::Wait V4l2Source::failure()
{
    if (++m_failures >= kFailureLimit) return Wait::Lost;
    usleep(10000); // a failing device must not make the capture thread spin
    return Wait::Nothing;
}

CaptureSource::Wait V4l2Source::waitFrame()
{
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
    const int n = ::poll(fds, 2, kPollMs);
    if (n < 0) return errno == EINTR ? Wait::Nothing : failure();
    if ((fds[1].revents & POLLIN) != 0) {
        uint64_t value = 0;
        while (::read(m_wake, &value, sizeof value) > 0) {
        }
        return Wait::Nothing;
    }
    if (n == 0) return Wait::Nothing;
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    if (control(VIDIOC_DQBUF, &b) != 0) {
        if (errno == EAGAIN) return Wait::Nothing;
        if (errno == ENODEV) return Wait::Lost;
        return failure();
    }
    if (b.index >= m_buffers.size()) return failure();
    m_current = b;
    m_holding = true;
    m_failures = 0;
    if ((b.flags & V4L2_BUF_FLAG_ERROR) != 0) { // a damaged frame: give the buffer back
        doneWithFrame();
        return Wait::Nothing;
    }
    return Wait::Frame;
}

std::span<const uint8_t> V4l2Source::packBgr(const uint8_t *data, std::size_t used)
{
    // The camera's rows run top to bottom; a 24-bit frame is expected bottom row first.
    const std::size_t row = static_cast<std::size_t>(m_width) * 3;
    if (used < m_bytesPerLine * (m_height - 1) + row) return {};
    for (int r = 0; r < m_height; ++r)
        std::memcpy(&m_frame[row * r], data + m_bytesPerLine * (m_height - 1 - r), row);
    return {m_frame.data(), m_frame.size()};
}

std::span<const uint8_t> V4l2Source::packYuv(const uint8_t *data, std::size_t used)
{
    // Planar frames stay top row first; only line padding is removed.
    const std::size_t w = static_cast<std::size_t>(m_width);
    const std::size_t h = static_cast<std::size_t>(m_height);
    const std::size_t chromaLine = m_bytesPerLine / 2;
    if (used < m_bytesPerLine * h + chromaLine * h) return {};
    if (m_bytesPerLine == w) return {data, m_frame.size()};
    uint8_t *out = m_frame.data();
    for (std::size_t r = 0; r < h; ++r, out += w)
        std::memcpy(out, data + m_bytesPerLine * r, w);
    const uint8_t *chroma = data + m_bytesPerLine * h;
    for (std::size_t r = 0; r < h; ++r, out += w / 2) // both chroma planes, h / 2 rows each
        std::memcpy(out, chroma + chromaLine * r, w / 2);
    return {m_frame.data(), m_frame.size()};
}

std::span<const uint8_t> V4l2Source::frame()
{
    if (!m_holding) return {};
    const Mapping &m = m_buffers[m_current.index];
    const std::size_t used = std::min<std::size_t>(m_current.bytesused, m.length);
    const auto *data = static_cast<const uint8_t *>(m.start);
    return m_pixelFormat == V4L2_PIX_FMT_BGR24 ? packBgr(data, used) : packYuv(data, used);
}

void V4l2Source::doneWithFrame()
{
    if (!m_holding) return;
    m_holding = false;
    v4l2_buffer b = m_current;
    control(VIDIOC_QBUF, &b);
}

void V4l2Source::wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
}

} // namespace rxv
