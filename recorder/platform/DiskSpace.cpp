#include "platform/DiskSpace.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

constexpr double kBytesPerMB = 1048576.0;
constexpr double kLowSpaceMB = 100.0;

// Mount table fields escape blank, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

// True when `mount` is `path` itself or one of its ancestor folders.
bool IsUnder(const std::string& path, const std::string& mount) {
  if (mount == "/") return !path.empty() && path[0] == '/';
  if (path.compare(0, mount.size(), mount) != 0) return false;
  return path.size() == mount.size() || path[mount.size()] == '/';
}

std::string ReadWholeFile(const char* name) {
  std::ifstream in(name);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string FormatMB(const char* shape, const std::string& where, double mb) {
  int n = std::snprintf(nullptr, 0, shape, where.c_str(), mb);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  std::snprintf(out.data(), out.size() + 1, shape, where.c_str(), mb);
  return out;
}

}  // namespace

bool FindMount(const std::string& mountinfo, const std::string& path, std::string* mountPoint,
               std::string* device) {
  std::istringstream lines(mountinfo);
  std::string line;
  size_t bestLen = 0;
  bool found = false;
  while (std::getline(lines, line)) {
    // id parent major:minor root mount-point options [optional...] - fstype source super
    std::istringstream f(line);
    std::vector<std::string> fields;
    for (std::string w; f >> w;) fields.push_back(w);
    if (fields.size() < 7) continue;
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (dash + 2 >= fields.size()) continue;
    std::string mp = Unescape(fields[4]);
    if (!IsUnder(path, mp)) continue;
    // ">=" so that a later mount on the same point (mounted on top) wins.
    if (!found || mp.size() >= bestLen) {
      found = true;
      bestLen = mp.size();
      if (mountPoint) *mountPoint = mp;
      if (device) *device = Unescape(fields[dash + 2]);
    }
  }
  return found;
}

DiskSpaceInfo QueryDiskSpace(const std::string& pathOrFolder) {
  DiskSpaceInfo info;
  std::error_code ec;

  fs::path p;
  if (pathOrFolder.empty()) {
    const char* home = std::getenv("HOME");
    p = (home && *home) ? fs::path(home) : fs::path("/");
  } else {
    p = fs::path(pathOrFolder);
  }
  if (p.is_relative()) p = fs::absolute(p, ec);
  if (ec) {
    info.error = "Cannot resolve " + pathOrFolder + ": " + ec.message();
    return info;
  }
  p = p.lexically_normal();

  // The file about to be written and maybe its folders do not exist yet; the
  // space that counts is that of the nearest folder that does.
  struct stat st {};
  while (::stat(p.c_str(), &st) != 0) {
    if (!p.has_relative_path()) {
      info.error = "Cannot read " + p.string() + ": " + std::strerror(errno);
      return info;
    }
    p = p.parent_path();
  }

  struct statvfs vfs {};
  if (::statvfs(p.c_str(), &vfs) != 0) {
    info.error = "Cannot read the free space of " + p.string() + ": " + std::strerror(errno);
    return info;
  }
  info.ok = true;
  info.freeBytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);

  // Mount points in the table are symlink-free, so compare the real path.
  fs::path real = fs::canonical(p, ec);
  if (ec) real = p;
  if (!FindMount(ReadWholeFile("/proc/self/mountinfo"), real.string(), &info.mountPoint,
                 &info.device)) {
    info.mountPoint = real.string();  // no mount table (odd sandbox): name the folder
  }
  return info;
}

// Where a Windows recorder names the drive letter ("Free space on drive D"),
// a Linux user thinks in mount points, and "drive /home" reads wrongly, so
// the word "drive" goes and the mount point takes its place. The rest of the
// shape stays: two blanks before the number, two decimals, "MB".
std::string DiskSpaceLine(const DiskSpaceInfo& info) {
  if (!info.ok) return "Free space unknown: " + info.error;
  return FormatMB("Free space on %s  %.2f MB", info.mountPoint,
                  static_cast<double>(info.freeBytes) / kBytesPerMB);
}

std::optional<std::string> LowDiskWarning(const DiskSpaceInfo& info) {
  if (!info.ok) return std::nullopt;
  const double mb = static_cast<double>(info.freeBytes) / kBytesPerMB;
  if (!(mb < kLowSpaceMB)) return std::nullopt;
  return "Warning, less than 100 MB free space on " + info.mountPoint;
}

}  // namespace tarvexa
