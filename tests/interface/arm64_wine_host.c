/*
 * A host of Tarnwick.dll for Debian 12's Wine 8.0 for arm64, whose C runtime
 * is Linux code: a variadic call from an ARM64 program into it crashes (the
 * two systems pass variadic arguments differently), and GoogleTest's programs
 * make such calls from the start. So nothing here calls printf or its kin:
 * lines go out through WriteFile, numbers are formatted by hand.
 * One line per check; --paced-ramp when the capture device is the tests' paced
 * one (tests/platform/paced_capture_plugin.c). Exit status 0 when every check
 * passed, 2 when all that ran passed but no capture device could be opened,
 * 1 otherwise.
 */
#include <windows.h>

#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include "tarnwick.h"

typedef int32_t (*ReverseFunction)(const char16_t*, const char16_t*);
typedef int32_t (*StartFunction)(const char16_t*);
typedef int32_t (*StopFunction)(void);

enum { kHeader = 44, kMost = 5 << 20 };
static uint8_t input[kMost], output[kMost + 64], expected[kMost + 64];
static wchar_t dir[MAX_PATH], in_path[MAX_PATH], out_path[MAX_PATH];
static int32_t failures;
static ReverseFunction reverse;

static void Put(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)strlen(text), &written, NULL);
}

/* The decimal digits of `value`, in a buffer that the next call reuses. */
static const char* Decimal(int64_t value) {
  static char digits[24];
  char* at = digits + sizeof digits;
  uint64_t rest = value < 0 ? 0u - (uint64_t)value : (uint64_t)value;
  *--at = '\0';
  do *--at = (char)('0' + rest % 10u);
  while ((rest /= 10u) != 0u);
  if (value < 0) *--at = '-';
  return at;
}

/* `got` is printed on failure: a result code or a size. */
static void Check(int ok, const char* what, int64_t got) {
  Put(ok ? "ok    " : "FAIL  ");
  Put(what);
  if (!ok) Put(" (got "), Put(Decimal(got)), Put(")");
  Put("\r\n");
  if (!ok) ++failures;
}

/* dir + name, in a buffer of the caller's. */
static const wchar_t* In(const wchar_t* name, wchar_t* path) { return wcscat(wcscpy(path, dir), name); }

static int WriteWhole(const wchar_t* path, const uint8_t* bytes, DWORD size) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD written = 0;
  BOOL ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, size, &written, NULL) && written == size;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

/* The file's size, or -1 when it cannot be read or is larger than `room`. */
static int64_t ReadWhole(const wchar_t* path, uint8_t* bytes, DWORD room) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  DWORD got = 0;
  if (file == INVALID_HANDLE_VALUE) return -1;
  BOOL ok = ReadFile(file, bytes, room, &got, NULL) && got < room;
  CloseHandle(file);
  return ok ? (int64_t)got : -1;
}

static void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = (uint8_t)(value >> (8 * i));
}

/* The canonical 44-byte header of `data` bytes, then varied sample bytes. */
static DWORD MakeWav(uint16_t channels, uint16_t bits, uint32_t data) {
  uint32_t frame = (uint32_t)channels * bits / 8u, seed = 12345u + data;
  memcpy(input, "RIFF....WAVEfmt \x10\0\0\0\x01\0", 22);
  Put32(input + 4, 36u + data);
  input[22] = (uint8_t)channels, input[23] = (uint8_t)(channels >> 8);
  Put32(input + 24, 8000u), Put32(input + 28, 8000u * frame);
  input[32] = (uint8_t)frame, input[33] = 0, input[34] = (uint8_t)bits, input[35] = 0;
  memcpy(input + 36, "data", 4), Put32(input + 40, data);
  for (uint32_t i = 0; i < data; ++i) input[kHeader + i] = (uint8_t)((seed = seed * 1103515245u + 12345u) >> 23);
  return kHeader + data;
}

/* The reversal as the header file states it, frame by frame from the end: the
 * frames that start at size - F, size - 2F, ... down to the first that starts
 * at byte 44 or before, which then reaches back into the header. */
static DWORD Expected(DWORD size, DWORD frame) {
  DWORD length = kHeader;
  memcpy(expected, input, kHeader);
  for (DWORD end = size; end > kHeader; end -= frame, length += frame)
    memcpy(expected + length, input + end - frame, frame);
  return length;
}

/* Reverses `size` bytes of `input` and compares with `want`/`want_size`. */
static void CheckReversal(const char* what, DWORD size, const uint8_t* want, DWORD want_size) {
  int32_t result = WriteWhole(In(L"in.wav", in_path), input, size) ? reverse(in_path, In(L"out.wav", out_path)) : -1;
  int64_t got = ReadWhole(out_path, output, sizeof output);
  Check(result == TARNWICK_DONE && got == want_size && memcmp(output, want, want_size) == 0, what,
        result == TARNWICK_DONE ? got : result);
  DeleteFileW(out_path);
}

static void Reversals(void) {
  static const uint16_t formats[][2] = {{1, 8}, {1, 16}, {1, 24}, {2, 16}, {5, 8},  {2, 24},
                                        {7, 8}, {2, 32}, {3, 24}, {6, 16}, {8, 24}, {4, 24}};
  for (size_t i = 0; i < sizeof formats / sizeof formats[0]; ++i) {
    DWORD frame = (DWORD)formats[i][0] * formats[i][1] / 8u,
          size = MakeWav(formats[i][0], formats[i][1], frame * 70001u);
    char what[80] = "reverse: ";
    strcat(strcat(what, Decimal(formats[i][0])), " x ");
    strcat(strcat(what, Decimal(formats[i][1])), " bits, frame of ");
    strcat(strcat(what, Decimal(frame)), " bytes, 70001 frames");
    CheckReversal(what, size, expected, Expected(size, frame));
    if (frame == 1) continue;
    size = MakeWav(formats[i][0], formats[i][1], frame * 70001u + frame - 1u);
    strcat(what, " and a part frame");
    CheckReversal(what, size, expected, Expected(size, frame));
  }
  DWORD size = MakeWav(2, 24, 6u * 800000u + 5u);
  CheckReversal("reverse: 4.6 MiB, frame of 6 bytes, a part frame", size, expected, Expected(size, 6));
  size = MakeWav(2, 16, 0);
  CheckReversal("reverse: an empty data chunk gives the header alone", size, input, kHeader);
  /* A worked example, independent of Expected(): F = 4, data D0..D5. */
  size = MakeWav(2, 16, 6);
  memcpy(input + kHeader, "\xD0\xD1\xD2\xD3\xD4\xD5", 6);
  memcpy(expected, input, kHeader), memcpy(expected + kHeader, "\xD2\xD3\xD4\xD5\0\0\xD0\xD1", 8);
  CheckReversal("reverse: worked example, the part frame carries header bytes 42, 43", size, expected, kHeader + 8);
}

/* A refused input: the result, and no output file. */
static void CheckRefusal(const char* what, DWORD size, const wchar_t* from, int32_t want) {
  if (size > 0) WriteWhole(In(L"in.wav", in_path), input, size);
  int32_t result = reverse(from, In(L"out.wav", out_path));
  Check(result == want && GetFileAttributesW(out_path) == INVALID_FILE_ATTRIBUTES, what, result);
  DeleteFileW(out_path);
}

static void Refusals(void) {
  wchar_t path[MAX_PATH];
  DWORD size = MakeWav(1, 16, 4);
  input[8] = 'w';
  CheckRefusal("refuse: bytes 8..11 not WAVE -> 4", size, in_path, TARNWICK_REVERSE_NOT_WAVE);
  size = MakeWav(1, 16, 0);
  CheckRefusal("refuse: 43 bytes -> 4", size - 1, in_path, TARNWICK_REVERSE_NOT_WAVE);
  size = MakeWav(0, 16, 4);
  CheckRefusal("refuse: zero channels -> 1", size, in_path, TARNWICK_REVERSE_INPUT_FAILED);
  CheckRefusal("refuse: no such input -> 1", 0, In(L"missing.wav", path), TARNWICK_REVERSE_INPUT_FAILED);
  CheckRefusal("refuse: null input -> 1", 0, NULL, TARNWICK_REVERSE_INPUT_FAILED);
  size = MakeWav(1, 8, 3);
  WriteWhole(In(L"in.wav", in_path), input, size);
  Check(reverse(in_path, In(L"no such dir\\out.wav", path)) == TARNWICK_REVERSE_OUTPUT_FAILED,
        "refuse: output in a missing folder -> 2", 0);
  /* The output is the input: by the same name, by another spelling of it, by a
   * hard link. Each is refused with 2 and leaves the input as it was. */
  const wchar_t* spellings[] = {L"in.wav", L".\\IN.WAV", L"link.wav"};
  const char* whats[] = {"same name", ".\\IN.WAV", "a hard link"};
  CreateHardLinkW(In(L"link.wav", path), in_path, NULL);
  for (int i = 0; i < 3; ++i) {
    char what[64] = "refuse: output is the input, ";
    int32_t result = reverse(in_path, In(spellings[i], path));
    Check(result == TARNWICK_REVERSE_OUTPUT_FAILED && ReadWhole(in_path, output, sizeof output) == size &&
              memcmp(output, input, size) == 0,
          strcat(strcat(what, whats[i]), " -> 2"), result);
  }
  DeleteFileW(In(L"link.wav", path)), DeleteFileW(in_path);
}

/* Names no code page holds: Han, Hangul, Cyrillic, and two characters past
 * U+FFFF (a musical note, a Han character of plane 2), as surrogate pairs. */
static void UnicodePaths(void) {
  wchar_t folder[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
  In(L"\x97F3\xD55C\x0416\xD83C\xDFB5", folder);
  DWORD size = MakeWav(1, 16, 6000), length = Expected(size, 2);
  int ok =
      CreateDirectoryW(folder, NULL) && WriteWhole(wcscat(wcscpy(from, folder), L"\\\xD840\xDC0B-in.wav"), input, size);
  int32_t result = ok ? reverse(from, wcscat(wcscpy(to, folder), L"\\\xD83C\xDFB5-out.wav")) : -1;
  Check(result == TARNWICK_DONE && ReadWhole(to, output, sizeof output) == length &&
            memcmp(output, expected, length) == 0,
        "reverse: names in UTF-16 outside every code page (astral characters too)", result);
  DeleteFileW(from), DeleteFileW(to), RemoveDirectoryW(folder);
}

/* With `ramp`, the device is the tests' paced one, whose frame n holds n * 7. */
static int Recording(StartFunction start, StopFunction stop, int ramp) {
  static const uint8_t header[] = "RIFF....WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0\x02\0\x10\0data";
  wchar_t path[MAX_PATH];
  int32_t result = start(In(L"recording.wav", path));
  if (result == TARNWICK_DONE) Sleep(2500);
  /* After a failed start the library keeps the file until the stop. */
  int32_t seconds = stop();
  int64_t size = ReadWhole(path, output, sizeof output);
  if (result == TARNWICK_RECORD_DEVICE_FAILED && seconds == 0 && size == kHeader) {
    Put("NO DEVICE  record: SoundRecorderStart found no capture device (1, an empty recording): not tested\r\n");
    return DeleteFileW(path), 0;
  }
  memcpy(expected, header, 40), Put32(expected + 4, 36u + 16000u * (uint32_t)seconds);
  Put32(expected + 40, 16000u * (uint32_t)seconds);
  Check(result == TARNWICK_DONE, "record: SoundRecorderStart -> 999", result);
  Check(seconds >= 2 && seconds <= 3, "record: about 2.5 s gives 2 or 3 seconds", seconds);
  Check(size == kHeader + 16000 * (int64_t)seconds && memcmp(output, expected, kHeader) == 0,
        "record: an 8 kHz 16-bit mono WAV of whole 16000-byte blocks", size);
  int64_t breaks = 0; /* in every block but the last, which a stop may pad with silence */
  for (int64_t at = kHeader + 2; at < size - 16000; at += 2)
    breaks += (uint16_t)(output[at] - output[at - 2] + 256 * (output[at + 1] - output[at - 1])) != 7;
  if (ramp)
    Check(size > kHeader + 16000 && breaks == 0, "record: the device's ramp, no sample lost or doubled", breaks);
  return DeleteFileW(path), 1;
}

int main(int argc, char** argv) {
  HMODULE library = LoadLibraryW(L"Tarnwick.dll");
  Check(library != NULL, "load Tarnwick.dll", (int64_t)GetLastError());
  if (library == NULL) return 1;
  static const char* const names[] = {"WAVReverse", "", "SoundRecorderStart", "SoundRecorderStop", ""};
  for (WORD ordinal = 1; ordinal <= 6; ++ordinal) {
    FARPROC bound = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
    int exported = ordinal != 2 && ordinal <= 4;
    char what[] = "export: ordinal N resolves to its plain name";
    what[16] = (char)('0' + ordinal);
    if (!exported) memcpy(what + 18, "is empty", 9);
    Check(exported ? bound != NULL && bound == GetProcAddress(library, names[ordinal - 1]) : bound == NULL, what, 0);
  }
  /* Through void (*)(void), which converts to and from every function type. */
  reverse = (ReverseFunction)(void (*)(void))GetProcAddress(library, MAKEINTRESOURCEA(1));
  StartFunction start = (StartFunction)(void (*)(void))GetProcAddress(library, MAKEINTRESOURCEA(3));
  StopFunction stop = (StopFunction)(void (*)(void))GetProcAddress(library, MAKEINTRESOURCEA(4));
  if (reverse == NULL || start == NULL || stop == NULL)
    return Put("FAIL  ordinals 1, 3, 4 unbound: nothing more runs\r\n"), 1;

  wchar_t file[MAX_PATH];
  DWORD ignored = 0, size = GetModuleFileNameW(library, file, MAX_PATH) ? GetFileVersionInfoSizeW(file, &ignored) : 0;
  VS_FIXEDFILEINFO* fixed = NULL;
  const wchar_t* text = NULL;
  UINT length = 0;
  int ok = size > 0 && size <= sizeof output && GetFileVersionInfoW(file, 0, size, output) &&
           VerQueryValueW(output, L"\\", (void**)&fixed, &length) && length == sizeof *fixed;
  Check(ok && fixed->dwFileVersionMS == 0x00010000u && fixed->dwFileVersionLS == 0x00000001u,
        "version: fixed file version 1.0.0.1", size);
  ok = ok && VerQueryValueW(output, L"\\StringFileInfo\\040904B0\\FileVersion", (void**)&text, &length);
  Check(ok && length == 8 && wcscmp(text, L"1.0.0.1") == 0, "version: FileVersion string 1.0.0.1", length);

  DWORD at = GetTempPathW(MAX_PATH - 40, dir);
  wcscat(dir, L"tarnwick-host-");
  for (DWORD id = GetCurrentProcessId(), i = 0; i < 8; ++i, id >>= 4) dir[at + 14 + i] = L"0123456789abcdef"[id & 15u];
  dir[at + 22] = L'\\', dir[at + 23] = L'\0';
  if (!CreateDirectoryW(dir, NULL)) return Check(0, "make a temporary folder", (int64_t)GetLastError()), 1;
  Reversals();
  Refusals();
  UnicodePaths();
  int recorded = Recording(start, stop, argc > 1 && strcmp(argv[1], "--paced-ramp") == 0);
  RemoveDirectoryW(dir);
  if (failures) return Put(Decimal(failures)), Put(" checks FAILED\r\n"), 1;
  Put(recorded ? "all passed\r\n" : "all that ran passed; the recording did not run (no capture device)\r\n");
  return recorded ? 0 : 2;
}
