#pragma once
// FFmpeg's log inside the WMA component: nothing is printed (the recorder
// reports through its own event log); the last error line of the calling
// thread is kept to explain a failed call.
// Thread affinity: any thread; the kept line is per thread.

#include <string>

namespace tarvexa::wma {

// Routes FFmpeg's log here; idempotent.
void InstallFfmpegLog();
// The last error line FFmpeg logged on this thread since ClearFfmpegMessage.
std::string LastFfmpegMessage();
void ClearFfmpegMessage();

}  // namespace tarvexa::wma
