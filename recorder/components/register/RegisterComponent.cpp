// tarvexa-register: registers one audio component library, so that the
// recorder can create the component by name. The build, `cmake --install`
// and Mendrik run it; its exit status says whether it worked.
//
//   tarvexa-register [-s] [--root DIR] LIBRARY
//   tarvexa-register [-s] --system LIBRARY
//
// The component's name is the library's file name without ".so". The library
// is loaded, its entry point must create a component of that very name, and
// the entry name=LIBRARY is written to the registry next to the library; when
// that one cannot be written (an installation the user may not change), to
// the user's registry in the data folder. Writing an installed entry drops a
// stale entry of the same name from the user's registry.
//
// --system checks a system library the components need: it must load.
// --root DIR registers at install time: LIBRARY is the installed path, the
//   library is loaded from DIR/LIBRARY (DIR is a staging tree, or "" for
//   none) and only the installed registry, under DIR, is written.
// -s prints nothing. Exit status: 0 registered, 1 not, 2 wrong arguments.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "components/Component.h"
#include "components/ComponentRegistry.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;
using namespace tarvexa;

namespace {

bool g_silent = false;

int Fail(const std::string& message) {
  if (!g_silent) std::fprintf(stderr, "tarvexa-register: %s\n", message.c_str());
  return 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tarvexa-register [-s] [--root DIR] LIBRARY\n"
               "       tarvexa-register [-s] --system LIBRARY\n");
  return 2;
}

std::string LoadError() {
  const char* why = dlerror();
  return why ? why : "unknown error";
}

// Loads the library and asks its entry point for the component `name`.
bool CheckComponent(const std::string& file, const std::string& name, std::string* error) {
  void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    *error = "cannot load " + file + ": " + LoadError();
    return false;
  }
  dlerror();
  auto create = reinterpret_cast<TarvexaCreateComponentFn>(dlsym(lib, TARVEXA_COMPONENT_ENTRY));
  bool ok = false;
  if (!create) {
    *error = file + " is not a component library (no " TARVEXA_COMPONENT_ENTRY ")";
  } else if (TarvexaComponent* c = create(name.c_str()); !c) {
    *error = file + " does not create a component called " + name;
  } else {
    if (name != c->Name())
      *error = file + " answers to " + name + " with a component called " + c->Name();
    else if (c->Abi() != kComponentAbi)
      *error = file + " has interface version " + std::to_string(c->Abi()) +
               ", the recorder needs " + std::to_string(kComponentAbi);
    else
      ok = true;
    c->Release();
  }
  dlclose(lib);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool system = false;
  bool haveRoot = false;
  std::string root;
  std::string library;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-s") {
      g_silent = true;
    } else if (arg == "--system") {
      system = true;
    } else if (arg == "--root" && i + 1 < argc) {
      haveRoot = true;
      root = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else if (library.empty() && !arg.empty() && arg[0] != '-') {
      library = arg;
    } else {
      return Usage();
    }
  }
  if (library.empty() || (system && haveRoot)) return Usage();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root == "/") root.clear();

  std::error_code ec;
  const std::string path = fs::absolute(library, ec).lexically_normal().string();
  if (ec) return Fail("cannot make " + library + " an absolute path: " + ec.message());
  const std::string file = root + path;
  if (!fs::is_regular_file(file, ec)) return Fail(file + " does not exist");

  if (system) {
    void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return Fail("cannot load " + file + ": " + LoadError());
    dlclose(lib);
    if (!g_silent) std::printf("%s loads.\n", path.c_str());
    return 0;
  }

  const std::string fileName = fs::path(path).filename().string();
  if (fileName.size() <= 3 || fileName.compare(fileName.size() - 3, 3, ".so") != 0)
    return Fail(path + " is not named <component>.so");
  const std::string name = fileName.substr(0, fileName.size() - 3);
  if (!ValidComponentName(name)) return Fail(name + " is not a component name");
  if (path.find('\n') != std::string::npos || path.find('\r') != std::string::npos)
    return Fail("a library path cannot hold a line break");

  std::string error;
  if (!CheckComponent(file, name, &error)) return Fail(error);

  const auto add = [&](ComponentEntries& e) { e[name] = path; };
  const std::string installed = InstalledRegistry(root + fs::path(path).parent_path().string());
  std::string where = installed;
  if (UpdateRegistry(installed, add, &error)) {
    // Written where it belongs: an older entry in the user's registry would
    // hide it from now on.
    const std::string user = UserRegistry();
    ComponentEntries entries;
    if (!haveRoot && user != installed &&
        ReadRegistry(user, &entries, nullptr) == RegistryRead::Ok && entries.count(name) &&
        !UpdateRegistry(
            user, [&](ComponentEntries& e) { e.erase(name); }, &error))
      return Fail("registered in " + installed + ", but the older entry in " + user +
                  " that hides it cannot be removed: " + error);
  } else if (haveRoot) {
    return Fail(error);
  } else {
    std::string userError;
    where = UserRegistry();
    if (!UpdateRegistry(where, add, &userError)) return Fail(error + "; " + userError);
  }
  if (!g_silent)
    std::printf("Registered %s: %s in %s\n", name.c_str(), path.c_str(), where.c_str());
  return 0;
}
