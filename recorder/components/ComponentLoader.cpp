#include "components/ComponentLoader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <utility>

#include "components/ComponentRegistry.h"
#include "platform/Paths.h"

namespace tarvexa {

std::string ComponentFolder() {
  if (const char* dir = std::getenv("TARVEXA_COMPONENT_DIR"); dir && *dir) return dir;
  return ProgramFolder() + "/components";
}

ComponentHandle::~ComponentHandle() { Reset(); }

ComponentHandle::ComponentHandle(ComponentHandle&& other) noexcept
    : library_(std::exchange(other.library_, nullptr)),
      component_(std::exchange(other.component_, nullptr)) {}

ComponentHandle& ComponentHandle::operator=(ComponentHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    library_ = std::exchange(other.library_, nullptr);
    component_ = std::exchange(other.component_, nullptr);
  }
  return *this;
}

void ComponentHandle::Reset() {
  if (component_) component_->Release();
  component_ = nullptr;
  if (library_) dlclose(library_);
  library_ = nullptr;
}

bool ComponentHandle::Create(const std::string& name, const std::string& folder,
                             std::string* error) {
  Reset();
  const std::string path = RegisteredLibrary(name, folder, error);
  if (path.empty()) return false;
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* why = dlerror();
    *error = name + " is registered as " + path +
             ", which cannot be loaded: " + (why ? why : "unknown error");
    return false;
  }
  dlerror();
  auto create = reinterpret_cast<TarvexaCreateComponentFn>(dlsym(lib, TARVEXA_COMPONENT_ENTRY));
  if (!create) {
    *error = path + " has no entry point " TARVEXA_COMPONENT_ENTRY;
    dlclose(lib);
    return false;
  }
  TarvexaComponent* c = create(name.c_str());
  if (!c) {
    *error = path + " did not create " + name;
    dlclose(lib);
    return false;
  }
  if (c->Abi() != kComponentAbi || name != c->Name()) {
    *error = path + " holds an incompatible " + name + " (interface version " +
             std::to_string(c->Abi()) + ", this recorder needs " + std::to_string(kComponentAbi) +
             ")";
    c->Release();
    dlclose(lib);
    return false;
  }
  library_ = lib;
  component_ = c;
  return true;
}

}  // namespace tarvexa
