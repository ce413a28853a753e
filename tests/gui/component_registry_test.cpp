// The component registry as the recorder reads it and tarvexa-register
// writes it: damaged files, the user's registry when the installation
// cannot be written, and several registrations at once.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "components/ComponentLoader.h"
#include "components/ComponentRegistry.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

const std::string kBuilt = std::string(TARVEXA_BIN_DIR) + "/components";
const std::string kHelper = std::string(TARVEXA_BIN_DIR) + "/tarvexa-register";

int Register(const std::string& library, std::string* out = nullptr) {
  return test::Run(Quote(kHelper) + " " + Quote(library), out);
}

ComponentEntries Entries(const std::string& registry) {
  ComponentEntries entries;
  std::string why;
  ReadRegistry(registry, &entries, &why);
  return entries;
}

}  // namespace

TEST(ComponentRegistry, ADamagedRegistryCountsAsMissingAndIsReplacedWhole) {
  const std::string good = "/x/SndWMAFile2.so";
  const std::vector<std::string> damaged = {
      "",
      "[Components]\nSndWMAFile2=" + good + std::string("\0\x01\x02", 3),
      "SndWMAFile2=" + good + "\n",
      "[Components]\nSndWMAFile2 " + good + "\n",
      "[Components]\nSndWMAFile2=x/SndWMAFile2.so\n",
      "[Components]\nSnd WMAFile2=" + good + "\n",
      "[Components]\nSndWMAFile2=" + good + "\nSndWMAFile2=" + good + "\n",
      std::string(300 * 1024, 'x'),
  };
  for (size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string dir = ScratchDir("registry-damaged-" + std::to_string(i));
    ScopedEnv home("TARVEXA_HOME", dir + "/home");
    fs::create_directories(dir + "/home");
    fs::create_directories(dir + "/components");
    const std::string installed = InstalledRegistry(dir + "/components");

    // Damaged where it is installed: nothing is registered.
    WriteFile(installed, damaged[i]);
    ComponentHandle handle;
    std::string error;
    EXPECT_FALSE(handle.Create("SndWMAFile2", dir + "/components", &error));
    EXPECT_NE(error.find(installed + " is damaged"), std::string::npos) << error;

    // Registering replaces it with a sound file.
    fs::copy_file(kBuilt + "/SndWMAFile2.so", dir + "/components/SndWMAFile2.so");
    ASSERT_EQ(Register(dir + "/components/SndWMAFile2.so"), 0);
    EXPECT_EQ(Entries(installed),
              (ComponentEntries{{"SndWMAFile2", dir + "/components/SndWMAFile2.so"}}));

    // A damaged user registry is passed over.
    WriteFile(UserRegistry(), damaged[i]);
    EXPECT_TRUE(handle.Create("SndWMAFile2", dir + "/components", &error)) << error;
  }
}

TEST(ComponentRegistry, AnInstallationThatCannotBeWrittenIsRegisteredForTheUser) {
  const std::string dir = ScratchDir("registry-user");
  ScopedEnv home("TARVEXA_HOME", dir + "/home");
  fs::create_directories(dir + "/home");
  fs::create_directories(dir + "/components");
  const std::string library = dir + "/components/SndWMAFile2.so";
  fs::copy_file(kBuilt + "/SndWMAFile2.so", library);
  // A folder where the registry should be: it cannot be replaced, even by root.
  const std::string installed = InstalledRegistry(dir + "/components");
  fs::create_directories(installed);

  std::string out;
  ASSERT_EQ(Register(library, &out), 0) << out;
  EXPECT_EQ(Entries(UserRegistry()), (ComponentEntries{{"SndWMAFile2", library}}));
  ComponentHandle handle;
  std::string error;
  EXPECT_TRUE(handle.Create("SndWMAFile2", dir + "/components", &error)) << error;
  handle.Reset();

  // Once the installation can be written, the registration goes there and
  // the user's entry no longer hides it.
  fs::remove(installed);
  ASSERT_EQ(Register(library, &out), 0) << out;
  EXPECT_EQ(Entries(installed), (ComponentEntries{{"SndWMAFile2", library}}));
  EXPECT_TRUE(Entries(UserRegistry()).empty());
  EXPECT_TRUE(handle.Create("SndWMAFile2", dir + "/components", &error)) << error;

  // A user entry wins over the installed one.
  WriteFile(UserRegistry(), "[Components]\nSndWMAFile2=" + dir + "/gone.so\n");
  EXPECT_FALSE(handle.Create("SndWMAFile2", dir + "/components", &error));
  EXPECT_NE(error.find(dir + "/gone.so"), std::string::npos) << error;
}

TEST(ComponentRegistry, RegistrationsAtTheSameTimeKeepEveryEntry) {
  const std::string dir = ScratchDir("registry-parallel");
  ScopedEnv home("TARVEXA_HOME", dir);
  std::string script;
  for (const auto& entry : fs::directory_iterator(kBuilt)) {
    if (entry.path().extension() != ".so") continue;
    fs::copy_file(entry.path(), dir + "/" + entry.path().filename().string());
    script += Quote(kHelper) + " -s " + Quote(dir + "/" + entry.path().filename().string()) + " & ";
  }
  for (int round = 0; round < 5; ++round) {
    fs::remove(InstalledRegistry(dir));
    ASSERT_EQ(test::Run(script + "wait"), 0);
    EXPECT_EQ(Entries(InstalledRegistry(dir)).size(), 6u) << ReadFile(InstalledRegistry(dir));
  }
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_NE(entry.path().filename().string().rfind("components.reg.", 0), 0u)
        << "left behind: " << entry.path();
}
