#pragma once
// The one line a recording shows on a terminal, rewritten in place: the time
// so far, a level meter for the newest second and how to stop. Plain ASCII,
// under 80 columns.

#include <optional>
#include <string>

#include "recording_tail.h"

namespace tarnwick::cli {

// `elapsed` is the time so far ("12 s", "12/30 s"); `level` is empty until
// the first second has landed; `hint` says what stops the recording.
std::string MeterLine(const std::string& elapsed, const std::optional<SoundLevel>& level, const std::string& hint);

// A fraction of full scale in decibels, "-6.0", down to "-inf".
std::string Decibels(double fraction);

}  // namespace tarnwick::cli
