#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tarvexa {

namespace fs = std::filesystem;

std::string ProgramFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec).string();
  return exe.parent_path().string();
}

std::string DataFolder() {
  if (const char* home = std::getenv("TARVEXA_HOME"); home && *home) {
    std::error_code ec;
    fs::create_directories(home, ec);
    std::string s = home;
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
  }
  std::string prog = ProgramFolder();
  if (!IsInstalledProgramFolder(prog) && access(prog.c_str(), W_OK) == 0) return prog;
  fs::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = fs::path(h) / ".local" / "share";
  } else {
    base = "/tmp";
  }
  fs::path dir = base / "tarvexa-sound-recorder";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir.string();
}

bool IsInstalledProgramFolder(const std::string& folder) {
  constexpr const char* kName = "tarvexa-sound-recorder";
  fs::path dir(folder);
  if (dir.filename() != kName) return false;
  std::error_code ec;
  fs::path up = dir.parent_path();  // lib/ or lib/<triplet>/
  for (int level = 0; level < 2 && up.has_relative_path(); ++level) {
    up = up.parent_path();
    if (fs::is_directory(up / "share" / kName, ec)) return true;
  }
  return false;
}

std::string DataFile(const std::string& name) { return DataFolder() + "/" + name; }

std::string FileNameOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string StripExtension(const std::string& path) {
  auto slash = path.find_last_of('/');
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos) return path;
  if (slash != std::string::npos && dot < slash) return path;
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (dot == nameStart) return path;  // ".hidden" has no extension
  return path.substr(0, dot);
}

}  // namespace tarvexa
