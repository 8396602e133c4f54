// The media packet engine: classifies each packet of the media connection by its tag, copies the
// payload out for the caller, draws JPEG stills and queues decoded stream frames.
#include "engine.h"
#include "frame_ring.h"
#include "jpeg_codec.h"
#include "runlength.h"
#include "rxvlib11.h"
#include "stream_frame.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr int32_t kHeaderBytes = 8; // tag + five-digit length
constexpr uint32_t kFrameDelayMs = 1000;

enum class Picture { None, Plain, FillRuns, ZeroRuns, Jpeg };

struct Tag {
    char text[4];
    int16_t kind;
    Picture picture;
};

constexpr Tag kTags[] = {
    {"AUD", RXV_KIND_AUDIO, Picture::None},       {"DT1", RXV_KIND_DATA1, Picture::None},
    {"DT2", RXV_KIND_DATA2, Picture::None},       {"DT3", RXV_KIND_DATA3, Picture::None},
    {"DT4", RXV_KIND_DATA4, Picture::None},       {"TXT", RXV_KIND_TEXT, Picture::None},
    {"VID", RXV_KIND_PICTURE, Picture::Plain},    {"KEN", RXV_KIND_PICTURE, Picture::FillRuns},
    {"DEN", RXV_KIND_PICTURE, Picture::ZeroRuns}, {"KJP", RXV_KIND_PICTURE, Picture::Jpeg},
};

const Tag *findTag(const uint8_t *packet, int32_t length)
{
    if (length < 3) return nullptr;
    for (const Tag &tag : kTags)
        if (std::memcmp(packet, tag.text, 3) == 0) return &tag;
    return nullptr;
}

// The five length characters as a decimal number (blanks and a sign accepted, reading stops at
// the first other character); only the bytes that were delivered are looked at.
long declaredLength(const uint8_t *packet, int32_t length)
{
    char digits[6] = {};
    for (int32_t i = 3; i < kHeaderBytes && i < length; ++i)
        digits[i - 3] = static_cast<char>(packet[i]);
    return std::strtol(digits, nullptr, 10);
}

int32_t drawJpeg(const uint8_t *jpeg, int32_t length)
{
    rxv::Engine &e = rxv::engine();
    int width = 320;
    int height = 240;
    if (rxv_jpeg_decompress_memory(jpeg, static_cast<size_t>(length), e.workBuffer.get(),
                                   rxv::kPictureBufferBytes, &width, &height) != RXV_JPEG_OK)
        return RXV_ERR_BAD_DATA; // the previous picture stays on the surface
    if (width != e.imageWidth) {
        e.imageWidth = e.displayWidth = static_cast<int16_t>(width);
        e.imageHeight = e.displayHeight = static_cast<int16_t>(height);
        QVIDDrawDibBegin(e.playbackDrawDib, e.playbackSurface, width, height, width, height, 24);
        QVIDDrawDibRealize(e.playbackDrawDib, e.playbackSurface);
    }
    QVIDDrawDibDraw(e.playbackDrawDib, e.playbackSurface, e.displayWidth, e.displayHeight,
                    e.workBuffer.get(), width, height, 24);
    return length;
}

// Brings the stream-frame buffer up to date from the payload of a stream-frame packet.
void updateStreamFrame(Picture picture, const uint8_t *payload, int32_t length)
{
    rxv::Engine &e = rxv::engine();
    uint8_t *frame = e.streamFrameBuffer.get();
    const size_t n = static_cast<size_t>(length);
    if (picture == Picture::Plain) {
        std::memcpy(frame, payload, std::min(n, rxv::kPictureBufferBytes));
        return;
    }
    const rxv::RunCoding coding =
        picture == Picture::FillRuns ? rxv::RunCoding::Fill : rxv::RunCoding::Zero;
    const size_t decoded = rxv::decodeRuns(coding, payload, n, e.workBuffer.get());
    // An empty result (a payload that would pass the limit) leaves the frame as it was.
    if (picture == Picture::FillRuns)
        std::memcpy(frame, e.workBuffer.get(), decoded);
    else
        rxv::applyDelta(e.workBuffer.get(), decoded, frame);
}

int32_t queueStreamFrame(Picture picture, const uint8_t *payload, int32_t length)
{
    // An uncoded frame names its size in its header (byte 1); a run-coded one in the header
    // behind the leading run byte (byte 2).
    const int32_t sizeAt = picture == Picture::Plain ? 1 : 2;
    rxv::FrameSize size;
    if (length <= sizeAt || !rxv::frameSizeForCode(payload[sizeAt], size)) return RXV_ERR_BAD_DATA;
    const int32_t slot =
        rxv::addFrameEvent(RXV_KIND_PICTURE, nullptr, size.width * size.height * 3, kFrameDelayMs);
    if (slot < 0) return slot; // the ring is full or the picture cannot be allocated
    updateStreamFrame(picture, payload, length);
    rxv::FrameEvent &event = rxv::frameEvent(slot);
    event.width = static_cast<int16_t>(size.width);
    const bool decoded =
        rxv::decodeStreamFrame(rxv::engine().streamFrameBuffer.get(), rxv::kPictureBufferBytes,
                               event.picture.get(), size.width, size.height);
    return decoded ? size.width : 0;
}

} // namespace

int32_t QVIDProcessData(const uint8_t *packet, int32_t packetLength, uint8_t *payload,
                        int32_t capacity, int16_t *kind)
{
    if (packet == nullptr || packetLength < 0) packetLength = 0;
    const Tag *tag = packet ? findTag(packet, packetLength) : nullptr;
    if (kind) *kind = tag ? tag->kind : RXV_KIND_UNKNOWN;
    const long declared = packet ? declaredLength(packet, packetLength) : 0;
    if (tag == nullptr) return static_cast<int32_t>(declared);

    // What the packet really carries: never more than was delivered.
    const int32_t available = std::max(packetLength - kHeaderBytes, 0);
    const int32_t carried = static_cast<int32_t>(std::clamp<long>(declared, 0, available));
    const int32_t room = payload ? std::max(capacity, 0) : 0;
    const int32_t copied = std::min(carried, room);
    if (copied > 0) std::memcpy(payload, packet + kHeaderBytes, static_cast<size_t>(copied));
    if (tag->picture == Picture::None) return copied;

    // Pictures are decoded from the packet itself, so a picture larger than the caller's
    // payload buffer still arrives whole.
    if (!rxv::engine().ready()) return RXV_ERR_NOT_READY;
    if (tag->picture == Picture::Jpeg) return drawJpeg(packet + kHeaderBytes, carried);
    return queueStreamFrame(tag->picture, packet + kHeaderBytes, carried);
}

int32_t QVIDInitPlaybackEngine(RXVDrawDib *drawDib, RXVDrawSurface *surface)
{
    rxv::Engine &e = rxv::engine();
    e.playbackDrawDib = drawDib;
    e.playbackSurface = surface;
    rxv::flushFrameEvents(true);
    return 0;
}

int32_t RXVGetImageSize(int16_t *width, int16_t *height)
{
    const rxv::Engine &e = rxv::engine();
    if (width) *width = e.imageWidth;
    if (height) *height = e.imageHeight;
    return 0;
}

int32_t QVIDSetDibSize(int32_t width, int32_t height)
{
    rxv::Engine &e = rxv::engine();
    e.displayWidth = static_cast<int16_t>(width);
    e.displayHeight = static_cast<int16_t>(height);
    return 0;
}
