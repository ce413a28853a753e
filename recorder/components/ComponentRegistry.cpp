#include "components/ComponentRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace tarvexa {

namespace {

constexpr const char* kSection = "[Components]";
// A registry names a handful of libraries; anything much larger is not one.
constexpr size_t kMaxRegistrySize = 256 * 1024;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

bool Damaged(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}

// Parses the text of a registry; false with the reason when it is not one.
bool Parse(const std::string& text, ComponentEntries* entries, std::string* why) {
  if (text.find('\0') != std::string::npos) return Damaged(why, "it holds binary data");
  std::istringstream in(text);
  std::string line;
  bool inSection = false;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const std::string where = "line " + std::to_string(number);
    if (!inSection) {
      if (line != kSection) return Damaged(why, where + " should be " + kSection);
      inSection = true;
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) return Damaged(why, where + " is not a registration");
    const std::string name = line.substr(0, eq);
    const std::string path = line.substr(eq + 1);
    if (!ValidComponentName(name)) return Damaged(why, where + " has no valid component name");
    if (path.empty() || path[0] != '/')
      return Damaged(why, where + " has no absolute library path");
    if (!entries->emplace(name, path).second)
      return Damaged(why, where + " registers " + name + " again");
  }
  if (!inSection) return Damaged(why, std::string("it has no ") + kSection + " section");
  return true;
}

std::string Format(const ComponentEntries& entries) {
  std::string text =
      "# Tarvexa Sound Recorder: the registered audio components (name=library).\n"
      "# Written by tarvexa-register; run Mendrik to register the components again.\n";
  text += kSection;
  text += '\n';
  for (const auto& [name, path] : entries) text += name + "=" + path + "\n";
  return text;
}

class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool ValidComponentName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  return true;
}

RegistryRead ReadRegistry(const std::string& path, ComponentEntries* entries, std::string* why) {
  entries->clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return RegistryRead::Missing;
    if (why) *why = std::string("it cannot be read: ") + std::strerror(errno);
    return RegistryRead::Damaged;
  }
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || text.size() + static_cast<size_t>(n) > kMaxRegistrySize) {
      const std::string reason = n < 0 ? std::string("it cannot be read: ") + std::strerror(errno)
                                       : std::string("it is far too large");
      close(fd);
      if (why) *why = reason;
      return RegistryRead::Damaged;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (!Parse(text, entries, why)) {
    entries->clear();
    return RegistryRead::Damaged;
  }
  return RegistryRead::Ok;
}

bool UpdateRegistry(const std::string& path, const std::function<void(ComponentEntries&)>& edit,
                    std::string* error) {
  const std::string folder = FolderOf(path).empty() ? std::string("./") : FolderOf(path);
  FolderLock lock(folder);
  if (lock.fd() < 0) {
    *error = Errno("cannot open the folder " + folder);
    return false;
  }
  ComponentEntries entries;
  ReadRegistry(path, &entries, nullptr);  // a damaged file is replaced whole
  edit(entries);

  // Readable by every user of an installation written by root.
  return WriteFileAtomically(path, Format(entries), error, 0644);
}

std::string InstalledRegistry(const std::string& componentFolder) {
  return componentFolder + "/" + kRegistryFileName;
}

std::string UserRegistry() { return DataFile(kRegistryFileName); }

std::string RegisteredLibrary(const std::string& name, const std::string& componentFolder,
                              std::string* why) {
  const std::string user = UserRegistry();
  const std::string installed = InstalledRegistry(componentFolder);
  ComponentEntries entries;
  std::string damage;

  std::string userNote;
  if (user != installed) {
    const RegistryRead read = ReadRegistry(user, &entries, &damage);
    if (read == RegistryRead::Ok) {
      if (auto it = entries.find(name); it != entries.end()) return it->second;
    } else if (read == RegistryRead::Damaged) {
      userNote = "; " + user + " is damaged (" + damage + ") and was ignored";
    }
  }
  switch (ReadRegistry(installed, &entries, &damage)) {
    case RegistryRead::Ok:
      if (auto it = entries.find(name); it != entries.end()) return it->second;
      *why = name + " is not registered in " + installed;
      break;
    case RegistryRead::Missing:
      *why = name + " is not registered: " + installed + " does not exist";
      break;
    case RegistryRead::Damaged:
      *why = name + " is not registered: " + installed + " is damaged (" + damage + ")";
      break;
  }
  *why += userNote + ". Run Mendrik beside the recorder to register the components again.";
  return std::string();
}

}  // namespace tarvexa
