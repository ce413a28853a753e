#include "FfmpegLog.h"

#include <cstdarg>
#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

namespace tarvexa::wma {

namespace {

thread_local std::string tLastError;

void KeepErrors(void* object, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  int prefix = 0;
  av_log_format_line2(object, level, format, args, line, sizeof line, &prefix);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (!text.empty()) tLastError = text;
}

}  // namespace

void InstallFfmpegLog() { av_log_set_callback(KeepErrors); }
std::string LastFfmpegMessage() { return tLastError; }
void ClearFfmpegMessage() { tLastError.clear(); }

}  // namespace tarvexa::wma
