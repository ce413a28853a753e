// Which program folders count as installed ones, whose users' files go to
// their own data folders: the layouts a packager may choose, and folders
// that only look alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace tarvexa {
namespace {

TEST(InstalledProgramFolder, KnownByTheShareFolderBesideIt) {
  struct Case {
    const char* program;  // relative to a fresh root
    const char* share;    // created when not empty
    bool installed;
  };
  const Case cases[] = {
      {"usr/lib/tarvexa-sound-recorder", "usr/share/tarvexa-sound-recorder", true},
      {"usr/lib/x86_64-linux-gnu/tarvexa-sound-recorder", "usr/share/tarvexa-sound-recorder", true},
      {"home/u/.local/lib/tarvexa-sound-recorder", "home/u/.local/share/tarvexa-sound-recorder",
       true},
      // Not installed: no share folder; a build tree; too deep below the prefix;
      // a portable copy in a folder of the same name.
      {"opt/lib/tarvexa-sound-recorder", "", false},
      {"src/build/bin", "src/share/tarvexa-sound-recorder", false},
      {"usr/lib/a/b/tarvexa-sound-recorder", "usr/share/tarvexa-sound-recorder", false},
      {"home/u/tarvexa-sound-recorder", "", false},
      {"tarvexa-sound-recorder", "share/tarvexa-sound-recorder", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const fs::path root = test::ScratchDir("installed_folder_" + std::to_string(n++));
    fs::create_directories(root / c.program);
    if (*c.share) fs::create_directories(root / c.share);
    EXPECT_EQ(IsInstalledProgramFolder((root / c.program).string()), c.installed) << c.program;
  }
  EXPECT_FALSE(IsInstalledProgramFolder("/"));
  EXPECT_FALSE(IsInstalledProgramFolder(""));
}

}  // namespace
}  // namespace tarvexa
