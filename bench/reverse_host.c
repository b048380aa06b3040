/*
 * The reversal benchmark's host: one WAVReverse call, linked against the
 * library as a program that ships with it would be, and nothing else, so
 * that the timings are the library's own. Exit status 0 for TARNWICK_DONE,
 * the result otherwise.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tarnwick.h"

/* The benchmark's file names are ASCII, which is UTF-16 unit for byte; NULL
 * for any other name. The caller frees the result. */
static char16_t* AsciiToUtf16(const char* name) {
  const size_t length = strlen(name);
  char16_t* wide = malloc((length + 1) * sizeof *wide);
  if (wide == NULL) return NULL;
  for (size_t i = 0; i <= length; ++i) {
    if ((unsigned char)name[i] >= 0x80) {
      free(wide);
      return NULL;
    }
    wide[i] = (char16_t)name[i];
  }
  return wide;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s IN.wav OUT.wav\n", argv[0]);
    return 64;
  }
  char16_t* in = AsciiToUtf16(argv[1]);
  char16_t* out = AsciiToUtf16(argv[2]);
  if (in == NULL || out == NULL) {
    fprintf(stderr, "%s: the names must be ASCII\n", argv[0]);
    return 64;
  }
  const int32_t result = WAVReverse(in, out);
  free(in);
  free(out);
  if (result != TARNWICK_DONE) fprintf(stderr, "%s: WAVReverse returned %d\n", argv[0], (int)result);
  return result == TARNWICK_DONE ? 0 : (int)result;
}
