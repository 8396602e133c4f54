/*
 * qvnaud20.h - the audio engine libQVNAUD20.so: 8 kHz 8-bit mono recording and playback with
 * polled buffer queues and output volume, and the GSM block codec used for speech on the wire.
 *
 * The engine is single-instance: all state is process-wide. Every export is a plain C function
 * with fixed-width arguments so that the program can bind it with dlsym and decltype.
 *
 * Sound is 8-bit unsigned PCM, mono, 8,000 samples per second, silence = 128.
 * A GSM block is one mode byte (0 full rate, 1 half rate) followed by 33-byte GSM 06.10 frames,
 * each carrying 160 samples.
 */
#ifndef QVNAUD20_H
#define QVNAUD20_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define QVNAUD20_API __attribute__((visibility("default")))
#else
#define QVNAUD20_API
#endif

/* Results of the device exports besides 0 (success). */
#define QVNAUD20_NO_DEVICE (-10)   /* no recording (or playback) device at all */
#define QVNAUD20_ERR_GENERAL 1     /* the device failed for another reason */
#define QVNAUD20_ERR_BUSY 4        /* the device is in use by another program */
#define QVNAUD20_ERR_BAD_HANDLE 5  /* handle not open (or the device has closed itself) */
#define QVNAUD20_ERR_NO_MEMORY 7   /* out of memory */
#define QVNAUD20_ERR_BAD_PARAM 11  /* null pointer or negative count */
#define QVNAUD20_ERR_BAD_FORMAT 32 /* the device cannot record or play 8 kHz 8-bit mono */

#define QVNAUD20_BUFFER_BYTES 1600 /* one recorded buffer (0.2 s) */
#define QVNAUD20_RECORD_BYTES 2000 /* most that QVIDUnCompressAudioGSM ever writes */
#define QVNAUD20_FRAME_BYTES 33    /* one GSM 06.10 frame */
#define QVNAUD20_FRAME_SAMPLES 160 /* samples in one frame */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Devices --------------------------------------------------------------------------- */

/* 1 when a playback device exists, else 0. */
QVNAUD20_API int32_t QVIDHasAudio(void);

/* Opens recording and starts it with ten 1,600-byte buffers queued. window and instance are
 * ignored. 0 and *handle set on success; QVNAUD20_NO_DEVICE, QVNAUD20_ERR_BAD_FORMAT or another
 * device error otherwise. While recording is open, a second call returns 0 and the same handle. */
QVNAUD20_API int32_t QVIDInitAudioIn(int32_t window, int32_t instance, int32_t *handle);
/* Sets the recording flag and (re)starts the device, topping its buffers up to ten. */
QVNAUD20_API int32_t QVIDStartAudioIn(int32_t handle);
/* Number of recorded buffers waiting (0..25). handle is ignored. */
QVNAUD20_API int32_t QVIDStatusAudioIn(int32_t handle);
/* Copies the oldest waiting buffer (at most 1,600 bytes) to destination and returns its length;
 * 0 when none waits (destination untouched). */
QVNAUD20_API int32_t QVIDGetAudioIn(uint8_t *destination);
/* Returns every buffer from the device (those holding sound join the waiting queue). */
QVNAUD20_API int32_t QVIDResetAudioIn(int32_t handle);
/* Stops recording; the partly filled buffer joins the waiting queue. */
QVNAUD20_API int32_t QVIDStopAudioIn(int32_t handle);
/* Clears the recording flag, stops, resets and closes the device. Waiting buffers stay. */
QVNAUD20_API int32_t QVIDCloseAudioIn(int32_t handle);

/* Opens playback (window and instance ignored). 0 and *handle set on success. While playback is
 * open, a second call returns 0 and the same handle. */
QVNAUD20_API int32_t QVIDInitAudioOut(int32_t window, int32_t instance, int32_t *handle);
/* 1 while the playback device is open, 0 once it has closed itself after its last block.
 * handle is ignored. */
QVNAUD20_API int32_t QVIDStatusAudioOut(int32_t handle);
/* Queues count samples for playing at the current output volume. handle is ignored. 0 on
 * success; QVNAUD20_ERR_BAD_HANDLE when no playback device is open. */
QVNAUD20_API int32_t QVIDSetAudioOut(int32_t handle, const uint8_t *samples, int16_t count);
/* Stops playback and drops the queued blocks; the device then closes itself. */
QVNAUD20_API int32_t QVIDStopAudioOut(int32_t handle);
/* Stops playback, drops the queued blocks and closes the device. */
QVNAUD20_API int32_t QVIDCloseAudioOut(int32_t handle);

/* Output volume 0..100 (applied to the samples as they are queued for playing). */
QVNAUD20_API int32_t QVIDGetVolumeOut(void);
/* Sets the output volume; values outside 0..100 are clamped. Returns 0. */
QVNAUD20_API int32_t QVIDSetVolumeOut(int32_t volume);

/* Extensions of this engine (not part of the classic interface): choosing the sound devices.
 * The environment variables OVELA_MIC and OVELA_SPEAKER, when set, still decide (scripted
 * devices for tests and demos); otherwise the device chosen here is opened. */

/* The ALSA devices for recording (recording nonzero) or playing: "default" first, then each
 * device ALSA lists for that direction, one per line as its name, a tab and a one-line
 * description, each line ending in '\n'. Writes as many whole lines as fit into size bytes,
 * then a 0, and returns the bytes the whole list needs, the 0 included; with a null names or a
 * size below 1 it writes nothing (so a first call can ask for the size). */
QVNAUD20_API int32_t QVIDGetAudioDevices(int32_t recording, char *names, int32_t size);
/* Records from (recording nonzero) or plays on the named ALSA device from the next opening on
 * (QVIDHasAudio too); a null or empty name goes back to "default". 0, or QVNAUD20_ERR_BAD_PARAM
 * (nothing changed) for a name of 256 bytes or more. */
QVNAUD20_API int32_t QVIDSetAudioDevice(int32_t recording, const char *name);

/* ---- GSM block codec ------------------------------------------------------------------- */

/* Creates the coder state. Returns 0 (coding is skipped later if it could not be created). */
QVNAUD20_API int32_t QVIDStartGSM(void);
/* Releases the coder state. Returns 0. */
QVNAUD20_API int32_t QVIDStopGSM(void);

/* Codes count samples (mode 0 full rate, 1 half rate; any other mode codes as 0) into block,
 * which must hold 1 + ceil(n / 160) * 33 bytes, n = count (mode 0) or count / 2 (mode 1).
 * Mode 1 thins the samples buffer in place. Returns the block length: 1 + frames * 33, or 0
 * when there is no coder state or a pointer is null. */
QVNAUD20_API int32_t QVIDCompressAudioGSM(uint8_t *samples, int16_t count, int16_t mode,
                                          uint8_t *block);

/* Decodes a received block into samples and returns the number of samples written. Never
 * writes more than QVNAUD20_RECORD_BYTES (2,000) bytes: a block that would decode to more is
 * cut to the whole frames that fit. Blocks of length <= 1, unknown modes, or no coder state
 * give 0. A trailing partial frame is never read past the block's end. */
QVNAUD20_API int32_t QVIDUnCompressAudioGSM(const uint8_t *block, int16_t length, uint8_t *samples);

/* Extension of this engine (not part of the classic interface). The same with the caller's
 * buffer size: never writes more than capacity bytes. */
QVNAUD20_API int32_t QVIDUnCompressAudioGSMBounded(const uint8_t *block, int16_t length,
                                                   uint8_t *samples, int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* QVNAUD20_H */
