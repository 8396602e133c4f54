/* Baseline JPEG coding of single pictures on libjpeg (the 6b interface of libjpeg-turbo).
 *
 * Source and destination managers are the engine's own and move data in chunks of 4,096 bytes.
 * Every fatal libjpeg error ends in on_error_exit, which jumps back to the call that started the
 * work; that call destroys the libjpeg object and reports the failure, so no stream, however
 * broken, can end the process. */
#include "jpeg_codec.h"

#include <setjmp.h>
#include <string.h>

#include <jerror.h>
#include <jpeglib.h>

#define CHUNK 4096
#define MAX_SIDE 32767 /* widths and heights travel as 16-bit values */

struct error_mgr {
    struct jpeg_error_mgr pub;
    jmp_buf jump;
    enum rxv_jpeg_status failure;
};

static void on_error_exit(j_common_ptr cinfo)
{
    struct error_mgr *err = (struct error_mgr *)cinfo->err;
    if (err->failure == RXV_JPEG_OK) err->failure = RXV_JPEG_DAMAGED;
    longjmp(err->jump, 1);
}

/* A library must not write to the program's standard error; warnings are only counted. */
static void on_emit_message(j_common_ptr cinfo, int level)
{
    if (level < 0) cinfo->err->num_warnings++;
}

static void on_output_message(j_common_ptr cinfo)
{
    (void)cinfo;
}

static void fail_with(j_common_ptr cinfo, enum rxv_jpeg_status failure, int code)
{
    ((struct error_mgr *)cinfo->err)->failure = failure;
    cinfo->err->msg_code = code;
    (*cinfo->err->error_exit)(cinfo);
}

static struct jpeg_error_mgr *init_error(struct error_mgr *err)
{
    jpeg_std_error(&err->pub);
    err->pub.error_exit = on_error_exit;
    err->pub.emit_message = on_emit_message;
    err->pub.output_message = on_output_message;
    err->failure = RXV_JPEG_OK;
    return &err->pub;
}

/* ---- destinations ---- */

/* The caller's buffer, handed to libjpeg 4,096 bytes at a time. libjpeg asks for a new chunk as
 * soon as one is full, before it knows whether more bytes follow, so a scratch chunk takes the
 * bytes past the capacity; any byte landing there means the stream did not fit. */
struct memory_dest {
    struct jpeg_destination_mgr pub;
    uint8_t *buffer;
    size_t capacity;
    size_t filled; /* bytes in completed chunks */
    size_t chunk;  /* size of the chunk being filled */
    int in_scratch;
    int overflow;
    JOCTET scratch[CHUNK];
};

static void memory_next_chunk(struct memory_dest *d)
{
    size_t left = d->capacity - d->filled;
    d->chunk = left < CHUNK ? left : CHUNK;
    d->pub.next_output_byte = d->buffer + d->filled;
    d->pub.free_in_buffer = d->chunk;
}

static void memory_init_destination(j_compress_ptr cinfo)
{
    struct memory_dest *d = (struct memory_dest *)cinfo->dest;
    d->filled = 0;
    d->in_scratch = 0;
    d->overflow = 0;
    if (d->capacity == 0) {
        d->in_scratch = 1;
        d->pub.next_output_byte = d->scratch;
        d->pub.free_in_buffer = CHUNK;
        return;
    }
    memory_next_chunk(d);
}

static boolean memory_empty_output_buffer(j_compress_ptr cinfo)
{
    struct memory_dest *d = (struct memory_dest *)cinfo->dest;
    if (d->in_scratch) {
        d->overflow = 1;
        fail_with((j_common_ptr)cinfo, RXV_JPEG_OVERFLOW, JERR_BUFFER_SIZE);
        return FALSE; /* not reached: fail_with jumps */
    }
    d->filled += d->chunk;
    if (d->filled < d->capacity) {
        memory_next_chunk(d);
    } else {
        d->in_scratch = 1;
        d->pub.next_output_byte = d->scratch;
        d->pub.free_in_buffer = CHUNK;
    }
    return TRUE;
}

static void memory_term_destination(j_compress_ptr cinfo)
{
    struct memory_dest *d = (struct memory_dest *)cinfo->dest;
    if (d->in_scratch)
        d->overflow = d->pub.free_in_buffer < CHUNK;
    else
        d->filled += d->chunk - d->pub.free_in_buffer;
}

struct file_dest {
    struct jpeg_destination_mgr pub;
    FILE *file;
    JOCTET buffer[CHUNK];
};

static void file_init_destination(j_compress_ptr cinfo)
{
    struct file_dest *d = (struct file_dest *)cinfo->dest;
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = CHUNK;
}

static boolean file_empty_output_buffer(j_compress_ptr cinfo)
{
    struct file_dest *d = (struct file_dest *)cinfo->dest;
    if (fwrite(d->buffer, 1, CHUNK, d->file) != CHUNK)
        fail_with((j_common_ptr)cinfo, RXV_JPEG_IO, JERR_FILE_WRITE);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = CHUNK;
    return TRUE;
}

static void file_term_destination(j_compress_ptr cinfo)
{
    struct file_dest *d = (struct file_dest *)cinfo->dest;
    size_t n = CHUNK - d->pub.free_in_buffer;
    if ((n > 0 && fwrite(d->buffer, 1, n, d->file) != n) || fflush(d->file) != 0)
        fail_with((j_common_ptr)cinfo, RXV_JPEG_IO, JERR_FILE_WRITE);
}

/* ---- sources ---- */

/* Both sources start with this, so that skipping and the supplied end marker are shared. */
struct source_base {
    struct jpeg_source_mgr pub;
    int at_end;
};

static const JOCTET k_end_of_image[2] = {0xFF, JPEG_EOI};

/* The data ended before the image: warn and supply an end-of-image marker, so that a stream cut
 * short still completes at its full size (libjpeg decodes the missing blocks of a baseline stream
 * as mid-grey). */
static void supply_end_marker(j_decompress_ptr cinfo)
{
    struct source_base *s = (struct source_base *)cinfo->src;
    WARNMS(cinfo, JWRN_JPEG_EOF);
    s->at_end = 1;
    s->pub.next_input_byte = k_end_of_image;
    s->pub.bytes_in_buffer = sizeof k_end_of_image;
}

static void skip_input_data(j_decompress_ptr cinfo, long num_bytes)
{
    struct source_base *s = (struct source_base *)cinfo->src;
    if (num_bytes <= 0) return;
    while ((size_t)num_bytes > s->pub.bytes_in_buffer) {
        num_bytes -= (long)s->pub.bytes_in_buffer;
        (void)(*s->pub.fill_input_buffer)(cinfo);
        if (s->at_end) return; /* leave the end marker to be read */
    }
    s->pub.next_input_byte += num_bytes;
    s->pub.bytes_in_buffer -= (size_t)num_bytes;
}

static void init_source(j_decompress_ptr cinfo)
{
    (void)cinfo;
}
static void term_source(j_decompress_ptr cinfo)
{
    (void)cinfo;
}

/* The caller's memory block, handed out 4,096 bytes at a time without copying. */
struct memory_source {
    struct source_base base;
    const JOCTET *data;
    size_t length;
    size_t offset;
};

static boolean memory_fill_input_buffer(j_decompress_ptr cinfo)
{
    struct memory_source *s = (struct memory_source *)cinfo->src;
    if (s->offset >= s->length) {
        supply_end_marker(cinfo);
        return TRUE;
    }
    size_t n = s->length - s->offset;
    if (n > CHUNK) n = CHUNK;
    s->base.pub.next_input_byte = s->data + s->offset;
    s->base.pub.bytes_in_buffer = n;
    s->offset += n;
    return TRUE;
}

struct file_source {
    struct source_base base;
    FILE *file;
    JOCTET buffer[CHUNK];
};

static boolean file_fill_input_buffer(j_decompress_ptr cinfo)
{
    struct file_source *s = (struct file_source *)cinfo->src;
    size_t n = fread(s->buffer, 1, CHUNK, s->file);
    if (n == 0) {
        supply_end_marker(cinfo);
        return TRUE;
    }
    s->base.pub.next_input_byte = s->buffer;
    s->base.pub.bytes_in_buffer = n;
    return TRUE;
}

static void init_source_base(struct source_base *s, boolean (*fill)(j_decompress_ptr))
{
    s->pub.init_source = init_source;
    s->pub.fill_input_buffer = fill;
    s->pub.skip_input_data = skip_input_data;
    s->pub.resync_to_restart = jpeg_resync_to_restart;
    s->pub.term_source = term_source;
    s->pub.next_input_byte = NULL;
    s->pub.bytes_in_buffer = 0;
    s->at_end = 0;
}

/* ---- compression ---- */

/* Rows go to and from libjpeg several at a time: asked for one row at a time, it makes two with
 * each pass of its 2 x 2 chroma sampling and copies them through a spare row, a fifth of a
 * decompression's time. */
#define ROWS_AT_ONCE 32

static JDIMENSION fill_rows(JSAMPROW *rows, uint8_t *picture, size_t row_bytes, JDIMENSION first,
                            JDIMENSION height)
{
    JDIMENSION n = height - first < ROWS_AT_ONCE ? height - first : ROWS_AT_ONCE;
    JDIMENSION i;
    for (i = 0; i < n; ++i)
        rows[i] = picture + row_bytes * (first + i);
    return n;
}

static enum rxv_jpeg_status compress(const uint8_t *picture, int width, int height, int quality,
                                     struct jpeg_destination_mgr *dest)
{
    struct jpeg_compress_struct cinfo;
    struct error_mgr err;
    if (picture == NULL || width < 1 || height < 1 || width > MAX_SIDE || height > MAX_SIDE)
        return RXV_JPEG_BAD_ARGUMENT;
    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = init_error(&err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return err.failure;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = dest;
    cinfo.image_width = (JDIMENSION)width;
    cinfo.image_height = (JDIMENSION)height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        /* libjpeg takes rows as non-const but only reads them */
        JSAMPROW rows[ROWS_AT_ONCE];
        JDIMENSION n = fill_rows(rows, (uint8_t *)picture, (size_t)width * 3, cinfo.next_scanline,
                                 cinfo.image_height);
        jpeg_write_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return RXV_JPEG_OK;
}

enum rxv_jpeg_status rxv_jpeg_compress_memory(const uint8_t *picture, int width, int height,
                                              int quality, uint8_t *output, size_t capacity,
                                              size_t *written)
{
    struct memory_dest dest;
    enum rxv_jpeg_status status;
    if (output == NULL || written == NULL) return RXV_JPEG_BAD_ARGUMENT;
    memset(&dest, 0, sizeof dest);
    dest.pub.init_destination = memory_init_destination;
    dest.pub.empty_output_buffer = memory_empty_output_buffer;
    dest.pub.term_destination = memory_term_destination;
    dest.buffer = output;
    dest.capacity = capacity;
    status = compress(picture, width, height, quality, &dest.pub);
    if (status == RXV_JPEG_OK && dest.overflow) status = RXV_JPEG_OVERFLOW;
    if (status == RXV_JPEG_OK) *written = dest.filled;
    return status;
}

enum rxv_jpeg_status rxv_jpeg_compress_file(const uint8_t *picture, int width, int height,
                                            int quality, FILE *file)
{
    struct file_dest dest;
    if (file == NULL) return RXV_JPEG_BAD_ARGUMENT;
    memset(&dest, 0, sizeof dest);
    dest.pub.init_destination = file_init_destination;
    dest.pub.empty_output_buffer = file_empty_output_buffer;
    dest.pub.term_destination = file_term_destination;
    dest.file = file;
    return compress(picture, width, height, quality, &dest.pub);
}

/* ---- decompression ---- */

/* A progressive stream may carry any number of scans, each a pass over the whole picture; a
 * hostile one must not keep the caller busy for seconds. */
static void limit_scans(j_common_ptr cinfo)
{
    j_decompress_ptr d = (j_decompress_ptr)cinfo;
    if (cinfo->is_decompressor && d->input_scan_number > RXV_JPEG_MAX_SCANS)
        fail_with(cinfo, RXV_JPEG_DAMAGED, JERR_NOTIMPL);
}

static enum rxv_jpeg_status decompress(struct jpeg_source_mgr *src, uint8_t *picture,
                                       size_t capacity, int *width, int *height)
{
    struct jpeg_decompress_struct cinfo;
    struct error_mgr err;
    struct jpeg_progress_mgr progress;
    enum rxv_jpeg_status status = RXV_JPEG_OK;
    memset(&cinfo, 0, sizeof cinfo);
    memset(&progress, 0, sizeof progress);
    cinfo.err = init_error(&err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return err.failure;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = RXV_JPEG_MAX_MEMORY;
    progress.progress_monitor = limit_scans;
    cinfo.progress = &progress;
    cinfo.src = src;
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE)
        cinfo.out_color_space = JCS_RGB; /* callers always get three components */
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_components != 3) {
        status = RXV_JPEG_DAMAGED; /* CMYK and other layouts the program cannot show */
    } else if (cinfo.output_width > MAX_SIDE || cinfo.output_height > MAX_SIDE ||
               (size_t)cinfo.output_width * cinfo.output_height * 3 > capacity) {
        status = RXV_JPEG_TOO_LARGE;
    } else {
        size_t row_bytes = (size_t)cinfo.output_width * 3;
        jpeg_start_decompress(&cinfo);
        while (status == RXV_JPEG_OK && cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW rows[ROWS_AT_ONCE];
            JDIMENSION n =
                fill_rows(rows, picture, row_bytes, cinfo.output_scanline, cinfo.output_height);
            if (jpeg_read_scanlines(&cinfo, rows, n) == 0) status = RXV_JPEG_DAMAGED;
        }
        if (status == RXV_JPEG_OK) {
            jpeg_finish_decompress(&cinfo);
            *width = (int)cinfo.output_width;
            *height = (int)cinfo.output_height;
        }
    }
    jpeg_destroy_decompress(&cinfo);
    return status;
}

enum rxv_jpeg_status rxv_jpeg_decompress_memory(const uint8_t *data, size_t length,
                                                uint8_t *picture, size_t capacity, int *width,
                                                int *height)
{
    struct memory_source src;
    if (data == NULL || picture == NULL || width == NULL || height == NULL)
        return RXV_JPEG_BAD_ARGUMENT;
    memset(&src, 0, sizeof src);
    init_source_base(&src.base, memory_fill_input_buffer);
    src.data = data;
    src.length = length;
    return decompress(&src.base.pub, picture, capacity, width, height);
}

enum rxv_jpeg_status rxv_jpeg_decompress_file(FILE *file, uint8_t *picture, size_t capacity,
                                              int *width, int *height)
{
    struct file_source src;
    if (file == NULL || picture == NULL || width == NULL || height == NULL)
        return RXV_JPEG_BAD_ARGUMENT;
    memset(&src, 0, sizeof src);
    init_source_base(&src.base, file_fill_input_buffer);
    src.file = file;
    return decompress(&src.base.pub, picture, capacity, width, height);
}
