#pragma once
/* Sets the calling thread's handler for ALSA's error messages (null: back to
 * the process-wide one) and returns the previous one. */

#include <stdarg.h>

#include <alsa/error.h>

#ifdef __cplusplus
extern "C" {
#endif

snd_local_error_handler_t tarnwick_alsa_set_local_errors(snd_local_error_handler_t handler);

#ifdef __cplusplus
}
#endif
