// Starting the desktop's volume control: the program found first on the
// path with its page argument, the replacement through
// TARVEXA_VOLUME_CONTROL, a program that keeps running (the call must not
// wait for it), and the report when there is none.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "platform/VolumeControl.h"

using namespace tarvexa;
using tarvexa::test::ReadFile;
using tarvexa::test::ScopedEnv;
using Clock = std::chrono::steady_clock;

namespace {

// A stand-in mixer program: writes its name and arguments to `record` and
// its process id to `record`.pid, then stays running for `seconds`. (The
// tests set PATH to their own folder, hence the full paths.)
void FakeProgram(const std::string& dir, const std::string& name, const std::string& record,
                 int seconds = 0) {
  const std::string path = dir + "/" + name;
  std::ofstream(path) << "#!/bin/sh\necho $$ > " << record << ".pid\necho \"" << name << " $*\" > "
                      << record << ".tmp\n/bin/mv " << record << ".tmp " << record
                      << "\nexec /bin/sleep " << seconds << "\n";
  chmod(path.c_str(), 0755);
}

std::string WaitFor(const std::string& path, double seconds = 5) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    const std::string text = ReadFile(path);
    if (!text.empty()) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ReadFile(path);
}

}  // namespace

TEST(VolumeControl, TheFirstMixerOnThePathOpensOnTheRightPage) {
  const std::string dir = test::ScratchDir("volume-control-path");
  const std::string record = dir + "/started";
  ScopedEnv noCustom("TARVEXA_VOLUME_CONTROL", nullptr);
  ScopedEnv path("PATH", dir);

  // Only the Qt port of pavucontrol: it gets pavucontrol's tab numbers.
  FakeProgram(dir, "pavucontrol-qt", record);
  std::string error;
  ASSERT_TRUE(LaunchVolumeControl(VolumeControlPage::Recording, &error)) << error;
  EXPECT_EQ(WaitFor(record), "pavucontrol-qt --tab=4\n");
  std::remove(record.c_str());
  ASSERT_TRUE(LaunchVolumeControl(VolumeControlPage::Playback, &error)) << error;
  EXPECT_EQ(WaitFor(record), "pavucontrol-qt --tab=3\n");
  std::remove(record.c_str());

  // pavucontrol itself comes first when both are there.
  FakeProgram(dir, "pavucontrol", record);
  ASSERT_TRUE(LaunchVolumeControl(VolumeControlPage::Recording, &error)) << error;
  EXPECT_EQ(WaitFor(record), "pavucontrol --tab=4\n");
  std::remove(record.c_str());

  // A desktop without pavucontrol: its own sound settings.
  std::remove((dir + "/pavucontrol").c_str());
  std::remove((dir + "/pavucontrol-qt").c_str());
  FakeProgram(dir, "gnome-control-center", record);
  ASSERT_TRUE(LaunchVolumeControl(VolumeControlPage::Recording, &error)) << error;
  EXPECT_EQ(WaitFor(record), "gnome-control-center sound\n");
}

TEST(VolumeControl, NoMixerProgramIsReported) {
  const std::string dir = test::ScratchDir("volume-control-none");
  ScopedEnv noCustom("TARVEXA_VOLUME_CONTROL", nullptr);
  ScopedEnv path("PATH", dir);
  std::string error;
  EXPECT_FALSE(LaunchVolumeControl(VolumeControlPage::Playback, &error));
  EXPECT_NE(error.find("no volume control program was found"), std::string::npos) << error;
  EXPECT_NE(error.find("pavucontrol"), std::string::npos) << error;

  // A program that is there but cannot be executed (no interpreter) is
  // reported with the reason.
  const std::string broken = dir + "/pavucontrol";
  std::ofstream(broken) << "#!/no/such/interpreter\n";
  chmod(broken.c_str(), 0755);
  error.clear();
  EXPECT_FALSE(LaunchVolumeControl(VolumeControlPage::Recording, &error));
  EXPECT_NE(error.find("pavucontrol"), std::string::npos) << error;
  EXPECT_EQ(error.find("no volume control program was found"), std::string::npos) << error;
}

TEST(VolumeControl, TheReplacementProgramIsStartedWithoutWaitingForIt) {
  const std::string dir = test::ScratchDir("volume-control-custom");
  const std::string record = dir + "/started";
  FakeProgram(dir, "my-mixer", record, 30);
  const std::string custom = dir + "/my-mixer --device capture";
  ScopedEnv env("TARVEXA_VOLUME_CONTROL", custom);

  const auto commands = VolumeControlCommands(VolumeControlPage::Recording);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0],
            (std::vector<std::string>{dir + "/my-mixer", "--device", "capture", "--tab=4"}));

  const auto start = Clock::now();
  std::string error;
  ASSERT_TRUE(LaunchVolumeControl(VolumeControlPage::Recording, &error)) << error;
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 2.0)
      << "the program runs 30 s; the call must not wait for it";
  EXPECT_EQ(WaitFor(record), "my-mixer --device capture --tab=4\n");
  // The stand-in sleeps on under its own process id; end it.
  if (const int pid = std::atoi(ReadFile(record + ".pid").c_str()); pid > 1) kill(pid, SIGTERM);

  const std::string missing = dir + "/not-there";
  ScopedEnv env2("TARVEXA_VOLUME_CONTROL", missing);
  EXPECT_FALSE(LaunchVolumeControl(VolumeControlPage::Playback, &error));
  EXPECT_NE(error.find("not-there"), std::string::npos) << error;
}
