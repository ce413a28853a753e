#pragma once
// printf-style formatting into a std::string, for log lines and labels.
// Thread affinity: any thread.

#include <string>

namespace tarvexa {

std::string Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tarvexa
