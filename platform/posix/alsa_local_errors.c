/* ALSA 1.2.8 declares snd_lib_error_set_local outside its extern "C" block,
 * so C++ cannot call it by that name; this C wrapper is the way in. */

#include <alsa/asoundlib.h>

#include "alsa_local_errors.h"

snd_local_error_handler_t tarnwick_alsa_set_local_errors(snd_local_error_handler_t handler) {
  return snd_lib_error_set_local(handler);
}
