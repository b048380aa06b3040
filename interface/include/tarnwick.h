/*
 * Tarnwick: reverse PCM WAV files and record the default audio input into
 * 8 kHz, 16-bit, mono WAV files.
 *
 * Paths are NUL-terminated strings of 16-bit UTF-16 code units (never
 * wchar_t, which is 32 bits on Linux). Results are 32-bit signed integers.
 * Nothing is printed or logged; every outcome is a result.
 */
#ifndef TARNWICK_H
#define TARNWICK_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

/*
 * On Windows the functions live in Tarnwick.dll, exported by ordinal (1
 * WAVReverse, 3 SoundRecorderStart, 4 SoundRecorderStop; 2 is empty) and by
 * their plain names. They use the compiler's default calling convention for C
 * functions: __cdecl on 32-bit x86. TARNWICK_BUILDING_LIBRARY is defined only
 * while the library itself is compiled.
 */
#if defined(_WIN32) && defined(TARNWICK_BUILDING_LIBRARY)
#define TARNWICK_API __declspec(dllexport)
#elif defined(_WIN32)
#define TARNWICK_API __declspec(dllimport)
#else
#define TARNWICK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Success, for the operations that can fail. No operation returns 0. */
#define TARNWICK_DONE 999

/* WAVReverse failures. */
#define TARNWICK_REVERSE_INPUT_FAILED 1  /* input missing or unreadable, cannot seek, bad frame size */
#define TARNWICK_REVERSE_OUTPUT_FAILED 2 /* output cannot be created or written, or is the input */
#define TARNWICK_REVERSE_NOT_WAVE 4      /* bytes 8..11 of the input are not "WAVE" */

/*
 * Writes to `output_path` the 44-byte header of `input_path`, unchanged,
 * followed by the input's sample frames (channels x bits / 8 bytes each) in
 * reverse order. Everything after byte 44 of the input is taken as samples.
 * Returns TARNWICK_DONE or one of the TARNWICK_REVERSE_* failures.
 * Safe to call on several threads at once.
 */
TARNWICK_API int32_t WAVReverse(const char16_t* input_path, const char16_t* output_path);

/* SoundRecorderStart failures. */
#define TARNWICK_RECORD_DEVICE_FAILED 1 /* no capture device could be opened, or the file not created */
#define TARNWICK_RECORD_QUEUE_FAILED 2  /* the device refused the capture buffer */
#define TARNWICK_RECORD_START_FAILED 3  /* the device would not start capturing */

/*
 * Records the default audio input into `path` (created, or emptied) as an
 * 8 kHz, 16-bit, mono WAV file, in blocks of one second, until
 * SoundRecorderStop. The file is a valid WAV file holding every whole block at
 * all times, so an interrupted recording is never lost. A recording still open
 * from an earlier start is first finished. Returns TARNWICK_DONE while
 * recording, or one of the TARNWICK_RECORD_* failures; after a failure, the
 * file (if it was created) holds an empty recording until SoundRecorderStop.
 */
TARNWICK_API int32_t SoundRecorderStart(const char16_t* path);

/*
 * Stops recording, finishes the file and returns the number of seconds it
 * holds (a last, partly filled second counts as a whole one and is padded
 * with silence). Returns 0 when nothing is being recorded.
 */
TARNWICK_API int32_t SoundRecorderStop(void);

#ifdef __cplusplus
}
#endif

#endif /* TARNWICK_H */
