#pragma once
// The component registry: which library holds which audio component. A
// registry is a small text file, "components.reg",
//
//   # comment
//   [Components]
//   SndAudioRecord2=/usr/lib/tarvexa-sound-recorder/components/SndAudioRecord2.so
//
// kept next to the installed components; a second one in the user's data
// folder holds the registrations that could not be written there and wins
// over it. tarvexa-register writes entries (atomically, one writer at a time
// per folder); the recorder only reads them. A damaged file counts as
// missing.
// Thread affinity: any thread; concurrent writers in several processes are
// serialised by a lock on the registry's folder.

#include <functional>
#include <map>
#include <string>

namespace tarvexa {

inline constexpr const char* kRegistryFileName = "components.reg";

// Component name -> absolute library path.
using ComponentEntries = std::map<std::string, std::string>;

enum class RegistryRead { Ok, Missing, Damaged };

// Reads a registry file. Missing and Damaged leave *entries empty; *why says
// what is wrong with a damaged one.
RegistryRead ReadRegistry(const std::string& path, ComponentEntries* entries, std::string* why);

// A component name: letters, digits and "_", at most 64 of them.
bool ValidComponentName(const std::string& name);

// Reads the registry (a missing or damaged one as empty), lets edit change
// the entries and replaces the file atomically, holding the folder's lock
// throughout. false with the reason when the file cannot be written; the old
// file is left as it was then.
bool UpdateRegistry(const std::string& path, const std::function<void(ComponentEntries&)>& edit,
                    std::string* error);

// The registry of the installed components in a component folder.
std::string InstalledRegistry(const std::string& componentFolder);
// The user's own registry, in the data folder.
std::string UserRegistry();

// The library registered for a component: the user's registry first, then
// the installed one. "" with the reason when neither names it.
std::string RegisteredLibrary(const std::string& name, const std::string& componentFolder,
                              std::string* why);

}  // namespace tarvexa
