#include <tarnwick.h>

int main(void) {
  /* A missing input must be refused: proves the call reached the library. */
  return WAVReverse(u"/nonexistent/in.wav", u"/nonexistent/out.wav") == TARNWICK_REVERSE_INPUT_FAILED ? 0 : 1;
}
