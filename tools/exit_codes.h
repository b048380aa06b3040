#pragma once
// The tool's exit codes. Scripts branch on them, so each keeps its number for
// good: the library's own results where there is one, sysexits.h otherwise.

namespace tarnwick::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitInputFailed = 1;   // the library's result 1, or a file `show` cannot read
inline constexpr int kExitOutputFailed = 2;  // the library's result 2
inline constexpr int kExitNotWave = 4;       // the library's result 4
inline constexpr int kExitUsage = 64;        // EX_USAGE: bad arguments, including paths that are not UTF-8
inline constexpr int kExitLibrary = 70;      // EX_SOFTWARE: the library could not be loaded or misbehaved

}  // namespace tarnwick::cli
