// Unloading the library, or leaving the process, while a recording runs
// finishes the recording as SoundRecorderStop would. The capture thread runs
// this library's code, so it must be stopped and joined before that code is
// unmapped; and the file is left complete rather than cut off.

#include "recorder.h"

__attribute__((destructor)) static void FinishRecordingAtUnload() { tarnwick::StopRecording(); }
