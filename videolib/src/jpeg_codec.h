/* Baseline JPEG coding of single pictures on libjpeg, with the engine's own source and
 * destination managers. Written in C: libjpeg reports fatal errors by longjmp, which must never
 * cross a C++ object with a destructor. */
#ifndef RXV_JPEG_CODEC_H
#define RXV_JPEG_CODEC_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

enum rxv_jpeg_status {
    RXV_JPEG_OK = 0,
    RXV_JPEG_BAD_ARGUMENT, /* null pointer or a size below 1 */
    RXV_JPEG_OVERFLOW,     /* the compressed stream does not fit the output buffer */
    RXV_JPEG_DAMAGED,      /* libjpeg gave up: empty, damaged, not a JPEG, unsupported */
    RXV_JPEG_TOO_LARGE,    /* the decoded picture would not fit the output buffer */
    RXV_JPEG_IO            /* the file could not be read or written */
};

/* Limits that keep a hostile stream from costing unbounded memory or time. */
#define RXV_JPEG_MAX_SCANS 100
#define RXV_JPEG_MAX_MEMORY (32L * 1024 * 1024)

/* Compresses width x height x 3 bytes into output; *written receives the stream length. */
enum rxv_jpeg_status rxv_jpeg_compress_memory(const uint8_t *picture, int width, int height,
                                              int quality, uint8_t *output, size_t capacity,
                                              size_t *written);
enum rxv_jpeg_status rxv_jpeg_compress_file(const uint8_t *picture, int width, int height,
                                            int quality, FILE *file);

/* Decodes into picture (capacity bytes); three components per pixel; *width and *height are
 * set on success only. */
enum rxv_jpeg_status rxv_jpeg_decompress_memory(const uint8_t *data, size_t length,
                                                uint8_t *picture, size_t capacity, int *width,
                                                int *height);
enum rxv_jpeg_status rxv_jpeg_decompress_file(FILE *file, uint8_t *picture, size_t capacity,
                                              int *width, int *height);

#ifdef __cplusplus
}
#endif

#endif
