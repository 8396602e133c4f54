/*
 * rxvlib11.h - the one public header of the OVELA video engine (libRXVLIB11.so).
 *
 * The engine is single-instance: all its state is process-wide, created by QVIDInitialize and
 * released by QVIDTerminate. Every export uses fixed-width integers; outputs documented as 16-bit
 * are written as int16_t. Handles are opaque pointers. The program loads the library with dlopen
 * and binds each export with dlsym, taking the function type from this header
 * (decltype(&QVIDProcessData)).
 *
 * Pictures are 24 bits per pixel, 3 bytes per pixel in blue, green, red order, rows of
 * width * 3 bytes without padding, first row in the buffer = bottom row of the picture.
 */
#ifndef RXVLIB11_H
#define RXVLIB11_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__) || defined(__clang__)
#define RXV_API __attribute__((visibility("default")))
#else
#define RXV_API
#endif

/* Largest picture any engine call writes: 640 x 480 x 3 bytes. Output buffers for decoded
 * pictures (QVIDUnCompressStill, QVIDUnCompressStillFile, QVIDTextToImage) must hold this many
 * bytes unless the caller knows the picture is smaller. */
#define RXV_MAX_PICTURE_BYTES 921600

/* MediaKind: what QVIDProcessData found in a media packet. */
#define RXV_KIND_UNKNOWN 0
#define RXV_KIND_PICTURE 1
#define RXV_KIND_AUDIO 2
#define RXV_KIND_TEXT 3
#define RXV_KIND_DATA1 4
#define RXV_KIND_DATA2 5
#define RXV_KIND_DATA3 6
#define RXV_KIND_DATA4 7

/* Number of slots of the frame event ring; at most RXV_RING_SLOTS - 1 events are pending. */
#define RXV_RING_SLOTS 20

/* Negative results. Names that share a value differ only in what they tell the reader; each
 * function below names the ones it returns. */
#define RXV_ERR_INVALID (-1)   /* a null pointer, or a length, size or format out of range */
#define RXV_ERR_NO_MEMORY (-1) /* a buffer cannot be allocated */
#define RXV_ERR_NOT_READY (-1) /* no engine buffers: QVIDInitialize not called, or it failed */
#define RXV_ERR_BAD_DATA (-1)  /* the input cannot be decoded or read */
#define RXV_ERR_FILE (-1)      /* a file cannot be opened, created or written */
#define RXV_ERR_CODER (-1)     /* the JPEG coder gave up */
#define RXV_ERR_NO_ROOM (-2)   /* the result does not fit in the caller's capacity */
#define RXV_ERR_TOO_LARGE (-2) /* the decoded picture would exceed RXV_MAX_PICTURE_BYTES */
#define RXV_ERR_RING_FULL (-2) /* the frame event ring is full */
#define RXV_ERR_NO_DRIVER (-2) /* not a live capture window, or no driver connected */
#define RXV_ERR_CAPTURE (-20)  /* capture cannot start: no window, no driver or no camera */

/*
 * Drawing surface (the "device context"). The caller owns it and fills it in; the engine only
 * calls draw. draw receives a bottom-up BGR picture (rows of width * 3 bytes, no padding) that is
 * valid only during the call, and the destination rectangle on the surface into which the
 * picture is to be scaled. The surface does the scaling. draw may be called on a thread of the
 * engine (camera preview), so a surface that paints on a user-interface thread copies the picture
 * and hands it over.
 */
typedef struct RXVDrawSurface RXVDrawSurface;
typedef void (*RXVDrawProc)(RXVDrawSurface *surface, const uint8_t *bits, int32_t width,
                            int32_t height, int32_t dstX, int32_t dstY, int32_t dstWidth,
                            int32_t dstHeight);
struct RXVDrawSurface {
    uint32_t size;    /* sizeof(RXVDrawSurface); a surface with a smaller size is refused */
    void *user;       /* the owner's own pointer, untouched by the engine */
    RXVDrawProc draw; /* required */
};

/* Opaque handle of an open drawing session (QVIDDrawDibOpen). */
typedef struct RXVDrawDib RXVDrawDib;

/* ---- Lifecycle and utilities ---- */

/* 0, or RXV_ERR_NO_MEMORY when a buffer cannot be allocated (the engine then stays unusable:
 * every call that needs its buffers fails). instance is ignored. Calling it again resets the
 * engine state. */
RXV_API int32_t QVIDInitialize(void *instance);
/* 0; releases the buffers and every pending frame event. */
RXV_API int32_t QVIDTerminate(void);
/* length; copies length bytes (regions may overlap). RXV_ERR_INVALID for a negative length or a
 * null pointer with a nonzero length, nothing copied. */
RXV_API int32_t QVIDCopyBuffer(const void *source, int32_t length, void *destination);
/* length; copies length bytes from a raw buffer into the caller's string buffer. Counts above
 * 32,767 are copied in full; RXV_ERR_INVALID for a negative length or a null pointer. */
RXV_API int32_t QVIDLongtoString(const void *source, int32_t length, void *destination);
/* min(length, capacity); copies that many bytes from the string bytes into the raw buffer.
 * RXV_ERR_INVALID for a negative length or capacity or a null pointer. */
RXV_API int32_t QVIDStringtoLong(const void *source, int32_t length, void *destination,
                                 int32_t capacity);
/* Renders length bytes of UTF-8 text, white on black, in a fixed-pitch font, one character
 * per cell: width = length * cell width, height = cell height (16-bit outputs). The picture
 * (bottom row first) goes to picture, which must hold width * height * 3 bytes (at most
 * RXV_MAX_PICTURE_BYTES; longer texts are refused). Nonzero on success; 0 when the font cannot
 * be loaded or the text is refused, and width and height are then left as they were. */
RXV_API int32_t QVIDTextToImage(uint8_t *picture, int16_t *width, int16_t *height, const char *text,
                                int32_t length);
/* 0; copies the overlay picture into the picture with its first row at row y and its first
 * pixel at column x. Parts that fall outside width x height are left out. */
RXV_API int32_t QVIDBurnImage(uint8_t *picture, int32_t width, int32_t height,
                              const uint8_t *overlay, int32_t overlayWidth, int32_t overlayHeight,
                              int32_t x, int32_t y);
/* 0; reserved entry points without function. */
RXV_API int32_t QVID_H323SessionMan(void);
RXV_API int32_t QVID_H263Man(void);
RXV_API int32_t QVID_G723Man(void);

/* ---- Still-image (JPEG) codec ---- */

/* Length of the JPEG stream written to output. RXV_ERR_INVALID when width, height, capacity or
 * a pointer is invalid; RXV_ERR_CODER when the coder fails; RXV_ERR_NO_ROOM when the stream does
 * not fit in capacity (nothing is ever written past capacity). quality is libjpeg's scale,
 * 1 (smallest) to 100 (best); it is never refused: values below 1 code as 1, values above 100 as
 * 100. The picture is coded exactly as it lies in memory (row 0 first, bytes 0, 1, 2 of a pixel
 * as the first, second and third component), so a round trip restores the buffer. */
RXV_API int32_t QVIDCompressStill(const uint8_t *picture, int16_t width, int16_t height,
                                  int16_t quality, uint8_t *output, int32_t capacity);
/* width * height * 3 of the decoded picture; writes width and height (16-bit) and the rows to
 * picture. RXV_ERR_BAD_DATA for an empty, damaged, unsupported or not-JPEG stream,
 * RXV_ERR_INVALID for a negative length or a null pointer, RXV_ERR_TOO_LARGE for a picture
 * larger than RXV_MAX_PICTURE_BYTES (nothing written). A stream cut short still decodes at its
 * full size: what was received comes out as coded, and in a baseline stream (as this engine writes)
 * the blocks after the cut come out mid-grey, 128 in every component.
 * Grey-scale streams are returned with three equal components per pixel. */
RXV_API int32_t QVIDUnCompressStill(const uint8_t *jpeg, int32_t length, int16_t *width,
                                    int16_t *height, uint8_t *picture);
/* 0; RXV_ERR_INVALID when width, height or a pointer is invalid, RXV_ERR_FILE when the file
 * cannot be created or written (no partial file is left behind). quality as for
 * QVIDCompressStill. */
RXV_API int32_t QVIDCompressStillFile(const uint8_t *picture, int16_t width, int16_t height,
                                      int16_t quality, const char *fileName);
/* As QVIDUnCompressStill; RXV_ERR_FILE when the file cannot be opened. */
RXV_API int32_t QVIDUnCompressStillFile(const char *fileName, int16_t *width, int16_t *height,
                                        uint8_t *picture);
/* destinationWidth * destinationHeight * 3; keeps every (sourceWidth / destinationWidth)-th
 * pixel of every (sourceHeight / destinationHeight)-th row. Source and destination may be the
 * same buffer. RXV_ERR_INVALID for sizes below 1 or null pointers. */
RXV_API int32_t QVIDDownSampleImg(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                                  uint8_t *destination, int32_t destinationWidth,
                                  int32_t destinationHeight);
/* 0; flips the picture vertically, exchanging bytes 0 and 2 of every moved pixel. */
RXV_API int32_t QVIDInvertFrame(uint8_t *picture, int32_t width, int32_t height);
/* 0; compression type of the stream-frame coder: 6 colour, 7 or 9 grey. */
RXV_API int32_t QVIDSetCompType(int16_t type);
/* 0; compression on capture on (nonzero) or off (0). */
RXV_API int32_t QVIDSetCompOnFrame(int16_t flag);

/* ---- Media packet engine ---- */

/* Parses one media packet (tag, five-digit length, payload; without the "<E>" terminator).
 * Writes the MediaKind to kind (16-bit, for every packet). Results:
 *  - unknown tag: the declared length; nothing copied;
 *  - "AUD", "TXT", "DT1".."DT4": the number of payload bytes copied to payload
 *    (declared length limited to capacity and to the bytes delivered);
 *  - "KJP": the JPEG payload is decoded and drawn on the playback target; result = the number
 *    of payload bytes decoded, or RXV_ERR_BAD_DATA when the picture cannot be decoded (nothing
 *    drawn);
 *  - "VID", "KEN", "DEN": the payload updates the engine's stream frame (kept from packet to
 *    packet) and the decoded frame is queued in the frame event ring; result = the picture
 *    width, 0 when the frame did not yield a picture (its type is not a stream type or its
 *    header names another size; a black one is queued), RXV_ERR_BAD_DATA for a missing or
 *    invalid size code, RXV_ERR_NO_MEMORY for an allocation failure, RXV_ERR_RING_FULL when the
 *    ring is full. A payload that covers less than the whole frame (a short "VID" payload,
 *    "KEN" runs that decode to fewer bytes, a "DEN" delta) changes only the bytes it covers:
 *    the rest keeps the bytes of earlier frames (zero in a freshly started engine), and the
 *    frame decodes as usual.
 * Picture packets also copy their payload to payload, limited as above. Picture packets need
 * QVIDInitialize; without it they return RXV_ERR_NOT_READY. */
RXV_API int32_t QVIDProcessData(const uint8_t *packet, int32_t packetLength, uint8_t *payload,
                                int32_t capacity, int16_t *kind);
/* Slot index 0..19; RXV_ERR_RING_FULL when the ring is full; RXV_ERR_INVALID for a length that
 * is negative or above RXV_MAX_PICTURE_BYTES; RXV_ERR_NO_MEMORY when the picture buffer cannot be
 * allocated. Copies length bytes from source when it is not null; the event is due delay
 * milliseconds from now. */
RXV_API int32_t QVIDAddDataEvent(int32_t kind, const void *source, int32_t length, int32_t delay);
/* 0; releases every pending event; the ring is empty afterwards. */
RXV_API int32_t QVIDFlushEvents(void);
/* 0; the millisecond clock, the due time of the slot at the read index, the write and read
 * indices (16-bit). Null outputs are skipped. */
RXV_API int32_t QVIDGetTimeInfo(uint32_t *now, uint32_t *due, int16_t *writeIndex,
                                int16_t *readIndex);
/* 0; binds the playback target on which "KJP" pictures are drawn and empties the ring. */
RXV_API int32_t QVIDInitPlaybackEngine(RXVDrawDib *drawDib, RXVDrawSurface *surface);
/* 0; size of the last drawn "KJP" picture (16-bit each); 320 x 240 at start. */
RXV_API int32_t RXVGetImageSize(int16_t *width, int16_t *height);

/* ---- Drawing ---- */

/* A new drawing handle, or null when it cannot be allocated. */
RXV_API RXVDrawDib *QVIDDrawDibOpen(void);
/* 1; 0 for a handle that is not open. The handle is invalid afterwards. */
RXV_API int32_t QVIDDrawDibClose(RXVDrawDib *drawDib);
/* 1 when the handle is open, the surface usable, the sizes positive and bits is 24; else 0.
 * Records the destination and picture sizes. */
RXV_API int32_t QVIDDrawDibBegin(RXVDrawDib *drawDib, RXVDrawSurface *surface,
                                 int32_t destinationWidth, int32_t destinationHeight,
                                 int32_t pictureWidth, int32_t pictureHeight, int32_t bits);
/* 1 after handing the whole picture to the surface, scaled to destinationWidth x
 * destinationHeight at 0, 0; 0 (nothing drawn) for a closed handle, an unusable surface,
 * sizes below 1 or a bit count other than 24. */
RXV_API int32_t QVIDDrawDibDraw(RXVDrawDib *drawDib, RXVDrawSurface *surface,
                                int32_t destinationWidth, int32_t destinationHeight,
                                const uint8_t *bits, int32_t pictureWidth, int32_t pictureHeight,
                                int32_t bitCount);
/* Number of palette entries changed: always 0 for 24-bit pictures. */
RXV_API int32_t QVIDDrawDibRealize(RXVDrawDib *drawDib, RXVDrawSurface *surface);
/* 1; 0 for a handle that is not open. Forgets the sizes recorded by QVIDDrawDibBegin. */
RXV_API int32_t QVIDDrawDibEnd(RXVDrawDib *drawDib);
/* 0; sets the size, in pixels of the playback surface, to which "KJP" pictures are scaled when
 * drawn at 0, 0 (16-bit each). A "KJP" picture whose width differs from the last one's sets it
 * back to the picture's own size. */
RXV_API int32_t QVIDSetDibSize(int32_t width, int32_t height);

/* ---- Capture ----
 *
 * A capture window is an opaque handle that ties a capture driver (a camera) to a place on the
 * caller's drawing surface. Driver n is the n-th video capture device of the system; when the
 * environment variable OVELA_CAMERA is "pattern:WxH:FORMAT" (FORMAT one of rgb24, rgb555, yuv12,
 * yvu9, grey8, grey4), driver 0 is a scripted camera showing a moving test pattern of that size
 * in that byte layout (QVIDTestPattern) and the devices follow from index 1. With
 * "pattern:WxH:FORMAT:prepared" the scripted camera makes its 256 frames once when it starts
 * (benchmarks: the pattern's own cost then stays out of the figures).
 *
 * Order of use: QVIDCreateCaptureWindow, QVIDDriverConnect, (QVIDGetVideoSettings,
 * QVIDPreviewRate, QVIDPreviewScale), QVIDInitCapture, then QVIDGrabFrameNoStop / QVIDPreview
 * while polling QVIDGetFrameNum and copying pictures with QVIDGetFrame; at the end
 * QVIDCloseCapture, QVIDDriverDisconnect and QVIDDestroyCaptureWindow. All window exports are
 * called on one thread (the caller's); the camera runs on a thread of the engine, which converts
 * each frame it delivers into the engine's capture buffer and, while preview is on, draws it on
 * the parent surface. No engine thread touches the surface after QVIDDestroyCaptureWindow (or
 * QVIDCloseCapture) has returned.
 *
 * Every window export checks its handle first: a handle that is not a live capture window does
 * nothing and returns 0 (QVIDInitCapture: RXV_ERR_CAPTURE; QVIDGetVideoSettings:
 * RXV_ERR_NO_DRIVER).
 */
typedef struct RXVCapture RXVCapture;

/* A new capture window whose pictures go to parent at x, y in a width x height area. All four are
 * pixels of the parent surface, in its own coordinates (clamped to 0..32767): x, y is handed to
 * its draw as dstX, dstY, and width x height as dstWidth x dstHeight when preview scaling is on.
 * parent may be null (frames are captured but never drawn). Null when parent is not a usable
 * surface or memory runs out. */
RXV_API RXVCapture *QVIDCreateCaptureWindow(RXVDrawSurface *parent, int32_t x, int32_t y,
                                            int32_t width, int32_t height);
/* Extension of this engine (not part of the classic interface). 1; stops capture, disconnects
 * the driver and invalidates the handle; 0 for a bad handle. */
RXV_API int32_t QVIDDestroyCaptureWindow(RXVCapture *capture);
/* 0 when the connected camera now streams frames to the engine's frame callback; sets the
 * capture status to 1. RXV_ERR_CAPTURE for a bad handle, no connected driver, or a camera that
 * cannot start (busy in another program, gone, memory). instance is ignored. */
RXV_API int32_t QVIDInitCapture(void *instance, RXVCapture *capture);
/* 0; stops the camera's stream (no frame reaches the callback afterwards); capture status 0. */
RXV_API int32_t QVIDCloseCapture(RXVCapture *capture);
/* 1 when driver index connected (a driver connected before is disconnected first), else 0. */
RXV_API int32_t QVIDDriverConnect(RXVCapture *capture, int16_t index);
/* 1 when a driver was connected (its capture is stopped first), else 0. */
RXV_API int32_t QVIDDriverDisconnect(RXVCapture *capture);
/* 1 and the connected driver's name, 0-terminated and cut to size - 1 bytes (never inside a
 * UTF-8 character); 0 (buffer untouched) without a driver, a null buffer or size < 1. */
RXV_API int32_t QVIDDriverGetName(RXVCapture *capture, char *name, int16_t size);
/* Preview on (nonzero) or off: while on, every frame the window receives is drawn on the parent
 * surface, and with a preview rate above 0 the camera's frames arrive at that rate without
 * grabbing. The setting is kept by the window; result 1 with a driver connected, else 0. */
RXV_API int32_t QVIDPreview(RXVCapture *capture, int16_t flag);
/* Preview rate in frames per second: the preview interval becomes 1000 / rate milliseconds
 * (truncated), 0 for a rate of 0 or below (no preview frames without grabbing). Result as
 * QVIDPreview. */
RXV_API int32_t QVIDPreviewRate(RXVCapture *capture, int16_t rate);
/* Scaling on (nonzero): preview pictures are drawn scaled to the window's width x height; off:
 * at their own size. Result as QVIDPreview. */
RXV_API int32_t QVIDPreviewScale(RXVCapture *capture, int16_t flag);
/* 0; writes the capture format (width, height, bits per pixel, low 16 bits of the compression
 * code: 0 for RGB and grey, 0x3449 for YUV12 "I420", 0x5659 for YVU9) and whether the driver
 * offers a video-source, video-format and video-display dialog (1 or 0; the drivers of this
 * engine offer none). RXV_ERR_NO_DRIVER for a bad handle or no connected driver (outputs
 * untouched). Null outputs are skipped. */
RXV_API int32_t QVIDGetVideoSettings(RXVCapture *capture, int16_t *width, int16_t *height,
                                     int16_t *bits, int16_t *compression, int16_t *sourceDialog,
                                     int16_t *formatDialog, int16_t *displayDialog);
/* 1 when the driver accepted 320 x 240, or else 352 x 288, in its current byte layout; 0 when
 * neither (the format stays as it was) or without a driver. A running capture is restarted. */
RXV_API int32_t QVIDSetVideoFormat(RXVCapture *capture);
/* 1: the next frame of the camera goes to the frame callback (and, with preview on, to the
 * surface) when it arrives, at most one frame period later; poll QVIDGetFrameNum. 0 when
 * capture is not running. Returns at once. */
RXV_API int32_t QVIDGrabFrameNoStop(RXVCapture *capture);
/* The driver's format, source and display dialogs: 1 when shown. The drivers of this engine have
 * none (QVIDGetVideoSettings says so): 0, nothing happens. */
RXV_API int32_t QVIDDlgVideoFormat(RXVCapture *capture);
RXV_API int32_t QVIDDlgVideoSource(RXVCapture *capture);
RXV_API int32_t QVIDDlgVideoDisplay(RXVCapture *capture);
/* 0; stores the capture status (kept for the caller, not used by the engine). */
RXV_API int32_t QVIDSetCapStatus(int16_t status);
/* Bytes copied: min(capacity, size of the last converted picture), 0 when nothing usable was
 * captured (also after a frame of an unknown size). Writes its width and height (16-bit; 0 x 0
 * when there is no usable picture). The copy is taken under the capture lock: never half of one
 * picture and half of the next. Null outputs are skipped. */
RXV_API int32_t QVIDGetFrame(uint8_t *picture, int32_t capacity, int16_t *width, int16_t *height);
/* The frame number: frames with data captured since QVIDInitialize, 0..4096, then 0 again. */
RXV_API int32_t QVIDGetFrameNum(void);

/* Extensions of this engine (not part of the classic interface): the scripted camera's test
 * pattern, for tests and for checking a camera path without a camera. */

/* Frame frameNumber of the scripted camera's test pattern, width x height, in the byte layout
 * format ("rgb24", "rgb555", "yuv12", "yvu9", "grey8", "grey4"), exactly as the camera delivers
 * it; "rgb24" is the pattern itself as a picture (bottom-up BGR). The pattern repeats every 256
 * frames. Returns the frame's byte count; RXV_ERR_INVALID for an unknown format or a size the
 * layout cannot hold (see the README), RXV_ERR_NO_ROOM when frame is null or capacity is too
 * small, or the pattern runs out of memory (nothing written). */
RXV_API int32_t QVIDTestPattern(const char *format, int32_t width, int32_t height,
                                int32_t frameNumber, uint8_t *frame, int32_t capacity);
/* The pattern frame number (0..255) shown in the code band of a picture of the test pattern
 * (bottom-up BGR, the pattern's own proportions, uncropped: as captured, after JPEG coding,
 * after an integer reduction); RXV_ERR_BAD_DATA when the band cannot be read, RXV_ERR_INVALID for
 * a null picture or one smaller than 20 x 16. */
RXV_API int32_t QVIDTestPatternNumber(const uint8_t *picture, int32_t width, int32_t height);

#ifdef __cplusplus
}
#endif

#endif /* RXVLIB11_H */
