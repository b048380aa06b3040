/* A Windows program built only from the unpacked zip: reverses argv[1] into
 * argv[2] and checks that nothing is being recorded. Exit 0 when both calls
 * gave the expected results. */
#include <tarnwick.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    return 64;
  }
  /* wchar_t is a UTF-16 code unit on Windows, as the library's paths are. */
  if (WAVReverse((const char16_t*)argv[1], (const char16_t*)argv[2]) != TARNWICK_DONE) {
    return 1;
  }
  return SoundRecorderStop() == 0 ? 0 : 2;
}
