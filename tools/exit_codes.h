#pragma once
// The tool's exit codes. Scripts branch on them, so each keeps its number for
// good: the library's own results where there is one, sysexits.h otherwise.

namespace tarnwick::cli {

inline constexpr int kExitOk = 0;
// `record` exits with SoundRecorderStart's failure, which shares its numbers
// with WAVReverse's: 1 no capture device (or the file not created), 2 the
// device refused the buffer, 3 the device would not start.
inline constexpr int kExitInputFailed = 1;   // the library's result 1, or a file `show` cannot read
inline constexpr int kExitOutputFailed = 2;  // the library's result 2
inline constexpr int kExitCaptureStart = 3;  // SoundRecorderStart's result 3
inline constexpr int kExitNotWave = 4;       // the library's result 4
inline constexpr int kExitUsage = 64;        // EX_USAGE: bad arguments, including paths that are not UTF-8
inline constexpr int kExitLibrary = 70;      // EX_SOFTWARE: the library could not be loaded or misbehaved
inline constexpr int kExitOsError = 71;      // EX_OSERR: the system refused what the tool itself needs

}  // namespace tarnwick::cli
