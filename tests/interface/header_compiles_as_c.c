/* The public header is plain C: this file only has to compile. */
#include "tarnwick.h"

_Static_assert(sizeof(&WAVReverse) == sizeof(void (*)(void)), "WAVReverse is declared as a function");
_Static_assert(TARNWICK_DONE == 999, "success is 999");
