#include "recording/UnusedPath.h"

#include <sys/stat.h>

#include "platform/Paths.h"

namespace tarvexa {

namespace {

bool Taken(const std::string& path, const std::vector<std::string>& companions) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return true;
  for (const std::string& c : companions)
    if (::lstat((path + c).c_str(), &st) == 0) return true;
  return false;
}

}  // namespace

std::string UnusedPathFor(const std::string& path, std::time_t start,
                          const std::vector<std::string>& companions) {
  if (!Taken(path, companions)) return path;
  const std::string stem = StripExtension(path);
  const std::string ext = path.substr(stem.size());
  std::tm tm{};
  localtime_r(&start, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, " %Y-%m-%d %H-%M-%S", &tm);
  const std::string dated = stem + stamp;
  if (!Taken(dated + ext, companions)) return dated + ext;
  for (int n = 2;; ++n) {
    const std::string candidate = dated + " (" + std::to_string(n) + ")" + ext;
    if (!Taken(candidate, companions)) return candidate;
  }
}

}  // namespace tarvexa
